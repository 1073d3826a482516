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
#include "shared/widgets/ListColors.h"
#include "window/ArchiveEngines_p.h"
#include "window/ArchiveFileCommands.h"
#include "window/ArchiveKind.h"
#include "window/DragOut.h"
#include "window/CommandSupport_p.h"
#include "window/EntryCommands.h"
#include "window/MailCommands.h"
#include "window/SfxVolumeCommands.h"
#include "window/ToolsCommands.h"
#include "window/WindowImages.h"
#include "window/ViewCommands.h"
#include "window/NameEncodingMenu.h"
#include "window/Addunit.h"
#include "window/RecentIni.h"
#include "window/RecentList.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {

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
    "Delete1", "Viewfile1", "SelectAll2", "DeselectAll2", "Searchfile1", "Test1", "Changepassword1",
    "Executefile1", "Install1", "Add2", "Extract2", "Delete3", "View1", "Searchfile2",
    "SelectAll1", "DeselectAll1", "AddzipfiletoF1", "MakeEXEfile1", "Test2", "Run1", "Install2"};
const char* const kGroupAButtons[] = {"bu_Extract", "bu_run", "bu_View", "bu_Add", "bu_Delete"};
const char* const kGroupB[] = {"Splitarchive1", "MakeSelfExtractedfile1", "Add1", "Delete1",
                               "Viewfile1", "Executefile1", "Install1", "Add2", "Delete3",
                               "MakeEXEfile1", "Run1", "Install2", "Changepassword1"};

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
    : QMainWindow(parent),
      model_(new FileListModel(this)),
      engines_(std::make_unique<ArchiveEngines>()),
      archiveFile_(std::make_unique<ArchiveFileCommands>(*this)),
      entries_(std::make_unique<EntryCommands>(*this)),
      view_(std::make_unique<ViewCommands>(*this)),
      sfxVolume_(std::make_unique<SfxVolumeCommands>(*this)),
      tools_(std::make_unique<ToolsCommands>(*this)),
      mail_(std::make_unique<MailCommands>(*this)),
      dragOut_(std::make_unique<DragOut>(*this)) {
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
  // A list file that cannot be made is said by the first add that writes it.
  try {
    Favorites.Load();
  } catch (const std::exception&) {
  }
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
  engines_->SetDLLDirectory(Q(pf::EngineFolder()));
  engines_->SetOwnImages(FileTypeImage(QStringLiteral("large_default"), 32),
                         FileTypeImage(QStringLiteral("small_default"), 16),
                         FileTypeImage(QStringLiteral("large_exe"), 32), FileTypeImage(QStringLiteral("small_exe"), 16),
                         FileTypeImage(QStringLiteral("large_noext"), 32),
                         FileTypeImage(QStringLiteral("small_noext"), 16));
  WireEngineEvents();
  engines_->OnDirUpdate = [this] { FillFromZip(); };
  engines_->OnListFile = [this](const ListedEntry& e) {
    AddRarRow(e.name, e.uncompressed, e.compressed, e.dosDateTime, e.encrypted);
  };
  // Every column of the list shows with the desktop's font; a stored
  // layout applies afterwards.
  resize(DefaultSize());
  move(300, 100);
}

TMainform::~TMainform() = default;

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
  Panel3->clear();
  SetRarMode(false);
  RarMode = false;
  ZipMaster1().NameCodePage = RememberedNameEncoding(IniFileName(), name);
  ShowNameEncoding(NameEncoding1, ZipMaster1().NameCodePage);
  SetCurrentZipName(name);
  SetSelfExtractCaptions(name);
  SetTitle(name);
  SetArchiveControls(true);
  RecordRecent(IniFileName(), QStringLiteral("RECENT"), kRecentMax, name);
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
}

void TMainform::EnterRarSession(const QString& name) {
  ListRarArchive(name);
  RecordRecent(IniFileName(), QStringLiteral("RECENT"), kRecentMax, name);
  BuildRecentMenu(FileMenu, IniFileName(), kRecentMax, QStringLiteral("RECENT"));
}

void TMainform::ListRarArchive(const QString& name) {
  Panel3->clear();
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
  FitNameColumn();
  SetTitle(name);
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
  store.BeginUpdate();
  const bool recorded = RecordRecentIn(store, U8(section), maxCount, U8(name));
  if (!store.EndUpdate() || !recorded)
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
    connect(a, &QAction::triggered, this, [this, a] { RunGuarded([this, a] { RecentItemClick(a); }); });
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
    model_->AddRow(e.name, e.uncompressed, e.compressed, e.dosDateTime, IconIndexFor(e.name), e.encrypted);
  }
  model_->EndFill();
  ShowTotals();
  FitNameColumn();
}

void TMainform::AddRarRow(const QString& name, int64_t unpacked, int64_t packed, uint32_t fileTime,
                          bool encrypted) {
  if (name.isEmpty()) return;
  model_->AddRow(name, unpacked, packed, fileTime, IconIndexFor(name), encrypted);
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
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) RunGuarded([this] { FormActivate(); }, false);
  // The desktop switched between light and dark: the colour the list was
  // last given (by the configuration) is shown again, a chosen one with its
  // text chosen against the new palette.
  if (lw_Files && (e->type() == QEvent::PaletteChange || e->type() == QEvent::ApplicationPaletteChange)) {
    shared::ShowListColorAgain(lw_Files);
    ApplyToolbarImages();
  }
}

void TMainform::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // Handled after the show has finished, so the window is on screen when a
  // question about the command line comes up.
  if (commandLineHandled_ || commandLineQueued_) return;
  commandLineQueued_ = true;
  QMetaObject::invokeMethod(this, [this] { RunGuarded([this] { FormActivate(); }, false); }, Qt::QueuedConnection);
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
  // A single argument that is an archive by its content (a RAR archive, a
  // self-extracting program, a ZIP under another name: what a file manager
  // hands over) opens the same way; the recent list is not touched either.
  if (args.size() == 1 && CurrentZipName().isEmpty()) {
    const ArchiveKind kind = DetectArchiveKind(args[0]);
    if (kind == ArchiveKind::Zip) {
      SetRarMode(false);
      RarMode = false;
      SetCurrentZipName(args[0]);
      SetSelfExtractCaptions(args[0]);
      SetTitle(args[0]);
      SetArchiveControls(true);
      return;
    }
    if (kind == ArchiveKind::Rar) {
      ListRarArchive(args[0]);
      return;
    }
  }
  // Other files are added to a new or the default archive.
  if (CurrentZipName().isEmpty() && ExtensionOf(args[0]).toLower() != QStringLiteral(".zip")) {
    QString name;
    if (Settings().AskZipName()) {
      const auto answer = pf::Dialogs().InputBox("Zipfile", "Name:", "", false);
      if (!answer) return;
      name = Q(*answer);
      if (ExtensionOf(name).toLower() != QStringLiteral(".zip")) name += QStringLiteral(".ZIP");
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
  Favorites.Clear();
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
  // Rows dragged from this window's own list are no files to add.
  if (e->mimeData()->hasFormat(DragOutData::OwnFormat())) {
    e->ignore();
    return;
  }
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainform::dropEvent(QDropEvent* e) {
  if (e->mimeData()->hasFormat(DragOutData::OwnFormat())) {
    e->ignore();
    return;
  }
  QStringList refused;
  const QStringList files = LocalFilesOf(e->mimeData(), &refused);
  e->acceptProposedAction();
  SayRefusedDrops(refused);
  if (files.isEmpty()) return;
  // Handled after the drop has finished, so the desktop is not kept waiting.
  QMetaObject::invokeMethod(this, [this, files] { RunGuarded([this, files] { DropFiles(files); }); }, Qt::QueuedConnection);
}

// ---- Commands ---------------------------------------------------------------------------------

void TMainform::NotAvailable(const QString& command) {
  pf::Dialogs().MessageBox(U8(command) + " is not available yet.", pf::MsgKind::Information, pf::BtnOK);
}

// ---- Handlers: each forwards to its family's command unit ----------------------------------

void TMainform::Newarchive1Click() { archiveFile_->New(); }
void TMainform::Openarchive1Click() { archiveFile_->Open(); }
void TMainform::Closearchive1Click() {
  if (RefuseWhileBusy()) return;
  CloseSession();
}
void TMainform::Savearchiveas1Click() { archiveFile_->SaveAs(); }
void TMainform::Copyarchive1Click() { archiveFile_->Copy(); }
void TMainform::Delete2Click() { archiveFile_->DeleteArchive(); }
void TMainform::Archiveinformation1Click() { archiveFile_->Properties(); }
void TMainform::Exit1Click() { close(); }

void TMainform::Add1Click() {
  if (RefuseWhileBusy()) return;
  RunAddCommand({});
}
void TMainform::RunAddCommand(const QStringList& prefill) { entries_->Add(prefill); }
void TMainform::DropFiles(const QStringList& names) { entries_->DropFiles(names); }
void TMainform::Extract1Click() { entries_->Extract(); }
void TMainform::Test1Click() { entries_->Test(); }
void TMainform::Changepassword1Click() { entries_->ChangePassword(); }
void TMainform::Delete1Click() { entries_->Delete(); }

void TMainform::Viewfile1Click() { view_->View(); }
void TMainform::Executefile1Click() { view_->Run(); }

void TMainform::Openspannedarchive1Click() { sfxVolume_->OpenVolumes(); }
void TMainform::Splitarchive1Click() { sfxVolume_->CreateVolumes(); }
void TMainform::MakeSelfExtractedfile1Click() { sfxVolume_->MakeSelfExtracting(); }
void TMainform::RefreshSelfExtracting(const QString& name) { sfxVolume_->Refresh(name); }

void TMainform::Multiplefileextracting1Click() { tools_->MultipleFileExtracting(); }
void TMainform::Favoritearchives1Click() { tools_->FavoriteArchives(); }
void TMainform::AddzipfiletoFavorites1Click() { tools_->AddToFavorites(); }
void TMainform::OpenFavoritesWindow() { tools_->OpenFavoritesWindow(); }
void TMainform::Searchforarchives1Click() { tools_->SearchArchives(); }
void TMainform::Searchfile1Click() { tools_->SearchFiles(); }
void TMainform::Install1Click() { tools_->Install(); }

void TMainform::Mailarchive1Click() { mail_->MailArchive(); }

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

