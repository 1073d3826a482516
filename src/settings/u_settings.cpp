#include "settings/u_settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "platform/NameText.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/widgets/ListColors.h"

namespace arkelin::settings {

namespace pf = arkelin::platform;

namespace {

// Lossless for file names that are not valid UTF-8 (platform/NameText.h).
std::string S(const QString& q) { return platform::TextToName(q); }
QString Q(const std::string& s) { return platform::NameToText(s); }

// Windows literals of the stored defaults and of older files, mapped to
// this machine's folders; other text stays as it is.
QString Mapped(const QString& text) { return Q(pf::MapDefaultPath(S(text))); }
QString MappedDefault(const char* literal) { return Q(pf::MapDefaultPath(literal)); }

bool IsFolder(const QString& path) {
  if (path.isEmpty()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(pf::ToFsPath(S(path)), ec);
}

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

const char* const kHintProperty = "arkelinHint";

// What the empty mail fields show.
const char* const kServerHint = "Enter SMTP Server";
const char* const kNameHint = "Enter your name";
const char* const kEmailHint = "Enter your Email address";

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

QString TF_Settings::ToolbarHint(const QString& buttonName) {
  for (const auto& h : kToolbarHints)
    if (buttonName == QLatin1String(h.button)) return QString::fromLatin1(h.hint);
  return {};
}

// ---- Building the controls ---------------------------------------------------------

namespace {

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& caption, bool checked) {
  auto* c = Named(new QCheckBox(caption, parent), name);
  c->setChecked(checked);
  return c;
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text) {
  auto* e = Named(new QLineEdit(parent), name);
  e->setText(text);
  return e;
}

QPushButton* Dots(QWidget* parent, const char* name) {
  auto* b = Named(new QPushButton(QStringLiteral("..."), parent), name);
  b->setFixedWidth(28);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

void TF_Settings::BuildWindow() {
  setWindowTitle(QStringLiteral("Configuration"));
  setModal(true);
  auto* outer = new QVBoxLayout(this);

  auto* heading = Named(new QLabel(QStringLiteral("Configuration"), this), "la_Heading");
  QFont hf = heading->font();
  hf.setBold(true);
  hf.setPointSizeF(hf.pointSizeF() * 1.4);
  heading->setFont(hf);
  heading->setAutoFillBackground(true);
  heading->setBackgroundRole(QPalette::Base);
  heading->setForegroundRole(QPalette::Text);
  heading->setMargin(8);
  outer->addWidget(heading);

  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  PageControl1->addTab(BuildUserInterfacePage(), QStringLiteral("User Interface"));
  PageControl1->addTab(BuildFoldersPage(), QStringLiteral("Folders"));
  PageControl1->addTab(BuildSystemPage(), QStringLiteral("System"));
  PageControl1->addTab(BuildLocationsPage(), QStringLiteral("Locations"));
  PageControl1->addTab(BuildZipEmailPage(), QStringLiteral("Zip && Email"));
  PageControl1->addTab(BuildMultiDiskPage(), QStringLiteral("Multi.disk.vol"));
  PageControl1->setCurrentIndex(0);
  // All six tabs stay in view: the window is as wide as they need.
  PageControl1->setUsesScrollButtons(false);
  PageControl1->setElideMode(Qt::ElideNone);
  outer->addWidget(PageControl1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  bu_Ok = Named(new QPushButton(QStringLiteral("&Ok"), this), "bu_Ok");
  bu_Cancel = Named(new QPushButton(QStringLiteral("&Cancel"), this), "bu_Cancel");
  bu_Ok->setDefault(true);
  bu_Cancel->setAutoDefault(false);
  buttons->addWidget(bu_Ok);
  buttons->addWidget(bu_Cancel);
  outer->addLayout(buttons);
  connect(bu_Ok, &QPushButton::clicked, this, [this] { bu_OkClick(); });
  connect(bu_Cancel, &QPushButton::clicked, this, [this] { bu_CancelClick(); });

  // The five radio pairs; both buttons of a pair may be unchecked.
  PairRadios(rb_External, rb_BuiltIn);
  PairRadios(rb_ExtGraphic, rb_BuiltGraphic);
  PairRadios(rb_WinDef, rb_OtherWin);
  PairRadios(rb_Extr, rb_OtherExtr);
  PairRadios(rb_Last, rb_OtherLast);

  // Graphic viewer fields follow the graphic viewer choice.
  connect(rb_BuiltGraphic, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetGraphicFieldsEnabled(false);
  });
  connect(rb_ExtGraphic, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetGraphicFieldsEnabled(true);
  });
  SetGraphicFieldsEnabled(false);

  // "Save DirNames" and "Recurse Dirs" are coupled.
  connect(DirNameCB, &QCheckBox::toggled, this, [this](bool on) {
    if (!on) RecurseCB->setChecked(false);
  });
  connect(RecurseCB, &QCheckBox::toggled, this, [this](bool on) {
    if (on) DirNameCB->setChecked(true);
  });

  connect(pa_WindowColor, &TColorSwatch::clicked, this, [this] { pa_WindowColorClick(); });
  connect(bu_DesktopColor, &QPushButton::clicked, this, [this] { bu_DesktopColorClick(); });
  connect(pa_WindowColor, &TColorSwatch::colorSet, this,
          [this](TColor c) { bu_DesktopColor->setEnabled(c != clWindow); });
  for (QLineEdit* e : {ed_Editor, ed_Graphic, ed_Formats}) e->installEventFilter(this);

  connect(bu_StartUp, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_StartUp, QStringLiteral("Choose startup folder"), false); });
  connect(bu_Extract, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Extract, QStringLiteral("Choose extract folder"), false); });
  connect(bu_Add, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Add, QStringLiteral("Choose add folder"), false); });
  connect(bu_Temp, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Temp, QStringLiteral("Choose temp folder"), false); });
  connect(bu_Zipname, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Zipname, QStringLiteral("Choose folder"), false); });
  connect(bu_Editor, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Editor, QStringLiteral("Choose text viewer program"), true); });
  connect(bu_Graphic, &QPushButton::clicked, this,
          [this] { BrowseClick(ed_Graphic, QStringLiteral("Choose graphic viewer program"), true); });

  // A fixed-size dialog centred on the screen.
  adjustSize();
  setFixedSize(sizeHint());
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - rect().center());
  }
}

QWidget* TF_Settings::BuildUserInterfacePage() {
  auto* page = Named(new QWidget, "ts_UserInterface");
  auto* v = new QVBoxLayout(page);
  auto* group = Named(new QGroupBox(QStringLiteral("File window"), page), "gb_FileWindow");
  auto* g = new QGridLayout(group);

  pa_WindowColor = Named(new TColorSwatch(group), "pa_WindowColor");
  pa_WindowColor->setToolTip(QStringLiteral("Click here to change color"));
  bu_DesktopColor = Named(new QPushButton(QStringLiteral("Desktop color"), group), "bu_DesktopColor");
  bu_DesktopColor->setToolTip(QStringLiteral("Follow the desktop's colors again"));
  bu_DesktopColor->setEnabled(false);  // the swatch starts at the system colour
  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(pa_WindowColor);
  colorRow->addWidget(bu_DesktopColor);
  colorRow->addStretch(1);
  g->addWidget(new QLabel(QStringLiteral("Window color"), group), 0, 0);
  g->addLayout(colorRow, 0, 1);

  cb_Vert = Check(group, "cb_Vert", QStringLiteral("Show gridlines"), false);
  g->addWidget(cb_Vert, 1, 0, 1, 2);
  cb_Tooltip = Check(group, "cb_Tooltip", QStringLiteral("Show tooltip under buttons"), true);
  g->addWidget(cb_Tooltip, 2, 0, 1, 2);

  co_DateFormat = Named(new QComboBox(group), "co_DateFormat");
  co_DateFormat->setEditable(true);
  co_DateFormat->addItems({QStringLiteral("yy/mm/dd"), QStringLiteral("dd/mm/yy"),
                           QStringLiteral("yyyy/mm/dd"), QStringLiteral("dd/mm/yyyy")});
  co_DateFormat->setInsertPolicy(QComboBox::NoInsert);
  co_DateFormat->setCurrentText(QStringLiteral("yyyy/mm/dd"));
  g->addWidget(new QLabel(QStringLiteral("Date format"), group), 3, 0);
  g->addWidget(co_DateFormat, 3, 1);

  co_Timeformat = Named(new QComboBox(group), "co_Timeformat");
  co_Timeformat->setEditable(true);
  co_Timeformat->addItems(
      {QStringLiteral("hh:mm:ss"), QStringLiteral("hh:mm"), QStringLiteral("mm:hh")});
  co_Timeformat->setInsertPolicy(QComboBox::NoInsert);
  co_Timeformat->setCurrentText(QStringLiteral("hh:mm"));
  g->addWidget(new QLabel(QStringLiteral("Time format"), group), 4, 0);
  g->addWidget(co_Timeformat, 4, 1);

  v->addWidget(group);
  v->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildFoldersPage() {
  auto* page = Named(new QWidget, "ts_Folders");
  auto* v = new QVBoxLayout(page);
  const QString home = MappedDefault("C:\\");

  auto folderGroup = [&](const char* groupName, const QString& caption, QRadioButton*& first,
                         const char* firstName, const QString& firstCaption, QRadioButton*& other,
                         const char* otherName, QLineEdit*& edit, const char* editName,
                         QPushButton*& dots, const char* dotsName) {
    auto* group = Named(new QGroupBox(caption, page), groupName);
    auto* g = new QGridLayout(group);
    first = Named(new QRadioButton(firstCaption, group), firstName);
    other = Named(new QRadioButton(QStringLiteral("Other"), group), otherName);
    edit = Edit(group, editName, home);
    dots = Dots(group, dotsName);
    g->addWidget(first, 0, 0, 1, 2);
    g->addWidget(other, 1, 0);
    g->addWidget(edit, 1, 1);
    g->addWidget(dots, 1, 2);
    v->addWidget(group);
  };
  folderGroup("gb_Startup", QStringLiteral("Startup folder"), rb_WinDef, "rb_WinDef",
              QStringLiteral("Windows default"), rb_OtherWin, "rb_OtherWin", ed_StartUp,
              "ed_StartUp", bu_StartUp, "bu_StartUp");
  folderGroup("gb_Extract", QStringLiteral("Extract folder"), rb_Extr, "rb_Extr",
              QStringLiteral("Last extract folder"), rb_OtherExtr, "rb_OtherExtr", ed_Extract,
              "ed_Extract", bu_Extract, "bu_Extract");
  folderGroup("gb_Add", QStringLiteral("Add folder"), rb_Last, "rb_Last",
              QStringLiteral("Last add folder"), rb_OtherLast, "rb_OtherLast", ed_Add, "ed_Add",
              bu_Add, "bu_Add");
  rb_WinDef->setChecked(true);
  rb_Extr->setChecked(true);
  rb_Last->setChecked(true);

  auto* temp = Named(new QGroupBox(QStringLiteral("Temporary folder"), page), "gb_Temp");
  auto* h = new QHBoxLayout(temp);
  ed_Temp = Edit(temp, "ed_Temp", MappedDefault("C:\\WINDOWS\\TEMP"));
  bu_Temp = Dots(temp, "bu_Temp");
  h->addWidget(ed_Temp);
  h->addWidget(bu_Temp);
  v->addWidget(temp);
  v->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildSystemPage() {
  auto* page = Named(new QWidget, "ts_System");
  auto* v = new QVBoxLayout(page);

  auto* dd = Named(new QGroupBox(QStringLiteral("Drag && Drop"), page), "gb_DragDrop");
  auto* g = new QGridLayout(dd);
  cb_Outside = Check(dd, "cb_Outside", QStringLiteral("Accept files outside Arkelin2001"), true);
  cb_AskzipName =
      Check(dd, "cb_AskzipName", QStringLiteral("Ask Zipname before if new archive"), true);
  ed_Zipname = Edit(dd, "ed_Zipname", MappedDefault("C:\\Noname.zip"));
  bu_Zipname = Dots(dd, "bu_Zipname");
  g->addWidget(cb_Outside, 0, 0, 1, 2);
  g->addWidget(cb_AskzipName, 1, 0, 1, 2);
  g->addWidget(new QLabel(QStringLiteral("Default path and name of Zipfile:"), dd), 2, 0, 1, 2);
  g->addWidget(ed_Zipname, 3, 0);
  g->addWidget(bu_Zipname, 3, 1);
  v->addWidget(dd);

  auto* inst = Named(new QGroupBox(QStringLiteral("Available install programs"), page),
                     "gb_Install");
  auto* iv = new QVBoxLayout(inst);
  iv->addWidget(new QLabel(QStringLiteral("Separate each program with semicolon"), inst));
  ed_Install = Edit(inst, "ed_Install", QStringLiteral("install.exe;setup.exe;install.sh;setup.sh"));
  iv->addWidget(ed_Install);
  v->addWidget(inst);

  cb_OpenStart = Check(page, "cb_OpenStart", QStringLiteral("Open favorites window on start"), false);
  cb_SaveLayout = Check(page, "cb_SaveLayout", QStringLiteral("Save Arkelin2001 Layout"), false);
  cb_FilesAdded = Check(page, "cb_FilesAdded", QStringLiteral("Prompt after files added"), true);
  cb_AfterExtracted =
      Check(page, "cb_AfterExtracted", QStringLiteral("Prompt after files extracted"), true);
  cb_AfterDeleted =
      Check(page, "cb_AfterDeleted", QStringLiteral("Prompt after files deleted"), true);
  for (QCheckBox* c : {cb_OpenStart, cb_SaveLayout, cb_FilesAdded, cb_AfterExtracted, cb_AfterDeleted})
    v->addWidget(c);
  v->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildLocationsPage() {
  auto* page = Named(new QWidget, "ts_Locations");
  auto* v = new QVBoxLayout(page);

  auto* text = Named(new QGroupBox(QStringLiteral("Text viewer  (View/Edit command)"), page),
                     "gb_TextViewer");
  auto* tg = new QGridLayout(text);
  rb_External = Named(new QRadioButton(QStringLiteral("External"), text), "rb_External");
  rb_BuiltIn = Named(new QRadioButton(QStringLiteral("Built in"), text), "rb_BuiltIn");
  rb_BuiltIn->setChecked(true);
  ed_Editor = Edit(text, "ed_Editor", QString());
  bu_Editor = Dots(text, "bu_Editor");
  tg->addWidget(rb_External, 0, 0);
  tg->addWidget(rb_BuiltIn, 0, 1);
  tg->addWidget(new QLabel(QStringLiteral("Path and filename"), text), 1, 0, 1, 2);
  tg->addWidget(ed_Editor, 2, 0, 1, 2);
  tg->addWidget(bu_Editor, 2, 2);
  v->addWidget(text);

  auto* gx = Named(new QGroupBox(QStringLiteral("Graphic viewer (View/Edit command)"), page),
                   "gb_GraphicViewer");
  auto* gg = new QGridLayout(gx);
  rb_ExtGraphic = Named(new QRadioButton(QStringLiteral("External"), gx), "rb_ExtGraphic");
  rb_BuiltGraphic = Named(
      new QRadioButton(QStringLiteral("Internal (GIF, GIF Anim, JPG, BMP)"), gx), "rb_BuiltGraphic");
  rb_BuiltGraphic->setChecked(true);
  ed_Graphic = Edit(gx, "ed_Graphic", QString());
  bu_Graphic = Dots(gx, "bu_Graphic");
  ed_Formats = Edit(gx, "ed_Formats", QStringLiteral("JPG;BMP;GIF"));
  gg->addWidget(rb_ExtGraphic, 0, 0);
  gg->addWidget(rb_BuiltGraphic, 0, 1);
  gg->addWidget(new QLabel(QStringLiteral("Path and filename"), gx), 1, 0, 1, 2);
  gg->addWidget(ed_Graphic, 2, 0, 1, 2);
  gg->addWidget(bu_Graphic, 2, 2);
  gg->addWidget(
      new QLabel(QStringLiteral("Supported formats. Separated each extension with semicolon"), gx),
      3, 0, 1, 3);
  gg->addWidget(ed_Formats, 4, 0, 1, 2);
  v->addWidget(gx);

  auto* note = Named(new QLabel(QStringLiteral("Note!"), page), "la_Note");
  QFont nf = note->font();
  nf.setBold(true);
  note->setFont(nf);
  v->addWidget(note);
  v->addWidget(new QLabel(
      QStringLiteral("A double-click on a file runs the program associated with it,"), page));
  v->addWidget(new QLabel(QStringLiteral("the same as the Run command. View/Edit launches"), page));
  v->addWidget(new QLabel(QStringLiteral("the text or graphic viewer chosen above."), page));
  v->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildZipEmailPage() {
  auto* page = Named(new QWidget, "ts_ZipEmail");
  auto* v = new QVBoxLayout(page);

  auto* zip = Named(new QGroupBox(QStringLiteral("ZIP compression options"), page), "gb_Zip");
  auto* zg = new QGridLayout(zip);
  DirNameCB = Check(zip, "DirNameCB", QStringLiteral("Save DirNames"), true);
  DirNameCB->setToolTip(QStringLiteral("Saves the pathname with each filename"));
  RecurseCB = Check(zip, "RecurseCB", QStringLiteral("Recurse Dirs"), true);
  RecurseCB->setToolTip(QStringLiteral(
      "Subdirectories below EACH given filespecification will be included in the "
      "filespecification"));
  CB_ForceDos = Check(zip, "CB_ForceDos", QStringLiteral("Force MS-DOS"), false);
  CB_ForceDos->setToolTip(QStringLiteral(
      "Force all filenames that go into the ZIP file to meet the DOS 8x3 restriction. If not "
      "checked, long filenames are supported"));
  CB_Timestamp = Check(zip, "CB_Timestamp", QStringLiteral("Use Timestamp"), false);
  CB_Timestamp->setToolTip(
      QStringLiteral("Set ZIP timestamp to that of the newest file in the archive"));
  zg->addWidget(DirNameCB, 0, 0);
  zg->addWidget(RecurseCB, 1, 0);
  zg->addWidget(CB_ForceDos, 2, 0);
  zg->addWidget(CB_Timestamp, 3, 0);

  auto* levelBox = new QWidget(zip);
  auto* lv = new QGridLayout(levelBox);
  lv->setContentsMargins(0, 0, 0, 0);
  lv->addWidget(new QLabel(QStringLiteral("Compression level"), levelBox), 0, 0, 1, 3);
  tb_complevel = Named(new QSlider(Qt::Horizontal, levelBox), "tb_complevel");
  tb_complevel->setRange(0, 9);
  tb_complevel->setSingleStep(1);
  tb_complevel->setPageStep(1);
  tb_complevel->setTickInterval(1);
  tb_complevel->setTickPosition(QSlider::TicksBelow);
  tb_complevel->setValue(9);
  tb_complevel->setToolTip(
      QStringLiteral("Compression level, default = max = save space, Min = save time"));
  lv->addWidget(tb_complevel, 1, 0, 1, 3);
  lv->addWidget(new QLabel(QStringLiteral("Min"), levelBox), 2, 0, Qt::AlignLeft);
  lv->addWidget(new QLabel(QStringLiteral("Med"), levelBox), 2, 1, Qt::AlignHCenter);
  lv->addWidget(new QLabel(QStringLiteral("Max"), levelBox), 2, 2, Qt::AlignRight);
  zg->addWidget(levelBox, 0, 1, 4, 1);
  auto* encryptionBox = new QWidget(zip);
  auto* eh = new QHBoxLayout(encryptionBox);
  eh->setContentsMargins(0, 0, 0, 0);
  co_Encryption = Named(new QComboBox(encryptionBox), "co_Encryption");
  co_Encryption->addItems({QStringLiteral("Traditional"), QStringLiteral("AES-128"), QStringLiteral("AES-192"),
                           QStringLiteral("AES-256")});
  co_Encryption->setToolTip(QStringLiteral(
      "How files added with a password are encrypted: traditional (read by every ZIP program, but weak) or AES"));
  auto* encryptionLabel = new QLabel(QStringLiteral("&Encryption"), encryptionBox);
  encryptionLabel->setBuddy(co_Encryption);
  eh->addWidget(encryptionLabel);
  eh->addWidget(co_Encryption, 1);
  zg->addWidget(encryptionBox, 4, 0, 1, 2);
  v->addWidget(zip);

  auto* mail = Named(new QGroupBox(QStringLiteral("Email server information"), page), "gb_Email");
  auto* mg = new QGridLayout(mail);
  const QString hostHint = QStringLiteral("Host name or IP address of SMTP server");
  const QString returnHint = QStringLiteral("Return address to use when sending SMTP mail");
  // The hints show in the empty fields; they are no values and are never
  // stored or sent.
  ed_Server = Edit(mail, "ed_Server", QString());
  ed_Server->setPlaceholderText(QLatin1String(kServerHint));
  ed_Port = Edit(mail, "ed_Port", QStringLiteral("25"));
  ed_Name = Edit(mail, "ed_Name", QString());
  ed_Name->setPlaceholderText(QLatin1String(kNameHint));
  ed_EMail = Edit(mail, "ed_EMail", QString());
  ed_EMail->setPlaceholderText(QLatin1String(kEmailHint));
  ed_User = Edit(mail, "ed_User", QString());
  ed_User->setPlaceholderText(QStringLiteral("none"));
  ed_User->setToolTip(QStringLiteral("Login name at the mail server; the password is asked when mail is sent"));
  co_Security = Named(new QComboBox(mail), "co_Security");
  co_Security->addItems({QStringLiteral("none"), QStringLiteral("starttls"), QStringLiteral("tls")});
  co_Security->setToolTip(QStringLiteral("Encryption: none, STARTTLS (usually port 587) or TLS (port 465)"));
  ed_Server->setToolTip(hostHint);
  ed_Port->setToolTip(hostHint);
  ed_Name->setToolTip(returnHint);
  ed_EMail->setToolTip(returnHint);
  mg->addWidget(new QLabel(QStringLiteral("Mail server:"), mail), 0, 0);
  mg->addWidget(ed_Server, 0, 1);
  mg->addWidget(new QLabel(QStringLiteral("Port:"), mail), 0, 2);
  mg->addWidget(ed_Port, 0, 3);
  mg->addWidget(new QLabel(QStringLiteral("User name:"), mail), 1, 0);
  mg->addWidget(ed_User, 1, 1);
  mg->addWidget(new QLabel(QStringLiteral("Security:"), mail), 1, 2);
  mg->addWidget(co_Security, 1, 3);
  mg->addWidget(new QLabel(QStringLiteral("Your name:"), mail), 2, 0);
  mg->addWidget(ed_Name, 2, 1, 1, 3);
  mg->addWidget(new QLabel(QStringLiteral("Email address:"), mail), 3, 0);
  mg->addWidget(ed_EMail, 3, 1, 1, 3);
  v->addWidget(mail);
  v->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildMultiDiskPage() {
  auto* page = Named(new QWidget, "ts_MultiDisk");
  auto* v = new QVBoxLayout(page);
  auto* group = Named(new QGroupBox(QStringLiteral("Multiple disk spanning"), page), "gb_Spanning");
  auto* g = new QGridLayout(group);

  auto sizeRow = [&](int row, const QString& caption, QLineEdit*& edit, const char* name,
                     const QString& def, const QString& hint) {
    auto* label = new QLabel(caption, group);
    edit = Edit(group, name, def);
    edit->setToolTip(hint);
    label->setToolTip(hint);
    g->addWidget(label, row, 0);
    g->addWidget(edit, row, 1);
    g->addWidget(new QLabel(QStringLiteral("Bytes"), group), row, 2);
  };
  sizeRow(0, QStringLiteral("Keep free on first disk"), FreeDisk1Edit, "FreeDisk1Edit",
          QStringLiteral("0"),
          QStringLiteral("Bytes on the first disk which will not be used for the zipfile"));
  sizeRow(1, QStringLiteral("Max. volume size"), MaxVolSizeEdit, "MaxVolSizeEdit",
          QStringLiteral("0"), QStringLiteral("Maximum size of any archive part in bytes"));
  g->addWidget(new QLabel(QStringLiteral("0 = Use available space"), group), 1, 3);
  sizeRow(2, QStringLiteral("Min. free volume size"), MinFreeVolEdit, "MinFreeVolEdit",
          QStringLiteral("65536"),
          QStringLiteral("Min. number of bytes available before disk will be used"));

  FormatCB = Check(group, "FormatCB", QStringLiteral("&Format each disk first"), true);
  FormatCB->setToolTip(QStringLiteral(
      "Format each disk before writing the zipfile\nYou will get the choice: Fast, Full format "
      "or not at all\n\nOn Windows NT it's possible that this will not work"));
  CheckBox1 = Check(group, "CheckBox1",
                    QStringLiteral("Automatically use disk spanning when writing to removable media"),
                    true);
  g->addWidget(FormatCB, 3, 0, 1, 4);
  g->addWidget(CheckBox1, 4, 0, 1, 4);
  v->addWidget(group);
  v->addStretch(1);
  return page;
}

void TF_Settings::PairRadios(QRadioButton* a, QRadioButton* b) {
  // Exclusivity is ours: checking one clears its partner, and a store with
  // both keys 0 may leave both unchecked, which the toolkit's groups forbid.
  a->setAutoExclusive(false);
  b->setAutoExclusive(false);
  connect(a, &QRadioButton::toggled, this, [b](bool on) {
    if (on) b->setChecked(false);
  });
  connect(b, &QRadioButton::toggled, this, [a](bool on) {
    if (on) a->setChecked(false);
  });
  // A click on the checked button leaves it checked, as a radio button does.
  for (QRadioButton* r : {a, b})
    connect(r, &QRadioButton::clicked, this, [r](bool checked) {
      if (!checked) r->setChecked(true);
    });
}

void TF_Settings::SetGraphicFieldsEnabled(bool on) {
  ed_Graphic->setEnabled(on);
  ed_Formats->setEnabled(on);
  bu_Graphic->setEnabled(on);
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
