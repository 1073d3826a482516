// The configuration window TF_Settings: the program's live settings.
//
// The window is created once, right after the archive window, and lives until
// the program ends. Its controls ARE the settings: other windows read a
// setting from the control (or from the typed accessor of the same name
// below) at the moment they act, never from the file. The window owns the
// settings file "Arkelin.ini" in the program's data folder: loading every key
// into its control, saving them back on "&Ok", the archive window's layout,
// the remembered extract and add folders, and the toolbar hints.
//
// The archive window is reached through AttachMainWindow (its geometry, the
// file list's column widths, colour and grid lines, and the eight toolbar
// buttons found by their object names), so this layer needs nothing from the
// window layer. Everything runs on the user-interface thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QString>
#include <QTabWidget>

#include <cstdint>
#include <functional>
#include <optional>

#include "settings/IniFile.h"

class QAbstractButton;
class QTableView;

namespace arkelin::settings {

// A window-system colour value: an RGB value 0x00BBGGRR, or a reference to a
// system colour (high bit set, the system colour index in the low byte).
using TColor = int32_t;
// The system window colour, the default of COLOR/WINDOW.
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
// The colour a value stands for on this desktop.
QColor ColorToQColor(TColor value);
// The RGB value of a colour chosen in the colour dialog.
TColor QColorToColor(const QColor& c);
// The file list's colour for a stored value: invalid for the system window
// colour (the default), so the list follows the desktop's palette, light or
// dark; the colour itself for one the user chose.
QColor ListColor(TColor value);

// The clickable colour swatch of the "User Interface" page.
class TColorSwatch : public QFrame {
  Q_OBJECT
 public:
  explicit TColorSwatch(QWidget* parent = nullptr);
  TColor Color() const { return color_; }
  void SetColor(TColor c);

 signals:
  void clicked();
  // After every SetColor, with the value now held.
  void colorSet(TColor c);

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
  // A system colour is shown again in the desktop's new palette.
  void changeEvent(QEvent* e) override;

 private:
  TColor color_ = clWindow;
  bool showing_ = false;
};

class TF_Settings : public QDialog {
  Q_OBJECT
 public:
  explicit TF_Settings(QWidget* parent = nullptr);
  ~TF_Settings() override;

  // "Arkelin.ini" in the program's data folder.
  static QString IniFileName();

  // ---- Wiring -------------------------------------------------------------
  // The archive window and its file list. Neither is owned; both may go away
  // first (the layout is then neither applied nor saved).
  void AttachMainWindow(QWidget* mainForm, QTableView* fileList);
  // Opens the favourites window (asked for at start-up by cb_OpenStart).
  std::function<void(TF_Settings& sender)> OnOpenFavorites;
  // Runs after Execute closes the window by either button.
  std::function<void(TF_Settings& sender)> OnClosed;
  // The colour dialog: answers the chosen colour, nullopt when cancelled.
  // Defaults to the toolkit's colour dialog; tests script it.
  std::function<std::optional<QColor>(const QColor& initial)> ChooseColor;

  // ---- Life cycle ---------------------------------------------------------
  // Start-up: LoadSettings, LoadLayout, the graphic viewer fields, and the
  // favourites window when asked for. Call once after AttachMainWindow.
  void FormCreate();
  // Program end: SaveLayout when cb_SaveLayout is checked (a refused write is
  // said in a box, never thrown). Runs at most once; the destructor runs it
  // when the program did not.
  void FormDestroy();
  // The "Configuration..." command: shows the window modally, then lets the
  // archive window accept dropped files exactly when cb_Outside is checked.
  int Execute();

  // ---- Store routines ----------------------------------------------------------
  // Reads every key except LAYOUT, LASTE and LASTA into its control, the four
  // mail copies, and gives the file list its colour and grid lines.
  void LoadSettings();
  // Writes every key from its control, in table order, applies the toolbar
  // hints after BUTTON/TOOLTIP, then LoadSettings. The keys are written
  // together in one replacement of the file; throws EIniWriteError when that
  // is refused, and the file then stays as it was.
  void SaveSettings();
  void LoadLayout();
  void SaveLayout();
  // Gives the eight toolbar buttons their hints (on) or silences them (off;
  // the texts are kept on the button's "arkelinHint" property).
  void ApplyToolbarHints(bool on);
  // Kind "S", "E" or "A". Sets folder and answers true when the kind gives a
  // result; for "S" without one, and for other kinds, folder is left as is.
  bool GetFolderSetting(const QString& kind, QString& folder) const;
  QString GetFolderSetting(const QString& kind) const;
  // Kind "E" or "A": remembers the folder when "Last ... folder" is chosen.
  void StoreLastFolder(const QString& kind, const QString& folder);

  // The hint of a toolbar button by its name ("bu_New"), empty when unknown.
  static QString ToolbarHint(const QString& buttonName);

  // The main window's copies of the mail settings, refreshed from the file
  // (not from the controls) by each LoadSettings. An empty field stays empty:
  // the hints the fields show are never taken for values.
  QString MailServer, MailPort, MailName, MailEmail, MailUser, MailSecurity;

  // ---- Typed views of the live settings (read the controls) ---------------------
  bool AcceptOutside() const { return cb_Outside->isChecked(); }
  bool AskZipName() const { return cb_AskzipName->isChecked(); }
  QString DefaultZipName() const { return ed_Zipname->text(); }
  bool ExternalEditor() const { return rb_External->isChecked(); }
  bool BuiltInEditor() const { return rb_BuiltIn->isChecked(); }
  QString EditorPath() const { return ed_Editor->text(); }
  bool ExternalGraphic() const { return rb_ExtGraphic->isChecked(); }
  bool BuiltInGraphic() const { return rb_BuiltGraphic->isChecked(); }
  QString GraphicPath() const { return ed_Graphic->text(); }
  QString GraphicFormats() const { return ed_Formats->text(); }
  QString InstallNames() const { return ed_Install->text(); }
  bool OpenFavoritesAtStart() const { return cb_OpenStart->isChecked(); }
  bool SaveLayoutAtEnd() const { return cb_SaveLayout->isChecked(); }
  bool PromptAfterAdded() const { return cb_FilesAdded->isChecked(); }
  bool PromptAfterDeleted() const { return cb_AfterDeleted->isChecked(); }
  bool PromptAfterExtracted() const { return cb_AfterExtracted->isChecked(); }
  QString KeepFreeText() const { return FreeDisk1Edit->text(); }
  QString MaxVolSizeText() const { return MaxVolSizeEdit->text(); }
  QString MinFreeVolText() const { return MinFreeVolEdit->text(); }
  bool FormatEachDisk() const { return FormatCB->isChecked(); }
  bool AutoSpan() const { return CheckBox1->isChecked(); }
  TColor WindowColor() const { return pa_WindowColor->Color(); }
  bool GridLines() const { return cb_Vert->isChecked(); }
  bool Tooltips() const { return cb_Tooltip->isChecked(); }
  QString DateFormat() const { return co_DateFormat->currentText(); }
  QString TimeFormat() const { return co_Timeformat->currentText(); }
  bool SaveDirNames() const { return DirNameCB->isChecked(); }
  bool RecurseDirs() const { return RecurseCB->isChecked(); }
  bool ForceDos() const { return CB_ForceDos->isChecked(); }
  bool UseTimestamp() const { return CB_Timestamp->isChecked(); }
  int CompLevel() const { return tb_complevel->value(); }
  // The encryption of added files: 0 traditional, else the AES key length
  // in bits (128, 192, 256).
  int AddAesBits() const;
  // Chooses it in co_Encryption and stores it at once (the Add window's
  // choice), saying a refused write in a box.
  void StoreAddAesBits(int bits);
  QString SmtpServer() const { return ed_Server->text(); }
  QString SmtpPort() const { return ed_Port->text(); }
  QString SmtpUser() const { return ed_User->text(); }
  QString SmtpSecurity() const { return co_Security->currentText(); }
  QString PersonalName() const { return ed_Name->text(); }
  QString PersonalEmail() const { return ed_EMail->text(); }
  QString TempFolder() const { return ed_Temp->text(); }
  // The open dialog's start folder (kind "S"); empty leaves it to the platform.
  QString OpenFolder() const { return GetFolderSetting(QStringLiteral("S")); }

  // ---- Controls (the live settings), by section and key -------------------------
  QTabWidget* PageControl1 = nullptr;
  // DRAG&DROP
  QCheckBox* cb_Outside = nullptr;       // ACCEPTFILES
  QCheckBox* cb_AskzipName = nullptr;    // ASKNAMEBEFORE
  QLineEdit* ed_Zipname = nullptr;       // DEFAULTPATH
  // VIEWER/EDITOR
  QRadioButton* rb_External = nullptr;   // EXTERNAL
  QRadioButton* rb_BuiltIn = nullptr;    // BUILTIN
  QLineEdit* ed_Editor = nullptr;        // EDITORPATH
  // GXVIEW
  QRadioButton* rb_ExtGraphic = nullptr;    // EXTERNAL
  QRadioButton* rb_BuiltGraphic = nullptr;  // FASTVIEW
  QLineEdit* ed_Graphic = nullptr;          // EXTPATH
  QLineEdit* ed_Formats = nullptr;          // FORMATS
  // AVAILABLEINSTALL
  QLineEdit* ed_Install = nullptr;       // FILENAMES
  // MISC
  QCheckBox* cb_OpenStart = nullptr;     // OPENFAVORITES
  QCheckBox* cb_SaveLayout = nullptr;    // SAVELAYOUT
  QCheckBox* cb_FilesAdded = nullptr;    // AFTERADDED
  QCheckBox* cb_AfterDeleted = nullptr;  // AFTERDELETED
  QCheckBox* cb_AfterExtracted = nullptr;  // AFTEREXTRACTED
  // SPANNING
  QLineEdit* FreeDisk1Edit = nullptr;    // KEEPFREE
  QLineEdit* MaxVolSizeEdit = nullptr;   // MAXSIZE
  QLineEdit* MinFreeVolEdit = nullptr;   // MINFREE
  QCheckBox* FormatCB = nullptr;         // FORMAT
  QCheckBox* CheckBox1 = nullptr;        // AUTOSPAN
  // COLOR, GRID, BUTTON, DATETIME
  TColorSwatch* pa_WindowColor = nullptr;  // COLOR/WINDOW
  // Beside the swatch: back to the system window colour, so the lists follow
  // the desktop's palette again. Disabled while the swatch already holds it.
  QPushButton* bu_DesktopColor = nullptr;
  QCheckBox* cb_Vert = nullptr;            // GRID/VERT
  QCheckBox* cb_Tooltip = nullptr;         // BUTTON/TOOLTIP
  QComboBox* co_DateFormat = nullptr;      // DATETIME/DATEFORMAT
  QComboBox* co_Timeformat = nullptr;      // DATETIME/TIMEFORMAT
  // COMPRESSION
  QCheckBox* DirNameCB = nullptr;        // SAVEDIRNAME
  QCheckBox* RecurseCB = nullptr;        // RECURSEDIRS
  QCheckBox* CB_ForceDos = nullptr;      // FORCEMSDOS
  QCheckBox* CB_Timestamp = nullptr;     // TIMESTAMP
  QSlider* tb_complevel = nullptr;       // LEVEL
  QComboBox* co_Encryption = nullptr;    // ENCRYPTION: 0 traditional, 128, 192, 256 AES
  // SMTP, PERSONAL
  QLineEdit* ed_Server = nullptr;        // SMTP/SERVER
  QLineEdit* ed_Port = nullptr;          // SMTP/PORT
  QLineEdit* ed_User = nullptr;          // SMTP/USER (login name; empty: none)
  QComboBox* co_Security = nullptr;      // SMTP/SECURITY: none, starttls, tls
  QLineEdit* ed_Name = nullptr;          // PERSONAL/NAME
  QLineEdit* ed_EMail = nullptr;         // PERSONAL/EMAIL
  // FOLDERS
  QLineEdit* ed_StartUp = nullptr;       // STARTUP
  QRadioButton* rb_WinDef = nullptr;     // STARTWIN
  QRadioButton* rb_OtherWin = nullptr;   // OTHERWIN
  QLineEdit* ed_Extract = nullptr;       // EXTRACT
  QRadioButton* rb_Extr = nullptr;       // LASTEXTR
  QRadioButton* rb_OtherExtr = nullptr;  // OTHEREXTR
  QLineEdit* ed_Add = nullptr;           // ADD
  QRadioButton* rb_Last = nullptr;       // LASTADD
  QRadioButton* rb_OtherLast = nullptr;  // OTHERADD
  QLineEdit* ed_Temp = nullptr;          // TEMP

  // The "..." buttons, beside their fields.
  QPushButton *bu_StartUp = nullptr, *bu_Extract = nullptr, *bu_Add = nullptr,
              *bu_Temp = nullptr, *bu_Zipname = nullptr, *bu_Editor = nullptr,
              *bu_Graphic = nullptr;
  QPushButton* bu_Ok = nullptr;
  QPushButton* bu_Cancel = nullptr;

  // ---- Handlers -----------------------------------------------------------------
  void bu_OkClick();
  void bu_CancelClick();
  void pa_WindowColorClick();
  void bu_DesktopColorClick();
  // Leaving ed_Editor, ed_Graphic or ed_Formats.
  void ViewerPathExit();
  // A "..." button: browse for the folder (or program) of its field.
  void BrowseClick(QLineEdit* field, const QString& title, bool program);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildWindow();
  QWidget* BuildUserInterfacePage();
  QWidget* BuildFoldersPage();
  QWidget* BuildSystemPage();
  QWidget* BuildLocationsPage();
  QWidget* BuildZipEmailPage();
  QWidget* BuildMultiDiskPage();
  void PairRadios(QRadioButton* a, QRadioButton* b);
  void SetGraphicFieldsEnabled(bool on);
  void SetAesChoice(int bits);
  void ApplyListLook();
  QList<QAbstractButton*> ToolbarButtons() const;

  QPointer<QWidget> mainForm_;
  QPointer<QTableView> fileList_;
  bool destroyed_ = false;
};

}  // namespace arkelin::settings
