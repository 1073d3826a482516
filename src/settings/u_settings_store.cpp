// The configuration window and its settings file "Arkelin.ini": every key
// loaded into its control and saved back from it, the archive window's
// layout, the remembered extract and add folders, and the encryption choice
// the Add window stores.
#include "settings/u_settings.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTableView>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Platform.h"
#include "settings/u_settings_p.h"
#include "shared/widgets/ListColors.h"

namespace arkelin::settings {

namespace {

bool IsFolder(const QString& path) {
  if (path.isEmpty()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(pf::ToFsPath(S(path)), ec);
}

// Layout keys: name and default, in the order they are written.
struct LayoutKey {
  const char* key;
  int def;
};
const LayoutKey kWindowKeys[] = {{"LEFT", 300}, {"TOP", 100}, {"HEIGHT", 361}, {"WIDTH", 456}};
const LayoutKey kColumnKeys[] = {{"COL1", 130}, {"COL2", 65}, {"COL3", 65},
                                 {"COL4", 70},  {"COL5", 40}, {"COL6", 300}};

// A window stored where no screen is now (a monitor taken away, a damaged
// file) comes back to the primary screen's top left corner, no larger than
// that screen. On screen means a strip along its top (where the title bar
// is) can be reached: 30 pixels high and up to 100 wide.
void KeepOnScreen(QWidget& w) {
  const QRect top(w.pos(), QSize(w.width(), std::min(w.height(), 30)));
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect seen = s->availableGeometry().intersected(top);
    if (seen.width() >= std::min(top.width(), 100) && seen.height() >= top.height()) return;
  }
  QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return;
  const QRect a = primary->availableGeometry();
  w.resize(std::min(w.width(), a.width()), std::min(w.height(), a.height()));
  w.move(a.topLeft());
}

}  // namespace

// ---- Load and save -------------------------------------------------------------------------

void TF_Settings::LoadSettings() {
  TIniFile ini(S(IniFileName()));
  auto str = [&](const char* sec, const char* key, const QString& def) {
    return Q(ini.ReadString(sec, key, S(def)));
  };
  auto boolean = [&](const char* sec, const char* key, bool def) { return ini.ReadBool(sec, key, def); };

  cb_Outside->setChecked(boolean("DRAG&DROP", "ACCEPTFILES", true));
  cb_AskzipName->setChecked(boolean("DRAG&DROP", "ASKNAMEBEFORE", true));
  ed_Zipname->setText(Mapped(str("DRAG&DROP", "DEFAULTPATH", QStringLiteral("C:\\Noname.zip"))));
  rb_External->setChecked(boolean("VIEWER/EDITOR", "EXTERNAL", false));
  rb_BuiltIn->setChecked(boolean("VIEWER/EDITOR", "BUILTIN", true));
  ed_Editor->setText(str("VIEWER/EDITOR", "EDITORPATH", QString()));
  rb_ExtGraphic->setChecked(boolean("GXVIEW", "EXTERNAL", false));
  rb_BuiltGraphic->setChecked(boolean("GXVIEW", "FASTVIEW", true));
  ed_Graphic->setText(str("GXVIEW", "EXTPATH", QString()));
  ed_Formats->setText(str("GXVIEW", "FORMATS", QStringLiteral("JPG;BMP;GIF")));
  ed_Install->setText(str("AVAILABLEINSTALL", "FILENAMES", QStringLiteral("install.exe;setup.exe;install.sh;setup.sh")));
  cb_OpenStart->setChecked(boolean("MISC", "OPENFAVORITES", false));
  cb_SaveLayout->setChecked(boolean("MISC", "SAVELAYOUT", false));
  cb_FilesAdded->setChecked(boolean("MISC", "AFTERADDED", true));
  cb_AfterDeleted->setChecked(boolean("MISC", "AFTERDELETED", true));
  cb_AfterExtracted->setChecked(boolean("MISC", "AFTEREXTRACTED", true));
  FreeDisk1Edit->setText(str("SPANNING", "KEEPFREE", QStringLiteral("0")));
  MaxVolSizeEdit->setText(str("SPANNING", "MAXSIZE", QStringLiteral("0")));
  MinFreeVolEdit->setText(str("SPANNING", "MINFREE", QStringLiteral("65536")));
  FormatCB->setChecked(boolean("SPANNING", "FORMAT", true));
  CheckBox1->setChecked(boolean("SPANNING", "AUTOSPAN", true));
  pa_WindowColor->SetColor(ini.ReadInteger("COLOR", "WINDOW", clWindow));
  cb_Vert->setChecked(boolean("GRID", "VERT", false));
  cb_Tooltip->setChecked(boolean("BUTTON", "TOOLTIP", true));
  co_DateFormat->setCurrentText(str("DATETIME", "DATEFORMAT", QStringLiteral("yyyy/mm/dd")));
  co_Timeformat->setCurrentText(str("DATETIME", "TIMEFORMAT", QStringLiteral("hh:mm")));
  // SAVEDIRNAME first, then RECURSEDIRS: the coupling acts while loading.
  DirNameCB->setChecked(boolean("COMPRESSION", "SAVEDIRNAME", true));
  RecurseCB->setChecked(boolean("COMPRESSION", "RECURSEDIRS", true));
  CB_ForceDos->setChecked(boolean("COMPRESSION", "FORCEMSDOS", false));
  CB_Timestamp->setChecked(boolean("COMPRESSION", "TIMESTAMP", false));
  // The track bar holds 0..9; a stored value outside is shown at its end
  // and written back clamped.
  tb_complevel->setValue(ini.ReadInteger("COMPRESSION", "LEVEL", 9));
  // The AES key length in bits, 0 for traditional; anything else reads as 0.
  SetAesChoice(ini.ReadInteger("COMPRESSION", "ENCRYPTION", 0));
  // A hint stored as a value by an earlier version reads as empty.
  auto mailText = [&](const char* sec, const char* key, const char* hint) {
    const QString v = str(sec, key, QString());
    return v == QLatin1String(hint) ? QString() : v;
  };
  ed_Server->setText(mailText("SMTP", "SERVER", kServerHint));
  ed_Port->setText(str("SMTP", "PORT", QStringLiteral("25")));
  ed_User->setText(str("SMTP", "USER", QString()));
  co_Security->setCurrentIndex(std::max(0, co_Security->findText(str("SMTP", "SECURITY", QString()).trimmed().toLower())));
  ed_Name->setText(mailText("PERSONAL", "NAME", kNameHint));
  ed_EMail->setText(mailText("PERSONAL", "EMAIL", kEmailHint));
  ed_StartUp->setText(Mapped(str("FOLDERS", "STARTUP", QStringLiteral("C:\\"))));
  rb_WinDef->setChecked(boolean("FOLDERS", "STARTWIN", true));
  rb_OtherWin->setChecked(boolean("FOLDERS", "OTHERWIN", false));
  ed_Extract->setText(Mapped(str("FOLDERS", "EXTRACT", QStringLiteral("C:\\"))));
  rb_Extr->setChecked(boolean("FOLDERS", "LASTEXTR", true));
  rb_OtherExtr->setChecked(boolean("FOLDERS", "OTHEREXTR", false));
  ed_Add->setText(Mapped(str("FOLDERS", "ADD", QStringLiteral("C:\\"))));
  rb_Last->setChecked(boolean("FOLDERS", "LASTADD", true));
  rb_OtherLast->setChecked(boolean("FOLDERS", "OTHERADD", false));
  ed_Temp->setText(Mapped(str("FOLDERS", "TEMP", QStringLiteral("C:\\WINDOWS\\TEMP"))));

  // The mail copies come from the file, not from the controls.
  MailServer = mailText("SMTP", "SERVER", kServerHint);
  MailPort = str("SMTP", "PORT", QStringLiteral("25"));
  MailName = mailText("PERSONAL", "NAME", kNameHint);
  MailEmail = mailText("PERSONAL", "EMAIL", kEmailHint);
  MailUser = str("SMTP", "USER", QString());
  MailSecurity = str("SMTP", "SECURITY", QString());

  ApplyListLook();
}

void TF_Settings::ApplyListLook() {
  if (!fileList_) return;
  shared::ShowListColor(fileList_, ListColor(pa_WindowColor->Color()));
  fileList_->setShowGrid(cb_Vert->isChecked());
}

void TF_Settings::SaveSettings() {
  TIniFile ini(S(IniFileName()));
  auto str = [&](const char* sec, const char* key, const QString& v) { ini.WriteString(sec, key, S(v)); };
  auto boolean = [&](const char* sec, const char* key, const QAbstractButton* b) {
    ini.WriteBool(sec, key, b->isChecked());
  };

  // One write of the file for the whole window.
  ini.BeginUpdate();
  boolean("DRAG&DROP", "ACCEPTFILES", cb_Outside);
  boolean("DRAG&DROP", "ASKNAMEBEFORE", cb_AskzipName);
  str("DRAG&DROP", "DEFAULTPATH", ed_Zipname->text());
  boolean("VIEWER/EDITOR", "EXTERNAL", rb_External);
  boolean("VIEWER/EDITOR", "BUILTIN", rb_BuiltIn);
  str("VIEWER/EDITOR", "EDITORPATH", ed_Editor->text());
  boolean("GXVIEW", "EXTERNAL", rb_ExtGraphic);
  boolean("GXVIEW", "FASTVIEW", rb_BuiltGraphic);
  str("GXVIEW", "EXTPATH", ed_Graphic->text());
  str("GXVIEW", "FORMATS", ed_Formats->text());
  str("AVAILABLEINSTALL", "FILENAMES", ed_Install->text());
  boolean("MISC", "OPENFAVORITES", cb_OpenStart);
  boolean("MISC", "SAVELAYOUT", cb_SaveLayout);
  boolean("MISC", "AFTERADDED", cb_FilesAdded);
  boolean("MISC", "AFTERDELETED", cb_AfterDeleted);
  boolean("MISC", "AFTEREXTRACTED", cb_AfterExtracted);
  str("SPANNING", "KEEPFREE", FreeDisk1Edit->text());
  str("SPANNING", "MAXSIZE", MaxVolSizeEdit->text());
  str("SPANNING", "MINFREE", MinFreeVolEdit->text());
  boolean("SPANNING", "FORMAT", FormatCB);
  boolean("SPANNING", "AUTOSPAN", CheckBox1);
  ini.WriteInteger("COLOR", "WINDOW", pa_WindowColor->Color());
  boolean("GRID", "VERT", cb_Vert);
  boolean("BUTTON", "TOOLTIP", cb_Tooltip);
  ApplyToolbarHints(cb_Tooltip->isChecked());
  str("DATETIME", "DATEFORMAT", co_DateFormat->currentText());
  str("DATETIME", "TIMEFORMAT", co_Timeformat->currentText());
  boolean("COMPRESSION", "SAVEDIRNAME", DirNameCB);
  boolean("COMPRESSION", "RECURSEDIRS", RecurseCB);
  boolean("COMPRESSION", "FORCEMSDOS", CB_ForceDos);
  boolean("COMPRESSION", "TIMESTAMP", CB_Timestamp);
  ini.WriteInteger("COMPRESSION", "LEVEL", tb_complevel->value());
  ini.WriteInteger("COMPRESSION", "ENCRYPTION", AddAesBits());
  str("SMTP", "SERVER", ed_Server->text());
  str("SMTP", "PORT", ed_Port->text());
  str("SMTP", "USER", ed_User->text());
  str("SMTP", "SECURITY", co_Security->currentText());
  str("PERSONAL", "NAME", ed_Name->text());
  str("PERSONAL", "EMAIL", ed_EMail->text());
  str("FOLDERS", "STARTUP", ed_StartUp->text());
  boolean("FOLDERS", "STARTWIN", rb_WinDef);
  boolean("FOLDERS", "OTHERWIN", rb_OtherWin);
  str("FOLDERS", "EXTRACT", ed_Extract->text());
  boolean("FOLDERS", "LASTEXTR", rb_Extr);
  boolean("FOLDERS", "OTHEREXTR", rb_OtherExtr);
  str("FOLDERS", "ADD", ed_Add->text());
  boolean("FOLDERS", "LASTADD", rb_Last);
  boolean("FOLDERS", "OTHERADD", rb_OtherLast);
  str("FOLDERS", "TEMP", ed_Temp->text());
  ini.EndUpdate();

  LoadSettings();
}

void TF_Settings::LoadLayout() {
  TIniFile ini(S(IniFileName()));
  if (mainForm_) {
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = ini.ReadInteger("LAYOUT", kWindowKeys[i].key, kWindowKeys[i].def);
    mainForm_->move(v[0], v[1]);
    // A damaged file must not make the window vanish: sizes stay positive.
    mainForm_->resize(std::max(v[3], 1), std::max(v[2], 1));
    KeepOnScreen(*mainForm_);
  }
  if (fileList_) {
    // A width never stored keeps the list's own, which is already fitted to
    // the desktop's font; a stored one is the user's and is taken as it is.
    for (int i = 0; i < 6; ++i) {
      if (!ini.ValueExists("LAYOUT", kColumnKeys[i].key)) continue;
      const int w = ini.ReadInteger("LAYOUT", kColumnKeys[i].key, kColumnKeys[i].def);
      fileList_->setColumnWidth(i, std::max(w, 0));
    }
  }
}

void TF_Settings::SaveLayout() {
  TIniFile ini(S(IniFileName()));
  ini.BeginUpdate();
  if (mainForm_) {
    const int v[4] = {mainForm_->x(), mainForm_->y(), mainForm_->height(), mainForm_->width()};
    for (int i = 0; i < 4; ++i) ini.WriteInteger("LAYOUT", kWindowKeys[i].key, v[i]);
  }
  if (fileList_) {
    for (int i = 0; i < 6; ++i) ini.WriteInteger("LAYOUT", kColumnKeys[i].key, fileList_->columnWidth(i));
  }
  ini.EndUpdate();
}

// ---- Folders ---------------------------------------------------------------------------------

bool TF_Settings::GetFolderSetting(const QString& kind, QString& folder) const {
  const QString root = MappedDefault("C:\\");
  if (kind == QLatin1String("S")) {
    if (rb_WinDef->isChecked()) {
      folder = root;
      return true;
    }
    if (IsFolder(ed_StartUp->text())) {
      folder = ed_StartUp->text();
      return true;
    }
    return false;
  }
  QString candidate;
  if (kind == QLatin1String("E")) {
    candidate = rb_Extr->isChecked()
                    ? Mapped(Q(TIniFile(S(IniFileName())).ReadString("FOLDERS", "LASTE", "C:\\")))
                    : ed_Extract->text();
  } else if (kind == QLatin1String("A")) {
    candidate = rb_Last->isChecked()
                    ? Mapped(Q(TIniFile(S(IniFileName())).ReadString("FOLDERS", "LASTA", "C:\\")))
                    : ed_Add->text();
  } else {
    return false;
  }
  folder = IsFolder(candidate) ? candidate : root;
  return true;
}

QString TF_Settings::GetFolderSetting(const QString& kind) const {
  QString folder;
  GetFolderSetting(kind, folder);
  return folder;
}

int TF_Settings::AddAesBits() const {
  static constexpr int kBits[] = {0, 128, 192, 256};
  const int i = co_Encryption->currentIndex();
  return i >= 0 && i < 4 ? kBits[i] : 0;
}

void TF_Settings::SetAesChoice(int bits) {
  co_Encryption->setCurrentIndex(bits == 128 ? 1 : bits == 192 ? 2 : bits == 256 ? 3 : 0);
}

void TF_Settings::StoreAddAesBits(int bits) {
  SetAesChoice(bits);
  try {
    TIniFile(S(IniFileName())).WriteInteger("COMPRESSION", "ENCRYPTION", AddAesBits());
  } catch (const EIniWriteError& e) {
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
}

void TF_Settings::StoreLastFolder(const QString& kind, const QString& folder) {
  // The folder is only remembered: a refused write is said and the command
  // that asked goes on.
  try {
    if (kind == QLatin1String("E")) {
      if (rb_Extr->isChecked()) TIniFile(S(IniFileName())).WriteString("FOLDERS", "LASTE", S(folder));
    } else if (kind == QLatin1String("A")) {
      if (rb_Last->isChecked()) TIniFile(S(IniFileName())).WriteString("FOLDERS", "LASTA", S(folder));
    }
  } catch (const EIniWriteError& e) {
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
}

}  // namespace arkelin::settings
