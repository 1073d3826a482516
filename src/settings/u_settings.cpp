// The configuration window TF_Settings: its life cycle, the colour swatch
// and the colour values it shows, the toolbar hints, and the handlers of its
// buttons and fields. The pages are built in u_settings_pages.cpp; the
// settings file is read and written in u_settings_store.cpp.
#include "settings/u_settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QTableView>

#include <filesystem>
#include <system_error>

#include "platform/Platform.h"
#include "settings/u_settings_p.h"

namespace arkelin::settings {

namespace {

bool IsFile(const QString& path) {
  if (path.isEmpty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(pf::ToFsPath(S(path)), ec);
}

// The system colours a stored value can refer to, by index, and the palette
// role that shows them on this desktop.
QPalette::ColorRole SystemRole(int index) {
  switch (index) {
    case 1:  return QPalette::Window;          // desktop
    case 4:  return QPalette::Window;          // menu
    case 5:  return QPalette::Base;            // window background
    case 6:  return QPalette::Dark;            // window frame
    case 7:  return QPalette::Text;            // menu text
    case 8:  return QPalette::Text;            // window text
    case 12: return QPalette::Window;          // application workspace
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;          // button face
    case 16: return QPalette::Mid;             // button shadow
    case 17: return QPalette::PlaceholderText; // grey text
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;           // button highlight
    case 21: return QPalette::Shadow;          // dark shadow
    case 22: return QPalette::Midlight;        // light
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Base;
  }
}

// The property that keeps a toolbar button's hint while hints are off.
const char* const kHintProperty = "arkelinHint";

// The eight toolbar buttons, by object name, and their hints.
struct ToolbarHintText {
  const char* button;
  const char* hint;
};
const ToolbarHintText kToolbarHints[] = {
    {"bu_New", "Create new Zip archive"},
    {"bu_Open", "Open zip archive"},
    {"bu_run", "Run selected file"},
    {"bu_View", "View selected file"},
    {"bu_Extract", "Extract file(s) from archive"},
    {"bu_Add", "Add file(s) to archive"},
    {"bu_Delete", "Delete file(s) from archive"},
    {"bu_Close", "Exit Arkelin2001"},
};

}  // namespace

// ---- Colours --------------------------------------------------------------------

QColor ColorToQColor(TColor value) {
  const auto bits = static_cast<uint32_t>(value);
  if (bits & 0x80000000u) {
    const QPalette pal = QApplication::palette();
    return pal.color(QPalette::Active, SystemRole(static_cast<int>(bits & 0xFFu)));
  }
  return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                static_cast<int>((bits >> 16) & 0xFFu));
}

QColor ListColor(TColor value) { return value == clWindow ? QColor() : ColorToQColor(value); }

TColor QColorToColor(const QColor& c) {
  return static_cast<TColor>(static_cast<uint32_t>(c.red()) |
                             (static_cast<uint32_t>(c.green()) << 8) |
                             (static_cast<uint32_t>(c.blue()) << 16));
}

TColorSwatch::TColorSwatch(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  setFixedSize(64, 22);
  SetColor(clWindow);
}

void TColorSwatch::SetColor(TColor c) {
  color_ = c;
  showing_ = true;
  QPalette p = palette();
  p.setColor(QPalette::Window, ColorToQColor(c));
  setPalette(p);
  showing_ = false;
  emit colorSet(c);
}

void TColorSwatch::changeEvent(QEvent* e) {
  QFrame::changeEvent(e);
  const bool system = (static_cast<uint32_t>(color_) & 0x80000000u) != 0;
  if (system && !showing_ && (e->type() == QEvent::ApplicationPaletteChange || e->type() == QEvent::PaletteChange))
    SetColor(color_);
}

void TColorSwatch::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
  QFrame::mouseReleaseEvent(e);
}

// ---- The window ------------------------------------------------------------------

TF_Settings::TF_Settings(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_Settings"));
  ChooseColor = [this](const QColor& initial) -> std::optional<QColor> {
    const QColor c = QColorDialog::getColor(initial, this);
    if (!c.isValid()) return std::nullopt;
    return c;
  };
  BuildWindow();
}

TF_Settings::~TF_Settings() {
  // No exception leaves a destructor; a refused layout write is shown.
  try {
    FormDestroy();
  } catch (const std::exception& e) {
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
}

QString TF_Settings::IniFileName() { return Q(pf::DataFolder()) + QStringLiteral("Arkelin.ini"); }

void TF_Settings::AttachMainWindow(QWidget* mainForm, QTableView* fileList) {
  mainForm_ = mainForm;
  fileList_ = fileList;
}

// ---- Life cycle ------------------------------------------------------------------------

void TF_Settings::FormCreate() {
  LoadSettings();
  LoadLayout();
  SetGraphicFieldsEnabled(rb_ExtGraphic->isChecked());
  if (cb_OpenStart->isChecked() && OnOpenFavorites) OnOpenFavorites(*this);
}

void TF_Settings::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (!cb_SaveLayout->isChecked()) return;
  // At exit too a refused write is said, never thrown out of the program.
  try {
    SaveLayout();
  } catch (const EIniWriteError& e) {
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
}

int TF_Settings::Execute() {
  const int result = exec();
  if (mainForm_) mainForm_->setAcceptDrops(cb_Outside->isChecked());
  if (OnClosed) OnClosed(*this);
  return result;
}

// ---- Toolbar hints -----------------------------------------------------------------------

QString TF_Settings::ToolbarHint(const QString& buttonName) {
  for (const auto& h : kToolbarHints)
    if (buttonName == QLatin1String(h.button)) return QString::fromLatin1(h.hint);
  return {};
}

QList<QAbstractButton*> TF_Settings::ToolbarButtons() const {
  QList<QAbstractButton*> out;
  if (!mainForm_) return out;
  for (const auto& h : kToolbarHints)
    if (auto* b = mainForm_->findChild<QAbstractButton*>(QString::fromLatin1(h.button))) out << b;
  return out;
}

void TF_Settings::ApplyToolbarHints(bool on) {
  for (QAbstractButton* b : ToolbarButtons()) {
    if (on) {
      const QString hint = ToolbarHint(b->objectName());
      b->setProperty(kHintProperty, hint);
      b->setToolTip(hint);
    } else {
      // The text is kept; only its display stops.
      if (!b->toolTip().isEmpty()) b->setProperty(kHintProperty, b->toolTip());
      b->setToolTip(QString());
    }
  }
}

// ---- Handlers ----------------------------------------------------------------------------------

void TF_Settings::bu_OkClick() {
  try {
    SaveSettings();
  } catch (const EIniWriteError& e) {
    // The window stays open and the file as it was: the keys are written
    // together, in one replacement of the file.
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  accept();
}

void TF_Settings::bu_CancelClick() { reject(); }

void TF_Settings::pa_WindowColorClick() {
  if (!ChooseColor) return;
  if (const auto c = ChooseColor(ColorToQColor(pa_WindowColor->Color())))
    pa_WindowColor->SetColor(QColorToColor(*c));
}

// Like a colour chosen, it is stored (and the lists recoloured) by "&Ok" only.
void TF_Settings::bu_DesktopColorClick() { pa_WindowColor->SetColor(clWindow); }

void TF_Settings::ViewerPathExit() {
  // Whichever of the three fields was left, the text viewer path is checked.
  if (!IsFile(ed_Editor->text()))
    pf::Dialogs().MessageBox("Can't find editor!", pf::MsgKind::Warning, pf::BtnOK);
}

void TF_Settings::BrowseClick(QLineEdit* field, const QString& title, bool program) {
  if (program) {
    // The viewer paths name a program, so their browser picks a file.
    pf::FileDialogRequest req;
    req.title = S(title);
    req.filter = "Programs|*|All files|*";
    const std::filesystem::path current = pf::ToFsPath(S(field->text()));
    if (!field->text().isEmpty()) req.initialDir = pf::FromFsPath(current.parent_path());
    const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
    if (!chosen.empty()) field->setText(Q(chosen.front()));
    return;
  }
  const std::filesystem::path current = pf::ToFsPath(S(field->text()));
  if (field == ed_Zipname) {
    // The field names the new archive: the browser picks its folder and the
    // file name stays (a bare folder there would make the archive a folder).
    std::string name = pf::FromFsPath(current.filename());
    if (name.empty()) name = "Noname.zip";
    const std::optional<std::string> folder =
        pf::Dialogs().ChooseFolder(S(title), pf::FromFsPath(current.parent_path()));
    if (folder) field->setText(Q(pf::FromFsPath(pf::ToFsPath(*folder) / name)));
    return;
  }
  const std::optional<std::string> folder = pf::Dialogs().ChooseFolder(S(title), S(field->text()));
  if (folder) field->setText(Q(*folder));
}

bool TF_Settings::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::FocusOut &&
      (watched == ed_Editor || watched == ed_Graphic || watched == ed_Formats)) {
    auto* fe = static_cast<QFocusEvent*>(e);
    // Only a move to another control counts as leaving; a box or menu
    // popping up over the window does not.
    if (fe->reason() == Qt::TabFocusReason || fe->reason() == Qt::BacktabFocusReason ||
        fe->reason() == Qt::MouseFocusReason || fe->reason() == Qt::ShortcutFocusReason ||
        fe->reason() == Qt::OtherFocusReason)
      ViewerPathExit();
  }
  return QDialog::eventFilter(watched, e);
}

}  // namespace arkelin::settings
