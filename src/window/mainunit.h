// The archive window: the program's main window.
//
// TMainform shows one archive at a time (a ZIP file, a self-extracting ZIP
// program whose name ends in ".EXE", or a RAR file) as a list of entries, and
// owns the archive session: which archive is current and of which kind, the
// title, which commands are enabled, the command line and the recently used
// archives. Other windows change the session only through the routines
// EnterZipSession, EnterRarSession, CloseSession, SetArchiveControls,
// SetRarMode, RefuseForRar, RecordRecent and BuildRecentMenu.
//
// The window holds the ZIP engine ZipMaster1, the RAR reader rar and the
// file-type icon finder for the whole run. The list lw_Files is a table view
// over FileListModel; the totals go to Panel4 and the selection count to
// Panel3. Settings are read through IMainSettings at the moment they are
// needed. Everything runs on the user-interface thread.
//
// The handlers keep their menu names and forward to command units by family
// (ArchiveFileCommands, EntryCommands, ViewCommands, SfxVolumeCommands,
// ToolsCommands, MailCommands), which are friends of the window. Commands
// whose windows are not built yet answer through NotAvailable() with a clear
// message instead of acting.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QToolButton>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/RARArc.h"
#include "engine/zip/ZipMstr.h"
#include "settings/Favorites.h"
#include "window/FileListModel.h"
#include "window/MainSettings.h"
#include "window/ProgressMeter.h"

class QAction;

namespace arkelin::window {

class ArchiveEngines;  // the ZIP engine, the RAR reader and the icon finder
class TAddForm;
class ArchiveFileCommands;
class EntryCommands;
class ViewCommands;
class SfxVolumeCommands;
class ToolsCommands;
class MailCommands;
class DragOut;

class TMainform : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainform(QWidget* parent = nullptr);
  ~TMainform() override;

  // ---- Archive session ------------------------------------------------------
  // "Arkelin2001Free " (with the trailing blank)
  QString TitlePrefix;
  bool RarMode = false;
  bool ArchiveModified = false;
  // 1 while the Add window is open (decides what a file drop does).
  int AddWindowTag = 0;
  // Chosen when a new archive is created: 0 no spanning, 1 spanning with
  // formatting, 2 spanning without.
  int SpanningMode = 0;
  // The string lists of the window; freed when it closes. InstallList1
  // holds the install candidates while Install runs.
  QStringList MailAttachments, MailBody, InstallList1, InstallList2;
  // The favourite archives (Favorites.lst), loaded when the window is made.
  settings::TFavorites Favorites;

  // Enables (open) or disables every command that needs an archive.
  void SetArchiveControls(bool open);
  // Disables (rar) or enables the commands that change a ZIP archive.
  void SetRarMode(bool rar);
  // In a RAR session, shows the refusal and answers true.
  bool RefuseForRar();
  // Moves name to the top of the recent list in the given INI file.
  void RecordRecent(const QString& iniFile, const QString& section, int maxCount,
                    const QString& name);
  // Rebuilds the recent items at the end of the File menu.
  void BuildRecentMenu(QMenu* menu, const QString& iniFile, int maxCount, const QString& section);
  void EnterZipSession(const QString& name);
  void EnterRarSession(const QString& name);
  void CloseSession();

  // The current ZIP name (the engine's ZipFilename) and RAR name.
  QString CurrentZipName() const;
  QString CurrentRarName() const;
  // "Arkelin.ini" in the program's data folder; section "RECENT", 5 entries.
  static QString IniFileName();
  static constexpr int kRecentMax = 5;

  // ---- File list ------------------------------------------------------------------
  FileListModel& Model() { return *model_; }
  int64_t ListedCount() const { return model_->ListedCount(); }
  int64_t ListedBytes() const { return model_->ListedBytes(); }
  int64_t SelectedCount = 0;
  int64_t SelectedBytes = 0;
  // Refills the list from the ZIP engine's directory.
  void FillFromZip();
  // Adds one listed RAR entry and refreshes the totals.
  void AddRarRow(const QString& name, int64_t unpacked, int64_t packed, uint32_t fileTime,
                 bool encrypted = false);
  void ShowTotals();
  // mode 0: count only, 1: select all, 2: deselect all.
  void CountSelection(int mode);
  // Sorts the rows for a click on column.
  void SortColumn(int column);
  // The small-icon index for an entry name (images shared per extension).
  int IconIndexFor(const QString& entryName);

  // ---- Start-up, command line, settings ------------------------------------------
  // The arguments after the program name, handled once: when the window is
  // first shown (a desktop may never give a new window the focus) or first
  // activated, whichever comes first.
  void SetCommandLine(const QStringList& args) { commandLine_ = args; }
  // Runs once: the first activation of the window handles the command line.
  void FormActivate();
  bool CommandLineHandled() const { return commandLineHandled_; }
  // The live settings; the window does not own them. Null restores defaults.
  void SetSettings(const IMainSettings* settings);
  const IMainSettings& Settings() const;
  // The list's background colour (invalid: the desktop's palette, followed
  // as it changes) and grid lines (set by the configuration).
  void SetListColor(const QColor& c);
  void SetGridLines(bool on);
  // Toolbar hints: on gives the eight buttons their hints.
  void ApplyToolbarHints(bool on);
  // The toolbar images in the variant for the palette in force (light or
  // dark ground); run when the palette changes.
  void ApplyToolbarImages();
  // Re-applies the date and time formats to the Modified column.
  void ApplyDateTimeFormats();
  // A configuration window has closed: accept drops exactly when allowed.
  void ConfigurationClosed();
  // Shown by Configuration...; installed by the program at start-up.
  std::function<void()> ShowConfiguration;

  // The names the last Add command was started with (command line).
  QStringList LastAddRequest;
  // Shows "<command> is not available yet." (information box).
  void NotAvailable(const QString& command);

  // ---- Engines -----------------------------------------------------------------------
  engine::zip::TZipMaster& ZipMaster1();
  engine::rar::TRAR& rar();

  // ---- Progress, messages and cancel ------------------------------------------------
  // The ZIP engine's progress: the right panel shows the file, the bar the
  // files and bytes done of the whole command (ProgressMeter), repainted at
  // most about 20 times a second; pending messages run every 10 ms.
  void ZipMaster1Progress(engine::zip::ProgressType type, const QString& fileName, int64_t fileSize);
  // Codes above 0 are shown as "Error message from DLL: " + message.
  void ZipMaster1Message(int errCode, const QString& message);
  // Stops the running engine command (add, delete, extract or test).
  void CancelButClick();
  // Shows (on: empty, the meter reset) or hides the bar and Cancel. While it
  // shows, the message pump is rationed (RationedPump) unless told not to.
  void ShowProgress(bool on, bool rationPump = true);
  // Non-zero while a self-extracting refresh copies data.
  int CancelTag = 0;
  // True once Cancel was pressed during the running (or last) engine command.
  bool CancelRequested() const { return cancelRequested_; }
  // True while an engine command or another long command (one that lets
  // events run, such as Copy archive) runs; a second one is refused meanwhile.
  bool EngineBusy() const { return engineDepth_ > 0; }
  // The boundary of everything the user starts (menu items, toolbar buttons,
  // recent items, drops, the command line): while a long command runs and
  // refuseWhileBusy is set, the busy text is shown instead; and no exception
  // leaves into the event loop: its text is shown in a box, the window goes on.
  void RunGuarded(const std::function<void()>& handler, bool refuseWhileBusy = true);
  static QString BusyText();
  // Entries extracted by the running RAR extraction.
  int RarExtractedFiles = 0;

  // ---- Add and drop ----------------------------------------------------------------------
  // The names dropped while no Add window is open, waiting for the add.
  QStringList DropList;
  // The shell drop handler: files dropped on the archive window or the Add window.
  void DropFiles(const QStringList& names);
  // The Add window while the Add command shows it.
  TAddForm* AddForm() const;
  // Rows dragged out of the list to a file manager (see DragOut).
  DragOut& DragOutCommand() { return *dragOut_; }

  // ---- Components (named as in the rest of the program) ----------------------
  QTableView* lw_Files = nullptr;
  QLabel* Panel3 = nullptr;
  QLabel* Panel4 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* CancelBut = nullptr;
  QMenu* FileMenu = nullptr;
  QMenu* ActionsMenu = nullptr;
  QMenu* MiscMenu = nullptr;
  QMenu* NameEncoding1 = nullptr;  // Misc > Name encoding (NameEncodingMenu.h)
  QMenu* HelpMenu = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QToolButton *bu_Open = nullptr, *bu_New = nullptr, *bu_run = nullptr, *bu_View = nullptr,
              *bu_Add = nullptr, *bu_Extract = nullptr, *bu_Delete = nullptr, *bu_Close = nullptr;
  // Menu items by component name ("Closearchive1", "Add2", "Fil0", ...).
  QAction* Item(const QString& name) const;
  QToolButton* Button(const QString& name) const;

  // ---- Handlers ----------------------------------------------------------------------
  // A code page picked under Misc > Name encoding: remembered for the open
  // ZIP archive, which is listed again with it.
  void NameEncodingChosen(int encoding);
  void Newarchive1Click();
  void Openarchive1Click();
  void Openspannedarchive1Click();
  void Closearchive1Click();
  void Savearchiveas1Click();
  void Copyarchive1Click();
  void Delete2Click();
  void Archiveinformation1Click();
  void Splitarchive1Click();
  void MakeSelfExtractedfile1Click();
  void Multiplefileextracting1Click();
  void Favoritearchives1Click();
  void AddzipfiletoFavorites1Click();
  void Searchforarchives1Click();
  void Exit1Click();
  void Add1Click();
  void Extract1Click();
  void Delete1Click();
  void Viewfile1Click();
  void SelectAll2Click();
  void DeselectAll2Click();
  void Searchfile1Click();
  void Test1Click();
  void Changepassword1Click();
  void Executefile1Click();
  void Install1Click();
  void Configuration1Click();
  void Mailarchive1Click();
  void Homepage1Click();
  void About1Click();
  void RecentItemClick(QAction* item);
  void lw_FilesColumnClick(int column);
  void lw_FilesClick();
  void lw_FilesDblClick();

  // Routines of commands built later.
  void RunAddCommand(const QStringList& prefill);
  void RefreshSelfExtracting(const QString& name);
  void OpenFavoritesWindow();

  static QString HomepageAddress();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // Widens list columns whose title or widest text does not fit the font
  // (one column, or all when given ColumnCount).
  void FitColumnsToFont(int only);

 public:
  // The first size of the window: every column of the list in view.
  QSize DefaultSize() const;
  // Widens the Filename column to the longest caption listed (within a limit).
  void FitNameColumn();

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildStatusBar();
  void BuildFileList();
  QAction* MakeItem(QMenu* menu, const QString& name, const QString& caption,
                    const QKeySequence& shortcut, void (TMainform::*handler)());
  QToolButton* MakeButton(const QString& name, const QString& caption, const QString& image,
                          void (TMainform::*handler)());
  void SetTitle(const QString& name);
  void SetSelfExtractCaptions(const QString& zipName);
  void SetCurrentZipName(const QString& name);
  // Steps 1 to 4 of EnterRarSession: the RAR session, the listing, the title.
  void ListRarArchive(const QString& name);
  void EmptyList();
  void WireEngineEvents();
  // Shows "busy" in the left panel and answers true while an engine command runs.
  bool RefuseWhileBusy();
  // The selected rows, in list order.
  QList<int> SelectedRowIndexes() const;
  void ShowWarning(const QString& text);
  void ShowInformation(const QString& text);

  friend struct EngineScope;
  friend class ArchiveFileCommands;
  friend class EntryCommands;
  friend class ViewCommands;
  friend class SfxVolumeCommands;
  friend class ToolsCommands;
  friend class MailCommands;
  friend class DragOut;
  friend class FavoritesCommands;
  friend class InstallCommands;
  friend class SearchCommands;
  int engineDepth_ = 0;
  bool cancelRequested_ = false;
  ProgressMeter meter_;
  RationedPump pumpRation_{meter_};  // in force while the progress bar shows
  // Shows the meter when a repaint is due (or final) and pumps when due.
  void MeterChanged(bool final);
  TAddForm* addForm_ = nullptr;

  FileListModel* model_ = nullptr;
  std::unique_ptr<ArchiveEngines> engines_;
  std::unique_ptr<ArchiveFileCommands> archiveFile_;
  std::unique_ptr<EntryCommands> entries_;
  std::unique_ptr<ViewCommands> view_;
  std::unique_ptr<SfxVolumeCommands> sfxVolume_;
  std::unique_ptr<ToolsCommands> tools_;
  std::unique_ptr<MailCommands> mail_;
  std::unique_ptr<DragOut> dragOut_;
  std::string dragPassword_;  // asked before a drag of encrypted RAR entries
  std::map<QString, QAction*> items_;
  std::map<QString, QToolButton*> buttons_;
  std::map<QString, int> iconByExtension_;
  DefaultMainSettings defaults_;
  const IMainSettings* settings_ = nullptr;
  QStringList commandLine_;
  bool commandLineHandled_ = false;
  bool commandLineQueued_ = false;
  QString rarName_;
};

}  // namespace arkelin::window
