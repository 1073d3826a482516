// The archive window's menus, toolbar, file list and status bar, and the
// look of the list (column widths, colours, date formats, hints). Part of
// TMainform; see mainunit.h.
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "platform/Platform.h"
#include "settings/IniFile.h"
#include "shared/widgets/ListColors.h"
#include "window/CommandSupport_p.h"
#include "window/DragOut.h"
#include "window/NameEncodingMenu.h"
#include "window/WindowImages.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {
// The file list: rows dragged out of it go through the window's DragOut.
class FileListView : public QTableView {
 public:
  using QTableView::QTableView;
  std::function<void()> OnStartDrag;

 protected:
  void startDrag(Qt::DropActions) override {
    if (OnStartDrag) OnStartDrag();
  }
};
}  // namespace

QAction* TMainform::MakeItem(QMenu* menu, const QString& name, const QString& caption,
                             const QKeySequence& shortcut, void (TMainform::*handler)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  if (handler) connect(a, &QAction::triggered, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
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
  MakeItem(ActionsMenu, "Changepassword1", "Change &password...", {}, &TMainform::Changepassword1Click);
  MakeItem(ActionsMenu, "Executefile1", "&Run...", QKeySequence("Ctrl+U"), &TMainform::Executefile1Click);
  // Ctrl+F1 belongs to "Favorite archives..." as well, which comes first in
  // the menus and takes the key; here it is only shown.
  QAction* install = MakeItem(ActionsMenu, "Install1", "&Install...", {}, &TMainform::Install1Click);
  install->setText(QStringLiteral("&Install...\tCtrl+F1"));

  MiscMenu = bar->addMenu(QStringLiteral("&Misc"));
  MiscMenu->setObjectName(QStringLiteral("Misc1"));
  MakeItem(MiscMenu, "Configuration1", "Config&uration...", {}, &TMainform::Configuration1Click);
  MakeItem(MiscMenu, "Mailarchive1", "&Mail archive...", {}, &TMainform::Mailarchive1Click);
  NameEncoding1 = BuildNameEncodingMenu(MiscMenu, [this](int e) { RunGuarded([this, e] { NameEncodingChosen(e); }); });

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
  connect(product, &QAction::triggered, this, [this] { RunGuarded([this] { Homepage1Click(); }); });

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
  // Image_Off normally, Image_On under the mouse (the Active mode of a raised
  // button), in the variant for the desktop's ground.
  b->setProperty("arkelinImage", image);
  b->setIcon(ToolbarIcon(image, DarkGround(palette())));
  b->setIconSize(QSize(32, 32));
  b->setMinimumWidth(48);
  connect(b, &QToolButton::clicked, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
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
  auto* list = new FileListView(this);
  list->OnStartDrag = [this] { RunGuarded([this] { dragOut_->Start(); }); };
  lw_Files = list;
  // Rows can be dragged out (to a file manager); nothing is dropped on the list.
  lw_Files->setDragEnabled(true);
  lw_Files->setDragDropMode(QAbstractItemView::DragOnly);
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
  // The header reaches across the whole list.
  lw_Files->horizontalHeader()->setStretchLastSection(true);
  lw_Files->setContextMenuPolicy(Qt::NoContextMenu);  // the window's pop-up menu takes it
  connect(lw_Files->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int c) { RunGuarded([this, c] { lw_FilesColumnClick(c); }); });
  // A click anywhere in the list counts the selection, on empty space too.
  lw_Files->viewport()->installEventFilter(this);
  connect(lw_Files, &QAbstractItemView::doubleClicked, this, [this] { RunGuarded([this] { lw_FilesDblClick(); }); });
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

// ---- Look of the list --------------------------------------------------------------

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

QSize TMainform::DefaultSize() const {
  int columns = 0;
  for (int c = 0; c < FileListModel::ColumnCount; ++c) columns += lw_Files->columnWidth(c);
  // The list's frame and a vertical scroll bar beside the columns.
  const int width = columns + 2 * lw_Files->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
  return QSize(std::max(456, width), std::max(361, sizeHint().height()));
}

void TMainform::FitNameColumn() {
  // Wide enough for the longest caption, within a limit; never narrower
  // than the title needs.
  constexpr int kLimit = 420;
  constexpr int kIconAndPadding = 16 + 20;
  const QFontMetrics fm = lw_Files->fontMetrics();
  int longest = 0;
  const int n = model_->RowCountValue();
  // Measuring 100,000 names costs; the longest few by characters decide.
  int longestChars = 0;
  for (int r = 0; r < n; ++r) longestChars = std::max<int>(longestChars, model_->Row(r).caption.size());
  for (int r = 0; r < n; ++r) {
    const QString& c = model_->Row(r).caption;
    if (c.size() * 2 < longestChars) continue;
    longest = std::max(longest, fm.horizontalAdvance(c));
    if (longest + kIconAndPadding >= kLimit) break;
  }
  const int want = std::min(kLimit, longest + kIconAndPadding);
  if (lw_Files->columnWidth(FileListModel::ColFilename) < want) lw_Files->setColumnWidth(FileListModel::ColFilename, want);
}

void TMainform::SetListColor(const QColor& c) { shared::ShowListColor(lw_Files, c); }

void TMainform::SetGridLines(bool on) { lw_Files->setShowGrid(on); }

void TMainform::ApplyToolbarImages() {
  const bool dark = DarkGround(palette());
  for (const auto& [name, b] : buttons_) b->setIcon(ToolbarIcon(b->property("arkelinImage").toString(), dark));
}

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

void TMainform::NameEncodingChosen(int encoding) {
  ShowNameEncoding(NameEncoding1, ZipMaster1().NameCodePage);
  if (RefuseWhileBusy()) return;
  ZipMaster1().NameCodePage = encoding;
  ShowNameEncoding(NameEncoding1, encoding);
  const QString name = CurrentZipName();
  if (RarMode || name.isEmpty()) return;
  try {
    RememberNameEncoding(IniFileName(), name, encoding);
  } catch (const settings::EIniWriteError& e) {
    // Not remembered, but used for this session.
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
  SetCurrentZipName(name);
}

}  // namespace arkelin::window
