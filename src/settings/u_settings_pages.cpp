// The configuration window's controls: its six pages, the Ok and Cancel
// buttons, and the wiring between controls (the radio pairs, the graphic
// viewer fields, the coupled directory options, the "..." buttons). The
// captions and object names here are the ones users and tests know.
#include "settings/u_settings.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "settings/u_settings_p.h"

namespace arkelin::settings {

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

}  // namespace arkelin::settings
