#include "window/mainunit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "window/ArchiveEngines_p.h"
#include "window/RecentIni.h"
#include "window/RecentList.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {

std::string U8(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// The extension of a name, dot included, "" when the file part has none.
QString ExtensionOf(const QString& name) {
  const QString file = NamePart(name);
  const int dot = file.lastIndexOf(u'.');
  return dot < 0 ? QString() : file.mid(dot);
}

// Menu captions show "&" as a mnemonic; a path shown as a caption doubles it.
QString AsCaption(const QString& text) {
  QString t = text;
  return t.replace(u'&', QStringLiteral("&&"));
}

// The command groups of the window. Group A needs an archive; group B changes
// a ZIP archive and is switched off for RAR archives.
const char* const kGroupA[] = {
    "Closearchive1", "Savearchiveas1", "Archiveinformation1", "AddzipfiletoFavorites1",
    "Copyarchive1", "Delete2", "Splitarchive1", "MakeSelfExtractedfile1", "Add1", "Extract1",
    "Delete1", "Viewfile1", "SelectAll2", "DeselectAll2", "Searchfile1", "Test1",
    "Executefile1", "Install1", "Add2", "Extract2", "Delete3", "View1", "Searchfile2",
    "SelectAll1", "DeselectAll1", "AddzipfiletoF1", "MakeEXEfile1", "Test2", "Run1", "Install2"};
const char* const kGroupAButtons[] = {"bu_Extract", "bu_run", "bu_View", "bu_Add", "bu_Delete"};
const char* const kGroupB[] = {"Splitarchive1", "MakeSelfExtractedfile1", "Add1", "Delete1",
                               "Viewfile1", "Executefile1", "Install1", "Add2", "Delete3",
                               "MakeEXEfile1", "Run1", "Install2"};

}  // namespace

QString IMainSettings::FolderSetting(char) const { return QDir::homePath(); }
void IMainSettings::StoreLastFolder(char, const QString&) const {}

QString DefaultMainSettings::FolderSetting(char kind) const {
  if (kind == 'E') return lastExtract.isEmpty() ? QDir::homePath() : lastExtract;
  if (kind == 'A') return lastAdd.isEmpty() ? QDir::homePath() : lastAdd;
  return openFolder.isEmpty() ? QDir::homePath() : openFolder;
}

void DefaultMainSettings::StoreLastFolder(char kind, const QString& folder) const {
  if (kind == 'E') lastExtract = folder;
  if (kind == 'A') lastAdd = folder;
}

QString DefaultMainSettings::DefaultZipName() const {
  if (!defaultZipName.isEmpty()) return Q(pf::MapDefaultPath(U8(defaultZipName)));
  return Q(pf::MapDefaultPath("C:\\Noname.zip"));
}

// ---- Creation ---------------------------------------------------------------------

TMainform::TMainform(QWidget* parent)
    : QMainWindow(parent), model_(new FileListModel(this)), engines_(std::make_unique<ArchiveEngines>()) {
  setObjectName(QStringLiteral("Mainform"));
  TitlePrefix = QStringLiteral("Arkelin2001Free ");
  // The five string lists start empty (QStringList members).
  BuildMenus();
  BuildToolbar();
  BuildFileList();
  BuildStatusBar();
  // A target for files dropped from the desktop.
  setAcceptDrops(true);
  ArchiveModified = false;
  SetTitle(QStringLiteral("<none>"));
  SetArchiveControls(false);
  // TODO: load the favourites list here once the favourites store exists.
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
  engines_->SetDLLDirectory(Q(pf::ExecutableFolder()));
  engines_->SetOwnImages(QIcon(QStringLiteral(":/window/large_default.png")),
                         QIcon(QStringLiteral(":/window/small_default.png")),
                         QIcon(QStringLiteral(":/window/large_exe.png")),
                         QIcon(QStringLiteral(":/window/small_exe.png")),
                         QIcon(QStringLiteral(":/window/large_noext.png")),
                         QIcon(QStringLiteral(":/window/small_noext.png")));
  WireEngineEvents();
  engines_->OnDirUpdate = [this] { FillFromZip(); };
  engines_->OnListFile = [this](const ListedEntry& e) {
    AddRarRow(e.name, e.uncompressed, e.compressed, e.dosDateTime);
  };
  resize(456, 361);
  move(300, 100);
}

TMainform::~TMainform() = default;

QAction* TMainform::MakeItem(QMenu* menu, const QString& name, const QString& caption,
                             const QKeySequence& shortcut, void (TMainform::*handler)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  if (handler) connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  menu->addAction(a);
  items_[name] = a;
  return a;
}

void TMainform::BuildMenus() {
  QMenuBar* bar = menuBar();
  FileMenu = bar->addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("File1"));
  MakeItem(FileMenu, "Newarchive1", "New archive...", QKeySequence("Ctrl+N"), &TMainform::Newarchive1Click);
  MakeItem(FileMenu, "Openarchive1", "Open archive...", QKeySequence("Ctrl+O"), &TMainform::Openarchive1Click);
  MakeItem(FileMenu, "Openspannedarchive1", "&Open multiple volume archive...", {},
           &TMainform::Openspannedarchive1Click);
  MakeItem(FileMenu, "Closearchive1", "Close archive", QKeySequence("Ctrl+L"), &TMainform::Closearchive1Click);
  FileMenu->addSeparator();
  MakeItem(FileMenu, "Savearchiveas1", "&Save archive as...", QKeySequence("Ctrl+S"),
           &TMainform::Savearchiveas1Click);
  MakeItem(FileMenu, "Copyarchive1", "Copy archive...", QKeySequence("Ctrl+C"), &TMainform::Copyarchive1Click);
  MakeItem(FileMenu, "Delete2", "&Delete archive", {}, &TMainform::Delete2Click);
  MakeItem(FileMenu, "Archiveinformation1", "Properties...", QKeySequence("Ctrl+I"),
           &TMainform::Archiveinformation1Click);
  FileMenu->addSeparator();
  MakeItem(FileMenu, "Splitarchive1", "&Create multiple volumes...", {}, &TMainform::Splitarchive1Click);
  MakeItem(FileMenu, "MakeSelfExtractedfile1", "Make &Self Extracting file...", {},
           &TMainform::MakeSelfExtractedfile1Click);
  FileMenu->addSeparator();
  MakeItem(FileMenu, "Multiplefileextracting1", "&Multiple file extracting (MFE)", {},
           &TMainform::Multiplefileextracting1Click);
  MakeItem(FileMenu, "Favoritearchives1", "Favorite archives...", QKeySequence("Ctrl+F1"),
           &TMainform::Favoritearchives1Click);
  MakeItem(FileMenu, "AddzipfiletoFavorites1", "Add to Favorites", QKeySequence("F5"),
           &TMainform::AddzipfiletoFavorites1Click);
  MakeItem(FileMenu, "Searchforarchives1", "Search for archive(s)...", QKeySequence("Ctrl+F3"),
           &TMainform::Searchforarchives1Click);
  FileMenu->addSeparator();
  MakeItem(FileMenu, "Exit1", "E&xit", QKeySequence("Ctrl+X"), &TMainform::Exit1Click);

  ActionsMenu = bar->addMenu(QStringLiteral("&Actions"));
  ActionsMenu->setObjectName(QStringLiteral("Actions1"));
  MakeItem(ActionsMenu, "Add1", "&Add...", QKeySequence(Qt::Key_Insert), &TMainform::Add1Click);
  MakeItem(ActionsMenu, "Extract1", "&Extract...", QKeySequence("Ctrl+E"), &TMainform::Extract1Click);
  MakeItem(ActionsMenu, "Delete1", "&Delete", QKeySequence("Ctrl+D"), &TMainform::Delete1Click);
  MakeItem(ActionsMenu, "Viewfile1", "&View/edit...", QKeySequence("Ctrl+V"), &TMainform::Viewfile1Click);
  ActionsMenu->addSeparator();
  MakeItem(ActionsMenu, "SelectAll2", "Select All", QKeySequence("Ctrl+A"), &TMainform::SelectAll2Click);
  MakeItem(ActionsMenu, "DeselectAll2", "Deselect All", {}, &TMainform::DeselectAll2Click);
  ActionsMenu->addSeparator();
  MakeItem(ActionsMenu, "Searchfile1", "&Search for file(s)...", QKeySequence("Ctrl+F4"),
           &TMainform::Searchfile1Click);
  MakeItem(ActionsMenu, "Test1", "&Test", QKeySequence("Ctrl+T"), &TMainform::Test1Click);
  MakeItem(ActionsMenu, "Executefile1", "&Run...", QKeySequence("Ctrl+U"), &TMainform::Executefile1Click);
  // Ctrl+F1 belongs to "Favorite archives..." as well, which comes first in
  // the menus and takes the key; here it is only shown.
  QAction* install = MakeItem(ActionsMenu, "Install1", "&Install...", {}, &TMainform::Install1Click);
  install->setText(QStringLiteral("&Install...\tCtrl+F1"));

  MiscMenu = bar->addMenu(QStringLiteral("&Misc"));
  MiscMenu->setObjectName(QStringLiteral("Misc1"));
  MakeItem(MiscMenu, "Configuration1", "Config&uration...", {}, &TMainform::Configuration1Click);
  MakeItem(MiscMenu, "Mailarchive1", "&Mail archive...", {}, &TMainform::Mailarchive1Click);

  HelpMenu = bar->addMenu(QStringLiteral("&Help"));
  HelpMenu->setObjectName(QStringLiteral("Help1"));
  MakeItem(HelpMenu, "Homepage1", "Homepage", {}, &TMainform::Homepage1Click);
  MakeItem(HelpMenu, "About1", "&About Arkelin", {}, &TMainform::About1Click);

  // The bar ends with a blank item and the product name, which opens the home page.
  auto* blank = bar->addAction(QStringLiteral(" "));
  blank->setObjectName(QStringLiteral("N1"));
  items_["N1"] = blank;
  auto* product = bar->addAction(QStringLiteral("Arkelin2001"));
  product->setObjectName(QStringLiteral("Arkelin20011"));
  items_["Arkelin20011"] = product;
  connect(product, &QAction::triggered, this, [this] { Homepage1Click(); });

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  MakeItem(PopupMenu1, "Add2", "Add...", {}, &TMainform::Add1Click);
  MakeItem(PopupMenu1, "Extract2", "Extract...", {}, &TMainform::Extract1Click);
  MakeItem(PopupMenu1, "Delete3", "Delete", {}, &TMainform::Delete1Click);
  MakeItem(PopupMenu1, "View1", "View/edit...", {}, &TMainform::Viewfile1Click);
  MakeItem(PopupMenu1, "Searchfile2", "Search file...", {}, &TMainform::Searchfile1Click);
  PopupMenu1->addSeparator();
  MakeItem(PopupMenu1, "SelectAll1", "Select All", {}, &TMainform::SelectAll2Click);
  MakeItem(PopupMenu1, "DeselectAll1", "Deselect All", {}, &TMainform::DeselectAll2Click);
  PopupMenu1->addSeparator();
  MakeItem(PopupMenu1, "AddzipfiletoF1", "Add archive to favorites", {},
           &TMainform::AddzipfiletoFavorites1Click);
  MakeItem(PopupMenu1, "MakeEXEfile1", "&Make Self Extracting file...", {},
           &TMainform::MakeSelfExtractedfile1Click);
  PopupMenu1->addSeparator();
  MakeItem(PopupMenu1, "Test2", "Test", {}, &TMainform::Test1Click);
  MakeItem(PopupMenu1, "Run1", "Run...", {}, &TMainform::Executefile1Click);
  MakeItem(PopupMenu1, "Install2", "Install...", {}, &TMainform::Install1Click);
}

QToolButton* TMainform::MakeButton(const QString& name, const QString& caption, const QString& image,
                                   void (TMainform::*handler)()) {
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setText(caption);
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setAutoRaise(true);  // flat
  // Image_Off normally, Image_On under the mouse (the Active mode of a raised button).
  QIcon icon;
  icon.addPixmap(QPixmap(QStringLiteral(":/window/off_%1.png").arg(image)), QIcon::Normal);
  icon.addPixmap(QPixmap(QStringLiteral(":/window/on_%1.png").arg(image)), QIcon::Active);
  icon.addPixmap(QPixmap(QStringLiteral(":/window/off_%1.png").arg(image)), QIcon::Disabled);
  b->setIcon(icon);
  b->setIconSize(QSize(32, 32));
  b->setMinimumWidth(48);
  connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
  buttons_[name] = b;
  return b;
}

void TMainform::BuildToolbar() {
  auto* bar = addToolBar(QStringLiteral("ToolBar1"));
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->setMovable(false);
  bu_Open = MakeButton("bu_Open", "Open", "open", &TMainform::Openarchive1Click);
  bu_New = MakeButton("bu_New", "New", "new", &TMainform::Newarchive1Click);
  bu_run = MakeButton("bu_run", "Run", "run", &TMainform::Executefile1Click);
  bu_View = MakeButton("bu_View", "View", "view", &TMainform::Viewfile1Click);
  bu_Add = MakeButton("bu_Add", "Add", "add", &TMainform::Add1Click);
  bu_Extract = MakeButton("bu_Extract", "Extract", "extract", &TMainform::Extract1Click);
  bu_Delete = MakeButton("bu_Delete", "Delete", "delete", &TMainform::Delete1Click);
  bu_Close = MakeButton("bu_Close", "Quit", "quit", &TMainform::Exit1Click);
  for (QToolButton* b : {bu_Open, bu_New, bu_run, bu_View, bu_Add, bu_Extract, bu_Delete, bu_Close})
    bar->addWidget(b);
}

void TMainform::BuildFileList() {
  lw_Files = new QTableView(this);
  lw_Files->setObjectName(QStringLiteral("lw_Files"));
  lw_Files->setModel(model_);
  lw_Files->setSelectionBehavior(QAbstractItemView::SelectRows);
  lw_Files->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lw_Files->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lw_Files->setShowGrid(false);
  lw_Files->setWordWrap(false);
  lw_Files->setIconSize(QSize(16, 16));
  lw_Files->verticalHeader()->hide();
  // Fixed row heights: the view never measures 100,000 rows.
  lw_Files->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  lw_Files->verticalHeader()->setDefaultSectionSize(18);
  lw_Files->horizontalHeader()->setSectionsClickable(true);
  lw_Files->horizontalHeader()->setHighlightSections(false);
  lw_Files->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < FileListModel::ColumnCount; ++c)
    lw_Files->setColumnWidth(c, FileListModel::DefaultColumnWidth(c));
  lw_Files->setContextMenuPolicy(Qt::NoContextMenu);  // the window's pop-up menu takes it
  connect(lw_Files->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int c) { lw_FilesColumnClick(c); });
  // A click anywhere in the list counts the selection, on empty space too.
  lw_Files->viewport()->installEventFilter(this);
  connect(lw_Files, &QAbstractItemView::doubleClicked, this, [this] { lw_FilesDblClick(); });
  setCentralWidget(lw_Files);
  ApplyDateTimeFormats();
  FitColumnsToFont(FileListModel::ColumnCount);
}

void TMainform::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(true);
  Panel3 = new QLabel(this);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  Panel3->setMinimumWidth(160);
  Panel3->setFrameShape(QFrame::Panel);
  Panel3->setFrameShadow(QFrame::Sunken);
  auto* right = new QFrame(this);
  right->setObjectName(QStringLiteral("Panel4Frame"));
  right->setFrameShape(QFrame::Panel);
  right->setFrameShadow(QFrame::Sunken);
  auto* lay = new QHBoxLayout(right);
  lay->setContentsMargins(2, 0, 2, 0);
  Panel4 = new QLabel(right);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  ProgressBar1 = new QProgressBar(right);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setMaximumHeight(14);
  ProgressBar1->hide();
  CancelBut = new QPushButton(right);
  CancelBut->setObjectName(QStringLiteral("CancelBut"));
  CancelBut->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  CancelBut->setFlat(true);
  CancelBut->setToolTip(QStringLiteral("Cancel"));
  CancelBut->setMaximumHeight(16);
  connect(CancelBut, &QPushButton::clicked, this, [this] { CancelButClick(); });
  CancelBut->hide();
  lay->addWidget(Panel4, 1);
  lay->addWidget(ProgressBar1, 1);
  lay->addWidget(CancelBut);
  bar->addWidget(Panel3);
  bar->addWidget(right, 1);
}

// ---- Lookup by component name -----------------------------------------------------

QAction* TMainform::Item(const QString& name) const {
  const auto it = items_.find(name);
  if (it != items_.end()) return it->second;
  // Recent items and their separator are rebuilt; find them in the File menu.
  for (QAction* a : FileMenu->actions())
    if (a->objectName() == name) return a;
  return nullptr;
}

QToolButton* TMainform::Button(const QString& name) const {
  const auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}

// ---- Session ------------------------------------------------------------------------

QString TMainform::IniFileName() { return Q(pf::DataFolder()) + QStringLiteral("Arkelin.ini"); }

QString TMainform::CurrentZipName() const { return engines_->ZipFilename(); }
QString TMainform::CurrentRarName() const { return engines_->ArchiveName(); }

void TMainform::SetTitle(const QString& name) { setWindowTitle(TitlePrefix + QStringLiteral("- ") + name); }

void TMainform::SetCurrentZipName(const QString& name) {
  if (!name.isEmpty() && !ArchiveEngines::HaveZipEngine())
    NotAvailable(QStringLiteral("Reading ZIP archives"));
  engines_->SetZipFilename(name);
}

void TMainform::SetArchiveControls(bool open) {
  for (const char* n : kGroupA)
    if (QAction* a = Item(QString::fromLatin1(n))) a->setEnabled(open);
  for (const char* n : kGroupAButtons)
    if (QToolButton* b = Button(QString::fromLatin1(n))) b->setEnabled(open);
}

void TMainform::SetRarMode(bool rar) {
  for (const char* n : kGroupB)
    if (QAction* a = Item(QString::fromLatin1(n))) a->setEnabled(!rar);
  if (!rar) Item(QStringLiteral("MakeSelfExtractedfile1"))->setEnabled(false);
}

bool TMainform::RefuseForRar() {
  if (!RarMode) return false;
  pf::Dialogs().MessageBox("Arkelin2001 don't support this action on RAR files!", pf::MsgKind::Error,
                           pf::BtnOK);
  return true;
}

void TMainform::SetSelfExtractCaptions(const QString& zipName) {
  const bool exe = ExtensionOf(zipName).toUpper() == QStringLiteral(".EXE");
  const QString caption = exe ? QStringLiteral("Create &ZIP file") : QStringLiteral("&Make Self Extracting file");
  Item(QStringLiteral("MakeSelfExtractedfile1"))->setText(caption);
  Item(QStringLiteral("MakeEXEfile1"))->setText(caption);
}

void TMainform::EnterZipSession(const QString& name) {
  SetRarMode(false);
  RarMode = false;
  SetCurrentZipName(name);
  SetSelfExtractCaptions(name);
  SetTitle(name);
  SetArchiveControls(true);
  RecordRecent(IniFileName(), QStringLiteral("RECENT"), kRecentMax, name);
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
}

void TMainform::EnterRarSession(const QString& name) {
  EmptyList();
  model_->ResetCounters();
  RarMode = true;
  SetArchiveControls(true);
  SetRarMode(true);
  engines_->SetArchiveName(name);
  if (!ArchiveEngines::HaveRarReader())
    NotAvailable(QStringLiteral("Reading RAR archives"));
  else
    engines_->ListFiles();
  ShowTotals();
  SetTitle(name);
  RecordRecent(IniFileName(), QStringLiteral("RECENT"), kRecentMax, name);
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
}

void TMainform::CloseSession() {
  const QString closing = RarMode ? engines_->ArchiveName() : CurrentZipName();
  if (!closing.isEmpty()) RecordRecent(IniFileName(), QStringLiteral("RECENT"), kRecentMax, closing);
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
  SetTitle(QStringLiteral("<none>"));
  Item(QStringLiteral("MakeSelfExtractedfile1"))->setText(QStringLiteral("&Make Self Extracting file"));
  Item(QStringLiteral("MakeEXEfile1"))->setText(QStringLiteral("&Make Self Extracting file"));
  engines_->SetZipFilename(QString());
  SetArchiveControls(false);
  EmptyList();
  MailAttachments.clear();
  Panel3->clear();
  Panel4->clear();
  RarMode = false;
}

void TMainform::RecordRecent(const QString& iniFile, const QString& section, int maxCount,
                             const QString& name) {
  IniSectionFile store(U8(iniFile));
  if (!RecordRecentIn(store, U8(section), maxCount, U8(name)))
    pf::Dialogs().MessageBox("Unable to write to " + U8(iniFile), pf::MsgKind::Error, pf::BtnOK);
}

void TMainform::BuildRecentMenu(QMenu* menu, const QString& iniFile, int maxCount,
                                const QString& section) {
  IniSectionFile store(U8(iniFile));
  const std::vector<std::string> lines = store.SectionLines(U8(section));
  // Remove the old recent items, from the last item down to the separator.
  const QList<QAction*> actions = menu->actions();
  for (qsizetype i = actions.size() - 1; i >= 1; --i) {
    QAction* a = actions[i];
    const QString n = a->objectName();
    if (n == QStringLiteral("Sepp")) {
      menu->removeAction(a);
      a->deleteLater();
      break;
    }
    if (n.startsWith(QStringLiteral("Fil"))) {
      bool ok = false;
      const int idx = n.mid(3).toInt(&ok);
      if (ok && idx < maxCount) {
        menu->removeAction(a);
        a->deleteLater();
      }
    }
  }
  QAction* sep = menu->addSeparator();
  sep->setObjectName(QStringLiteral("Sepp"));
  for (size_t i = 0; i < lines.size(); ++i) {
    const QString line = Q(lines[i]);
    auto* a = new QAction(AsCaption(line), menu);
    a->setObjectName(QStringLiteral("Fil%1").arg(i));
    a->setData(line);
    connect(a, &QAction::triggered, this, [this, a] { RecentItemClick(a); });
    menu->addAction(a);
  }
}

void TMainform::RecentItemClick(QAction* item) {
  if (RefuseWhileBusy()) return;
  const QString line = item->data().toString();
  const int eq = line.indexOf(u'=');
  const QString name = (eq < 0 ? line : line.mid(eq + 1)).left(999);
  if (ExtensionOf(name).toUpper() != QStringLiteral(".RAR"))
    EnterZipSession(name);
  else
    EnterRarSession(name);
}

// ---- File list ------------------------------------------------------------------------

void TMainform::EmptyList() {
  model_->Clear();
  iconByExtension_.clear();
}

int TMainform::IconIndexFor(const QString& entryName) {
  // Rows of one extension share one image.
  const QString key = ExtensionOf(entryName).toLower();
  const auto it = iconByExtension_.find(key);
  if (it != iconByExtension_.end()) return it->second;
  const int idx = model_->AddIcon(engines_->SmallIconFor(entryName));
  iconByExtension_[key] = idx;
  return idx;
}

void TMainform::FillFromZip() {
  model_->ResetCounters();
  iconByExtension_.clear();
  model_->BeginFill();
  model_->Clear();  // inside the fill: one reset for the views
  const int n = engines_->Count();
  for (int i = 0; i < n; ++i) {
    const ListedEntry e = engines_->Entry(i);
    if (NamePart(e.name).isEmpty()) continue;  // folder entry
    model_->AddRow(e.name, e.uncompressed, e.compressed, e.dosDateTime, IconIndexFor(e.name));
  }
  model_->EndFill();
  ShowTotals();
}

void TMainform::AddRarRow(const QString& name, int64_t unpacked, int64_t packed, uint32_t fileTime) {
  if (name.isEmpty()) return;
  model_->AddRow(name, unpacked, packed, fileTime, IconIndexFor(name));
  ShowTotals();
}

void TMainform::ShowTotals() { Panel4->setText(TotalsText(model_->ListedCount(), model_->ListedBytes())); }

void TMainform::CountSelection(int mode) {
  if (mode == 1) lw_Files->selectAll();
  if (mode == 2) lw_Files->clearSelection();
  SelectedCount = 0;
  SelectedBytes = 0;
  const QModelIndexList rows = lw_Files->selectionModel()->selectedRows();
  for (const QModelIndex& r : rows) {
    ++SelectedCount;
    SelectedBytes += model_->CellText(r.row(), FileListModel::ColSize).toLongLong() * 1000;
  }
  Panel3->setText(SelectionText(SelectedCount, SelectedBytes));
}

void TMainform::SortColumn(int column) { model_->SortByColumn(column); }

void TMainform::lw_FilesColumnClick(int column) { SortColumn(column); }
void TMainform::lw_FilesClick() { CountSelection(0); }
void TMainform::lw_FilesDblClick() { Executefile1Click(); }
void TMainform::SelectAll2Click() { CountSelection(1); }
void TMainform::DeselectAll2Click() { CountSelection(2); }

// ---- Settings ---------------------------------------------------------------------------

void TMainform::SetSettings(const IMainSettings* settings) {
  settings_ = settings;
  ApplyDateTimeFormats();
}

const IMainSettings& TMainform::Settings() const { return settings_ ? *settings_ : defaults_; }

void TMainform::ApplyDateTimeFormats() {
  const QString before = model_->StampPattern();
  model_->SetStampPattern(Settings().DateFormat(), Settings().TimeFormat());
  if (model_->StampPattern() != before) FitColumnsToFont(FileListModel::ColModified);
}

// The default widths suit a small dialog font; with the desktop's font a
// column is widened until its title and the widest text it can hold (a
// stamp in the chosen pattern, "100%") fit. Columns are never narrowed.
// Done once at creation, before the stored layout is applied, and for the
// Modified column when the stamp pattern changes.
void TMainform::FitColumnsToFont(int only) {
  const QFontMetrics list = lw_Files->fontMetrics();
  const QFontMetrics head = lw_Files->horizontalHeader()->fontMetrics();
  constexpr int kPadding = 14;  // the view's text margins and the grid line
  // 2028/12/28 22:58:58, wide digits in every field.
  const uint32_t widest = ((48u << 9 | 12u << 5 | 28u) << 16) | (22u << 11 | 58u << 5 | 29u);
  for (int c = 0; c < FileListModel::ColumnCount; ++c) {
    if (only != FileListModel::ColumnCount && c != only) continue;
    int need = head.horizontalAdvance(FileListModel::ColumnCaption(c)) + kPadding + 8;  // and the sort arrow
    if (c == FileListModel::ColModified)
      need = std::max(need, list.horizontalAdvance(ModifiedText(widest, model_->StampPattern())) + kPadding);
    if (c == FileListModel::ColRatio) need = std::max(need, list.horizontalAdvance(QStringLiteral("100%")) + kPadding);
    if (lw_Files->columnWidth(c) < need) lw_Files->setColumnWidth(c, need);
  }
}

void TMainform::SetListColor(const QColor& c) {
  QPalette p = lw_Files->palette();
  p.setColor(QPalette::Base, c);
  lw_Files->setPalette(p);
}

void TMainform::SetGridLines(bool on) { lw_Files->setShowGrid(on); }

void TMainform::ApplyToolbarHints(bool on) {
  static const std::pair<const char*, const char*> kHints[] = {
      {"bu_New", "Create new Zip archive"},        {"bu_Open", "Open zip archive"},
      {"bu_run", "Run selected file"},             {"bu_View", "View selected file"},
      {"bu_Extract", "Extract file(s) from archive"}, {"bu_Add", "Add file(s) to archive"},
      {"bu_Delete", "Delete file(s) from archive"}, {"bu_Close", "Exit Arkelin2001"}};
  for (const auto& [name, hint] : kHints)
    if (QToolButton* b = Button(QString::fromLatin1(name))) b->setToolTip(on ? QString::fromLatin1(hint) : QString());
}

void TMainform::ConfigurationClosed() {
  ApplyDateTimeFormats();
  setAcceptDrops(Settings().AcceptOutside());
}

// ---- Start-up and the command line -------------------------------------------------------

bool TMainform::eventFilter(QObject* watched, QEvent* e) {
  if (lw_Files && watched == lw_Files->viewport() && e->type() == QEvent::MouseButtonRelease) {
    // After the view has handled the release, so the selection is final.
    const bool handled = QMainWindow::eventFilter(watched, e);
    QMetaObject::invokeMethod(this, [this] { lw_FilesClick(); }, Qt::QueuedConnection);
    return handled;
  }
  return QMainWindow::eventFilter(watched, e);
}

void TMainform::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainform::FormActivate() {
  if (!Settings().AcceptOutside()) setAcceptDrops(false);
  if (commandLineHandled_) return;
  commandLineHandled_ = true;
  const QStringList& args = commandLine_;
  if (args.isEmpty()) return;
  // A single ZIP argument opens it; the recent list is not touched.
  if (args.size() == 1 && CurrentZipName().isEmpty() &&
      ExtensionOf(args[0]).toLower() == QStringLiteral(".zip")) {
    SetCurrentZipName(args[0]);
    SetTitle(args[0]);
    SetArchiveControls(true);
    return;
  }
  // Other files are added to a new or the default archive.
  if (CurrentZipName().isEmpty() && ExtensionOf(args[0]).toLower() != QStringLiteral(".zip")) {
    QString name;
    if (Settings().AskZipName()) {
      const auto answer = pf::Dialogs().InputBox("Zipfile", "Name:", "", false);
      if (!answer) return;
      name = Q(*answer);
      if (!name.toLower().contains(QStringLiteral("zip"))) name += QStringLiteral(".ZIP");
    } else {
      name = Settings().DefaultZipName();
    }
    SetCurrentZipName(name);
    SetTitle(name);
  }
  if (!CurrentZipName().isEmpty()) RunAddCommand(args);
}

// ---- Window events ---------------------------------------------------------------------------

void TMainform::closeEvent(QCloseEvent* e) {
  // The engine works inside this window's event loop: closing now would pull
  // the components away under the running command.
  if (EngineBusy()) {
    Panel3->setText(BusyText());
    e->ignore();
    return;
  }
  // Nothing is asked and nothing saved here; the lists are freed.
  Favorites.clear();
  MailAttachments.clear();
  MailBody.clear();
  InstallList1.clear();
  InstallList2.clear();
  e->accept();
}

void TMainform::contextMenuEvent(QContextMenuEvent* e) {
  PopupMenu1->popup(e->globalPos());
  e->accept();
}

void TMainform::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainform::dropEvent(QDropEvent* e) {
  QStringList files;
  for (const QUrl& u : e->mimeData()->urls())
    if (u.isLocalFile()) files << u.toLocalFile();
  e->acceptProposedAction();
  // Handled after the drop has finished, so the desktop is not kept waiting.
  QMetaObject::invokeMethod(this, [this, files] { DropFiles(files); }, Qt::QueuedConnection);
}

// ---- Commands ---------------------------------------------------------------------------------

void TMainform::NotAvailable(const QString& command) {
  pf::Dialogs().MessageBox(U8(command) + " is not available yet.", pf::MsgKind::Information, pf::BtnOK);
}

void TMainform::Openarchive1Click() {
  if (RefuseWhileBusy()) return;
  pf::FileDialogRequest req;
  req.title = "Open archive";
  req.initialDir = U8(Settings().OpenFolder());
  req.filter = "ZIP Files (*.ZIP)|*.ZIP|Arkelin2001 SFX Files (*.EXE)|*.EXE|RAR Files (*.RAR)|*.RAR";
  req.mustExist = true;
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
  if (chosen.empty()) return;
  const QString name = Q(chosen.front());
  MailAttachments.clear();
  if (ExtensionOf(name).toLower() == QStringLiteral(".rar")) {
    EnterRarSession(name);
    return;
  }
  SetRarMode(false);
  RarMode = false;
  // The archive left behind may be a self-extracting program to refresh.
  const QString previous = CurrentZipName();
  const int dot = previous.indexOf(u'.');
  if (dot >= 0 && previous.mid(dot + 1, 3).toLower() == QStringLiteral("exe")) RefreshSelfExtracting(previous);
  ArchiveModified = false;
  QFile::remove(Q(pf::DataFolder()) + QStringLiteral("tmp.tmp"));
  EnterZipSession(name);
}

void TMainform::Closearchive1Click() {
  if (RefuseWhileBusy()) return;
  CloseSession();
}
void TMainform::Exit1Click() { close(); }

void TMainform::Viewfile1Click() {
  if (RefuseForRar()) return;
  NotAvailable(QStringLiteral("View/edit"));
}
void TMainform::Executefile1Click() {
  if (RefuseForRar()) return;
  NotAvailable(QStringLiteral("Run"));
}

void TMainform::RefreshSelfExtracting(const QString&) { NotAvailable(QStringLiteral("Refreshing a self-extracting archive")); }
void TMainform::OpenFavoritesWindow() { NotAvailable(QStringLiteral("Favorite archives")); }

void TMainform::Openspannedarchive1Click() { NotAvailable(QStringLiteral("Open multiple volume archive")); }
void TMainform::Splitarchive1Click() { NotAvailable(QStringLiteral("Create multiple volumes")); }
void TMainform::MakeSelfExtractedfile1Click() { NotAvailable(QStringLiteral("Make Self Extracting file")); }
void TMainform::Multiplefileextracting1Click() { NotAvailable(QStringLiteral("Multiple file extracting")); }
void TMainform::Favoritearchives1Click() { OpenFavoritesWindow(); }
void TMainform::AddzipfiletoFavorites1Click() { NotAvailable(QStringLiteral("Add to Favorites")); }
void TMainform::Searchforarchives1Click() { NotAvailable(QStringLiteral("Search for archive(s)")); }
void TMainform::Searchfile1Click() { NotAvailable(QStringLiteral("Search for file(s)")); }
void TMainform::Install1Click() { NotAvailable(QStringLiteral("Install")); }
void TMainform::Mailarchive1Click() { NotAvailable(QStringLiteral("Mail archive")); }

void TMainform::Configuration1Click() {
  if (!ShowConfiguration) {
    NotAvailable(QStringLiteral("Configuration"));
    return;
  }
  ShowConfiguration();
  ConfigurationClosed();
}

QString TMainform::HomepageAddress() { return QStringLiteral("https://www.tolvaren.example/arkelin2001/"); }

void TMainform::Homepage1Click() { pf::Processes().OpenWithShell(U8(HomepageAddress())); }

void TMainform::About1Click() {
  pf::Dialogs().MessageBoxCaption("About Arkelin", "Arkelin2001\nV 1.01", pf::MsgKind::None, pf::BtnOK);
}

}  // namespace arkelin::window
