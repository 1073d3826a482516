// The configuration window: defaults on a first start, the load/save round
// trip through Arkelin.ini, radio pairs and coupled boxes, folder settings,
// layout, toolbar hints, refused writes, Cancel, the browse buttons and the
// colour swatch. Runs offscreen with scripted dialogs; every test has its own
// data folder.
#include <QtTest>

#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/u_settings.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::settings;
namespace pf = arkelin::platform;

namespace {

const char* const kButtons[] = {"bu_Open", "bu_New", "bu_run", "bu_View",
                                "bu_Add", "bu_Extract", "bu_Delete", "bu_Close"};

// A stand-in for the archive window: eight named toolbar buttons and a file
// list with six columns.
struct FakeMain {
  QWidget window;
  QTableView* list = nullptr;
  QStandardItemModel model{0, 6};
  FakeMain() {
    window.setObjectName("Mainform");
    for (const char* n : kButtons) {
      auto* b = new QToolButton(&window);
      b->setObjectName(n);
    }
    list = new QTableView(&window);
    list->setObjectName("lw_Files");
    list->setModel(&model);
  }
  QToolButton* Button(const char* n) { return window.findChild<QToolButton*>(n); }
};

QString HomeRoot() { return QString::fromStdString(pf::MapDefaultPath("C:\\")); }

}  // namespace

class SettingsWindowTest : public SessionTestBase {
  Q_OBJECT
 private:
  QString Ini() const { return dir_->path() + "/Arkelin.ini"; }
  TIniFile Store() const { return TIniFile(Ini().toStdString()); }
  void Write(const QByteArray& text) {
    QFile f(Ini());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray Read() const { return ReadFile(Ini()); }

 private slots:
  void init();
  void cleanup();

  void firstStartShowsDefaultsAndDefaultLayout();
  void pagesCaptionsAndHints();
  void saveWritesEveryKeyInOrderAndLoadsItBack();
  void systemColourIsWrittenSignedAndHexIsReadAsHex();
  void radioPairs_data();
  void radioPairs();
  void radioButtonsClearTheirPartnerAndStayCheckedWhenClickedAgain();
  void dirNamesAndRecurseAreCoupledAlsoWhileLoading();
  void graphicViewerFieldsFollowTheChoice();
  void folderSettingForOpenDialog();
  void folderSettingForExtractAndAddFallsBackToHome();
  void storeLastFolderOnlyWhenLastIsChosen();
  void layoutIsAppliedWhateverSaveLayoutSays();
  void layoutIsSavedAtEndOnlyWhenAskedFor();
  void windowStoredOffEveryScreenComesBack();
  void toolbarHintsOnlyAfterOkAndSilencedWhenOff();
  void refusedWriteShowsErrorAndKeepsWindowOpen();
  void okWritesTheFileOnce();
  void cancelKeepsEditsButStoresNothing();
  void okStoresAndRecoloursTheList();
  void leavingViewerFieldsChecksTheEditorPath();
  void browseButtonsFillTheirFields();
  void favoritesOpenAtStartWhenAskedFor();
  void executeSetsDropAcceptanceAfterEitherButton();
  void malformedStoreLoadsWithDefaults();
  void mailHintsAreNeverValuesAndLoginAndSecurityRoundTrip();
  void encryptionOfAddedFilesIsKeptAndUnknownValuesMeanTraditional();
};

void SettingsWindowTest::init() {
  QVERIFY(StartSession());
}

void SettingsWindowTest::cleanup() {
  EndSession();
}

void SettingsWindowTest::firstStartShowsDefaultsAndDefaultLayout() {
  FakeMain m;
  // The window starts at the stated widths, some widened for its font.
  const int widths[] = {130, 65, 75, 140, 60, 300};
  for (int i = 0; i < 6; ++i) m.list->setColumnWidth(i, widths[i]);
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  QVERIFY(s.rb_BuiltIn->isChecked());
  QVERIFY(!s.rb_External->isChecked());
  QVERIFY(s.rb_BuiltGraphic->isChecked());
  QCOMPARE(s.ed_Formats->text(), QString("JPG;BMP;GIF"));
  QCOMPARE(s.ed_Install->text(), QString("install.exe;setup.exe;install.sh;setup.sh"));
  QCOMPARE(s.ed_Temp->text(), QString::fromStdString(pf::MapDefaultPath("C:\\WINDOWS\\TEMP")));
  QVERIFY(!s.ed_Temp->text().contains('\\'));
  QCOMPARE(s.ed_Zipname->text(), HomeRoot() + "Noname.zip");
  QCOMPARE(s.ed_StartUp->text(), HomeRoot());
  QCOMPARE(s.tb_complevel->value(), 9);
  QCOMPARE(s.ed_Port->text(), QString("25"));
  // The hints are shown, not held: the fields are empty.
  QCOMPARE(s.ed_Server->text(), QString());
  QCOMPARE(s.ed_Server->placeholderText(), QString("Enter SMTP Server"));
  QCOMPARE(s.ed_Name->text(), QString());
  QCOMPARE(s.ed_EMail->text(), QString());
  QCOMPARE(s.ed_User->text(), QString());
  QCOMPARE(s.SmtpSecurity(), QString("none"));
  QCOMPARE(s.DateFormat(), QString("yyyy/mm/dd"));
  QCOMPARE(s.TimeFormat(), QString("hh:mm"));
  QCOMPARE(s.MinFreeVolEdit->text(), QString("65536"));
  QCOMPARE(s.WindowColor(), clWindow);
  QVERIFY(s.cb_Outside->isChecked() && s.cb_AskzipName->isChecked());
  QVERIFY(s.DirNameCB->isChecked() && s.RecurseCB->isChecked());
  QVERIFY(!s.CB_ForceDos->isChecked() && !s.CB_Timestamp->isChecked());
  QVERIFY(s.FormatCB->isChecked() && s.CheckBox1->isChecked());
  QVERIFY(s.rb_WinDef->isChecked() && s.rb_Extr->isChecked() && s.rb_Last->isChecked());
  QVERIFY(!s.cb_SaveLayout->isChecked() && !s.cb_OpenStart->isChecked());
  QCOMPARE(m.window.pos(), QPoint(300, 100));
  QCOMPARE(m.window.size(), QSize(456, 361));
  for (int i = 0; i < 6; ++i) QCOMPARE(m.list->columnWidth(i), widths[i]);  // nothing stored: kept
  QCOMPARE(s.MailPort, QString("25"));
  // Loading never writes and never asks.
  QVERIFY(!QFile::exists(Ini()));
  QVERIFY(fake_->dialogs.boxes.empty());
}

void SettingsWindowTest::pagesCaptionsAndHints() {
  TF_Settings s;
  QCOMPARE(s.windowTitle(), QString("Configuration"));
  const QStringList pages = {"User Interface", "Folders", "System", "Locations",
                             "Zip && Email", "Multi.disk.vol"};
  QCOMPARE(s.PageControl1->count(), pages.size());
  for (int i = 0; i < pages.size(); ++i) QCOMPARE(s.PageControl1->tabText(i), pages[i]);
  QCOMPARE(s.PageControl1->currentIndex(), 0);
  QCOMPARE(s.bu_Ok->text(), QString("&Ok"));
  QCOMPARE(s.bu_Cancel->text(), QString("&Cancel"));
  QCOMPARE(s.cb_Outside->text(), QString("Accept files outside Arkelin2001"));
  QCOMPARE(s.rb_BuiltGraphic->text(), QString("Internal (GIF, GIF Anim, JPG, BMP)"));
  QCOMPARE(s.FormatCB->text(), QString("&Format each disk first"));
  QCOMPARE(s.pa_WindowColor->toolTip(), QString("Click here to change color"));
  QCOMPARE(s.DirNameCB->toolTip(), QString("Saves the pathname with each filename"));
  QCOMPARE(s.tb_complevel->minimum(), 0);
  QCOMPARE(s.tb_complevel->maximum(), 9);
  QCOMPARE(s.tb_complevel->tickInterval(), 1);
  QCOMPARE(s.ed_Port->toolTip(), QString("Host name or IP address of SMTP server"));
  QCOMPARE(s.ed_EMail->toolTip(), QString("Return address to use when sending SMTP mail"));
  QCOMPARE(s.FormatCB->toolTip().split('\n').size(), 4);
  QCOMPARE(s.co_DateFormat->count(), 4);
  QCOMPARE(s.co_Timeformat->itemText(2), QString("mm:hh"));
  QVERIFY(s.co_DateFormat->isEditable() && s.co_Timeformat->isEditable());
  QCOMPARE(TF_Settings::ToolbarHint("bu_Close"), QString("Exit Arkelin2001"));
  QCOMPARE(TF_Settings::ToolbarHint("nothing"), QString());
}

void SettingsWindowTest::saveWritesEveryKeyInOrderAndLoadsItBack() {
  TF_Settings a;
  a.cb_Outside->setChecked(false);
  a.ed_Zipname->setText("/data/new.zip");
  a.rb_External->setChecked(true);
  a.ed_Editor->setText("/usr/bin/editor");
  a.rb_ExtGraphic->setChecked(true);
  a.ed_Graphic->setText("/usr/bin/viewer");
  a.ed_Formats->setText("PNG;JPG");
  a.ed_Install->setText("setup.sh");
  a.cb_AfterDeleted->setChecked(false);
  a.MaxVolSizeEdit->setText("1457664");
  a.CheckBox1->setChecked(false);
  a.pa_WindowColor->SetColor(0x00336699);
  a.cb_Vert->setChecked(true);
  a.cb_Tooltip->setChecked(false);
  a.co_DateFormat->setCurrentText("dd.mm.yyyy");  // free text
  a.co_Timeformat->setCurrentText("hh:mm:ss");
  a.CB_ForceDos->setChecked(true);
  a.tb_complevel->setValue(3);
  a.co_Encryption->setCurrentText("AES-192");
  a.ed_Server->setText("smtp.example.org");
  a.ed_Port->setText("587");
  a.ed_Name->setText("Jo Quill");
  a.ed_EMail->setText("jo@example.org");
  a.rb_OtherWin->setChecked(true);
  a.ed_StartUp->setText("/srv/start");
  a.rb_OtherExtr->setChecked(true);
  a.ed_Extract->setText("/srv/out");
  a.ed_Temp->setText("/var/tmp/ark");
  a.SaveSettings();

  // Keys in their order, LAYOUT and the last folders not among them.
  const QByteArray text = Read();
  const QStringList order = {"ACCEPTFILES", "ASKNAMEBEFORE", "DEFAULTPATH", "EXTERNAL",
                             "BUILTIN", "EDITORPATH", "FASTVIEW", "FORMATS", "FILENAMES",
                             "OPENFAVORITES", "AFTEREXTRACTED", "KEEPFREE", "AUTOSPAN", "WINDOW=",
                             "VERT", "TOOLTIP", "DATEFORMAT", "TIMEFORMAT", "SAVEDIRNAME",
                             "LEVEL", "ENCRYPTION=192", "SERVER", "PORT", "NAME", "EMAIL", "STARTUP", "OTHERADD",
                             "TEMP"};
  qsizetype at = 0;
  for (const QString& k : order) {
    const qsizetype found = text.indexOf(k.toLatin1(), at);
    QVERIFY2(found >= 0, qPrintable(k));
    at = found;
  }
  QVERIFY(!text.contains("[LAYOUT]"));
  QVERIFY(!text.contains("LASTE="));
  QVERIFY(text.contains("[DRAG&DROP]\nACCEPTFILES=0\n"));
  QVERIFY(text.contains("[GXVIEW]\nEXTERNAL=1\nFASTVIEW=0\n"));

  TF_Settings b;
  b.LoadSettings();
  QVERIFY(!b.cb_Outside->isChecked());
  QCOMPARE(b.ed_Zipname->text(), QString("/data/new.zip"));
  QVERIFY(b.rb_External->isChecked() && !b.rb_BuiltIn->isChecked());
  QCOMPARE(b.ed_Editor->text(), QString("/usr/bin/editor"));
  QVERIFY(b.rb_ExtGraphic->isChecked() && !b.rb_BuiltGraphic->isChecked());
  QCOMPARE(b.ed_Graphic->text(), QString("/usr/bin/viewer"));
  QCOMPARE(b.ed_Formats->text(), QString("PNG;JPG"));
  QCOMPARE(b.ed_Install->text(), QString("setup.sh"));
  QVERIFY(!b.cb_AfterDeleted->isChecked() && b.cb_AfterExtracted->isChecked());
  QCOMPARE(b.MaxVolSizeEdit->text(), QString("1457664"));
  QVERIFY(!b.CheckBox1->isChecked());
  QCOMPARE(b.WindowColor(), 0x00336699);
  QVERIFY(b.cb_Vert->isChecked() && !b.cb_Tooltip->isChecked());
  QCOMPARE(b.DateFormat(), QString("dd.mm.yyyy"));
  QCOMPARE(b.TimeFormat(), QString("hh:mm:ss"));
  QVERIFY(b.CB_ForceDos->isChecked());
  QCOMPARE(b.CompLevel(), 3);
  QCOMPARE(b.AddAesBits(), 192);
  QCOMPARE(b.SmtpServer(), QString("smtp.example.org"));
  QCOMPARE(b.MailServer, QString("smtp.example.org"));
  QCOMPARE(b.MailPort, QString("587"));
  QCOMPARE(b.MailName, QString("Jo Quill"));
  QCOMPARE(b.MailEmail, QString("jo@example.org"));
  QVERIFY(b.rb_OtherWin->isChecked() && !b.rb_WinDef->isChecked());
  QCOMPARE(b.ed_StartUp->text(), QString("/srv/start"));
  QVERIFY(b.rb_OtherExtr->isChecked() && !b.rb_Extr->isChecked());
  QVERIFY(b.rb_Last->isChecked());
  QCOMPARE(b.TempFolder(), QString("/var/tmp/ark"));
}

void SettingsWindowTest::systemColourIsWrittenSignedAndHexIsReadAsHex() {
  {
    TF_Settings s;
    s.SaveSettings();
    QVERIFY(Read().contains("[COLOR]\nWINDOW=-2147483643\n"));
    TF_Settings t;
    t.LoadSettings();
    QCOMPARE(t.WindowColor(), clWindow);
    QCOMPARE(ColorToQColor(t.WindowColor()), QApplication::palette().color(QPalette::Base));
  }
  Write("[color]\nwindow=0x0000FF\n");
  TF_Settings s;
  s.LoadSettings();
  QCOMPARE(s.WindowColor(), 0xFF);
  QCOMPARE(ColorToQColor(s.WindowColor()), QColor(255, 0, 0));
  QCOMPARE(QColorToColor(QColor(0x11, 0x22, 0x33)), 0x332211);
}

void SettingsWindowTest::radioPairs_data() {
  QTest::addColumn<QByteArray>("ext");
  QTest::addColumn<QByteArray>("built");
  QTest::addColumn<bool>("extChecked");
  QTest::addColumn<bool>("builtChecked");
  QTest::newRow("both 0: neither") << QByteArray("0") << QByteArray("0") << false << false;
  QTest::newRow("both 1: second wins") << QByteArray("1") << QByteArray("1") << false << true;
  QTest::newRow("external only") << QByteArray("1") << QByteArray("0") << true << false;
  QTest::newRow("built-in only") << QByteArray("0") << QByteArray("1") << false << true;
}

void SettingsWindowTest::radioPairs() {
  QFETCH(QByteArray, ext);
  QFETCH(QByteArray, built);
  QFETCH(bool, extChecked);
  QFETCH(bool, builtChecked);
  Write("[VIEWER/EDITOR]\nEXTERNAL=" + ext + "\nBUILTIN=" + built + "\n[FOLDERS]\nLASTEXTR=" +
        built + "\nOTHEREXTR=" + ext + "\n");
  TF_Settings s;
  s.LoadSettings();
  QCOMPARE(s.rb_External->isChecked(), extChecked);
  QCOMPARE(s.rb_BuiltIn->isChecked(), builtChecked);
  // The folders pair is written the other way round: its first key is the
  // "Last" button, so with both 1 "Other" wins.
  QCOMPARE(s.rb_Extr->isChecked(), built == "1" && ext == "0");
  QCOMPARE(s.rb_OtherExtr->isChecked(), ext == "1");
}

void SettingsWindowTest::radioButtonsClearTheirPartnerAndStayCheckedWhenClickedAgain() {
  TF_Settings s;
  QVERIFY(s.rb_BuiltIn->isChecked());
  s.rb_External->click();
  QVERIFY(s.rb_External->isChecked());
  QVERIFY(!s.rb_BuiltIn->isChecked());
  s.rb_External->click();
  QVERIFY(s.rb_External->isChecked());
  s.rb_OtherLast->click();
  QVERIFY(!s.rb_Last->isChecked());
  // Other pairs are untouched.
  QVERIFY(s.rb_External->isChecked() && s.rb_Extr->isChecked());
}

void SettingsWindowTest::dirNamesAndRecurseAreCoupledAlsoWhileLoading() {
  Write("[COMPRESSION]\nSAVEDIRNAME=0\nRECURSEDIRS=1\n");
  TF_Settings s;
  s.LoadSettings();
  QVERIFY(s.DirNameCB->isChecked());
  QVERIFY(s.RecurseCB->isChecked());
  s.DirNameCB->click();
  QVERIFY(!s.DirNameCB->isChecked());
  QVERIFY(!s.RecurseCB->isChecked());
  s.RecurseCB->click();
  QVERIFY(s.RecurseCB->isChecked());
  QVERIFY(s.DirNameCB->isChecked());
  s.RecurseCB->click();  // unchecking Recurse leaves DirNames alone
  QVERIFY(s.DirNameCB->isChecked());
}

void SettingsWindowTest::graphicViewerFieldsFollowTheChoice() {
  {
    TF_Settings s;
    s.FormCreate();
    QVERIFY(!s.ed_Graphic->isEnabled());
    QVERIFY(!s.ed_Formats->isEnabled());
    s.rb_ExtGraphic->click();
    QVERIFY(s.ed_Graphic->isEnabled() && s.ed_Formats->isEnabled());
    s.rb_BuiltGraphic->click();
    QVERIFY(!s.ed_Graphic->isEnabled() && !s.ed_Formats->isEnabled());
  }
  Write("[GXVIEW]\nEXTERNAL=1\nFASTVIEW=0\n");
  TF_Settings s;
  s.FormCreate();
  QVERIFY(s.ed_Graphic->isEnabled() && s.ed_Formats->isEnabled());
}

void SettingsWindowTest::folderSettingForOpenDialog() {
  TF_Settings s;
  QString f = "caller";
  QVERIFY(s.GetFolderSetting("S", f));
  QCOMPARE(f, HomeRoot());
  s.rb_OtherWin->setChecked(true);
  s.ed_StartUp->setText(dir_->path());
  QCOMPARE(s.GetFolderSetting("S"), dir_->path());
  QCOMPARE(s.OpenFolder(), dir_->path());
  s.ed_StartUp->setText(dir_->path() + "/missing");
  f = "caller";
  QVERIFY(!s.GetFolderSetting("S", f));
  QCOMPARE(f, QString("caller"));
  QCOMPARE(s.OpenFolder(), QString());
  f = "caller";
  QVERIFY(!s.GetFolderSetting("X", f));
  QCOMPARE(f, QString("caller"));
}

void SettingsWindowTest::folderSettingForExtractAndAddFallsBackToHome() {
  TF_Settings s;
  // Nothing stored: the read default maps to the home folder.
  QCOMPARE(s.GetFolderSetting("E"), HomeRoot());
  const QString gone = dir_->path() + "/gone";
  QVERIFY(QDir().mkpath(gone));
  s.StoreLastFolder("E", gone);
  QCOMPARE(s.GetFolderSetting("E"), gone);
  QVERIFY(QDir(gone).removeRecursively());
  QCOMPARE(s.GetFolderSetting("E"), HomeRoot());
  // "Other" takes the field's text.
  s.rb_OtherLast->setChecked(true);
  s.ed_Add->setText(dir_->path());
  QCOMPARE(s.GetFolderSetting("A"), dir_->path());
  s.ed_Add->setText("/no/such/folder");
  QCOMPARE(s.GetFolderSetting("A"), HomeRoot());
  // A stored Windows literal maps too.
  Write("[FOLDERS]\nLASTA=C:\\\n");
  s.rb_Last->setChecked(true);
  QCOMPARE(s.GetFolderSetting("A"), HomeRoot());
}

void SettingsWindowTest::storeLastFolderOnlyWhenLastIsChosen() {
  TF_Settings s;
  s.rb_OtherLast->setChecked(true);
  s.StoreLastFolder("A", "/x");
  QVERIFY(!QFile::exists(Ini()));
  s.StoreLastFolder("E", "/srv/e");
  s.StoreLastFolder("Q", "/srv/q");
  QCOMPARE(Store().ReadString("FOLDERS", "LASTE", ""), std::string("/srv/e"));
  QVERIFY(!Store().ValueExists("FOLDERS", "LASTA"));
  s.rb_Last->setChecked(true);
  s.StoreLastFolder("A", "/srv/a");
  QCOMPARE(Store().ReadString("FOLDERS", "LASTA", ""), std::string("/srv/a"));
  QCOMPARE(Read(), QByteArray("[FOLDERS]\nLASTE=/srv/e\nLASTA=/srv/a\n"));
}

void SettingsWindowTest::layoutIsAppliedWhateverSaveLayoutSays() {
  Write("[MISC]\nSAVELAYOUT=0\n[LAYOUT]\nLEFT=10\nTOP=20\nHEIGHT=500\nWIDTH=700\nCOL1=111\n"
        "COL6=66\nCOL3=bad\n");
  FakeMain m;
  m.list->setColumnWidth(3, 123);  // fitted to the font by the window
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  QCOMPARE(m.window.pos(), QPoint(10, 20));
  QCOMPARE(m.window.size(), QSize(700, 500));
  QCOMPARE(m.list->columnWidth(0), 111);
  QCOMPARE(m.list->columnWidth(2), 65);  // not a number: default
  QCOMPARE(m.list->columnWidth(5), 66);
  QCOMPARE(m.list->columnWidth(3), 123);  // never stored: the window's own width stays
}

void SettingsWindowTest::windowStoredOffEveryScreenComesBack() {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  for (const QByteArray& place : {QByteArray("LEFT=-20000\nTOP=-20000"), QByteArray("LEFT=30000\nTOP=40"),
                                  QByteArray("LEFT=40\nTOP=30000")}) {
    Write("[LAYOUT]\n" + place + "\nHEIGHT=300\nWIDTH=400\n");
    FakeMain m;
    TF_Settings s;
    s.AttachMainWindow(&m.window, m.list);
    s.FormCreate();
    QCOMPARE(m.window.pos(), screen.topLeft());
    QCOMPARE(m.window.size(), QSize(400, 300));
  }
  // Partly off screen but with its title bar reachable: left where it was.
  Write("[LAYOUT]\nLEFT=-200\nTOP=50\nHEIGHT=300\nWIDTH=400\n");
  FakeMain m;
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  QCOMPARE(m.window.pos(), QPoint(-200, 50));
  // Larger than the screen and off it: brought back no larger than it.
  Write("[LAYOUT]\nLEFT=-90000\nTOP=0\nHEIGHT=90000\nWIDTH=90000\n");
  FakeMain big;
  TF_Settings s2;
  s2.AttachMainWindow(&big.window, big.list);
  s2.FormCreate();
  QCOMPARE(big.window.pos(), screen.topLeft());
  QVERIFY(big.window.width() <= screen.width() && big.window.height() <= screen.height());
}

void SettingsWindowTest::layoutIsSavedAtEndOnlyWhenAskedFor() {
  FakeMain m;
  {
    TF_Settings s;
    s.AttachMainWindow(&m.window, m.list);
    s.FormCreate();
    m.window.move(40, 50);
    s.FormDestroy();
  }
  QVERIFY(!QFile::exists(Ini()));
  {
    TF_Settings s;
    s.AttachMainWindow(&m.window, m.list);
    s.FormCreate();
    s.cb_SaveLayout->setChecked(true);
    m.window.move(40, 50);
    m.window.resize(600, 400);
    m.list->setColumnWidth(3, 99);
  }  // the destructor saves when the program did not call FormDestroy
  TIniFile ini = Store();
  QCOMPARE(ini.ReadInteger("LAYOUT", "LEFT", 0), 40);
  QCOMPARE(ini.ReadInteger("LAYOUT", "TOP", 0), 50);
  QCOMPARE(ini.ReadInteger("LAYOUT", "WIDTH", 0), 600);
  QCOMPARE(ini.ReadInteger("LAYOUT", "HEIGHT", 0), 400);
  QCOMPARE(ini.ReadInteger("LAYOUT", "COL4", 0), 99);
  QCOMPARE(ini.ReadSection("LAYOUT").size(), size_t(10));
  // Saving the layout writes nothing else.
  QVERIFY(!ini.SectionExists("MISC"));
}

void SettingsWindowTest::toolbarHintsOnlyAfterOkAndSilencedWhenOff() {
  FakeMain m;
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  for (const char* n : kButtons) QVERIFY(m.Button(n)->toolTip().isEmpty());
  s.bu_OkClick();
  QCOMPARE(s.result(), int(QDialog::Accepted));
  QCOMPARE(m.Button("bu_New")->toolTip(), QString("Create new Zip archive"));
  QCOMPARE(m.Button("bu_Extract")->toolTip(), QString("Extract file(s) from archive"));
  for (const char* n : kButtons) QCOMPARE(m.Button(n)->toolTip(), TF_Settings::ToolbarHint(n));
  s.cb_Tooltip->setChecked(false);
  s.bu_OkClick();
  for (const char* n : kButtons) {
    QVERIFY(m.Button(n)->toolTip().isEmpty());
    QCOMPARE(m.Button(n)->property("arkelinHint").toString(), TF_Settings::ToolbarHint(n));
  }
}

void SettingsWindowTest::refusedWriteShowsErrorAndKeepsWindowOpen() {
  // The data folder sits under a regular file: no write can succeed.
  const QString blocker = dir_->path() + "/blocker";
  {
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
  }
  pf::SetDataFolderOverride(blocker.toStdString() + "/");
  TF_Settings s;
  s.setResult(-1);
  s.bu_OkClick();
  QCOMPARE(s.result(), -1);  // neither accepted nor rejected
  QCOMPARE(int(fake_->dialogs.boxes.size()), 1);
  const auto& box = fake_->dialogs.boxes[0];
  QCOMPARE(QString::fromStdString(box.text), "Unable to write to " + blocker + "/Arkelin.ini");
  QVERIFY(box.kind == pf::MsgKind::Error);
  QCOMPARE(box.buttons, pf::Buttons(pf::BtnOK));
  // Remembering a folder and saving the layout at exit say the refusal and
  // go on: nothing is thrown out of them.
  s.StoreLastFolder("E", "/x");
  QCOMPARE(int(fake_->dialogs.boxes.size()), 2);
  QCOMPARE(QString::fromStdString(fake_->dialogs.boxes[1].text), "Unable to write to " + blocker + "/Arkelin.ini");
  FakeMain m;
  s.AttachMainWindow(&m.window, m.list);
  s.cb_SaveLayout->setChecked(true);
  s.FormDestroy();
  QCOMPARE(int(fake_->dialogs.boxes.size()), 3);
  QCOMPARE(QString::fromStdString(fake_->dialogs.boxes[2].text), "Unable to write to " + blocker + "/Arkelin.ini");
}

void SettingsWindowTest::okWritesTheFileOnce() {
  Write("[MISC]\nSAVELAYOUT=0\n");
  TF_Settings s;
  s.FormCreate();
  const uint64_t before = TIniFile::FilesWritten();
  s.bu_OkClick();
  QCOMPARE(TIniFile::FilesWritten() - before, uint64_t(1));
  const QString ini = dir_->path() + "/Arkelin.ini";
  QFile f(ini);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray all = f.readAll();
  QVERIFY(all.contains("ACCEPTFILES=1"));
  QVERIFY(all.contains("TEMP="));
  // The layout at exit is one write too.
  FakeMain m;
  s.AttachMainWindow(&m.window, m.list);
  s.cb_SaveLayout->setChecked(true);
  const uint64_t beforeLayout = TIniFile::FilesWritten();
  s.FormDestroy();
  QCOMPARE(TIniFile::FilesWritten() - beforeLayout, uint64_t(1));
}

void SettingsWindowTest::cancelKeepsEditsButStoresNothing() {
  Write("[SMTP]\nSERVER=stored.example.org\n");
  FakeMain m;
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  const QColor before = m.list->palette().color(QPalette::Base);
  s.ed_Server->setText("typed.example.org");
  s.pa_WindowColor->SetColor(0x0000FF);
  s.bu_CancelClick();
  QCOMPARE(s.result(), int(QDialog::Rejected));
  QCOMPARE(Read(), QByteArray("[SMTP]\nSERVER=stored.example.org\n"));
  QCOMPARE(s.SmtpServer(), QString("typed.example.org"));
  QCOMPARE(s.MailServer, QString("stored.example.org"));
  QCOMPARE(s.WindowColor(), 0x0000FF);
  QCOMPARE(m.list->palette().color(QPalette::Base), before);
}

void SettingsWindowTest::okStoresAndRecoloursTheList() {
  FakeMain m;
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  QVERIFY(!m.list->showGrid());
  s.ChooseColor = [](const QColor&) -> std::optional<QColor> { return QColor(0, 128, 255); };
  s.pa_WindowColorClick();
  QCOMPARE(s.WindowColor(), 0xFF8000);
  s.ChooseColor = [](const QColor&) -> std::optional<QColor> { return std::nullopt; };
  s.pa_WindowColorClick();  // cancelled: unchanged
  QCOMPARE(s.WindowColor(), 0xFF8000);
  s.cb_Vert->setChecked(true);
  s.bu_OkClick();
  QCOMPARE(m.list->palette().color(QPalette::Base), QColor(0, 128, 255));
  QVERIFY(m.list->showGrid());
  QCOMPARE(Store().ReadInteger("COLOR", "WINDOW", 0), 0xFF8000);
}

void SettingsWindowTest::leavingViewerFieldsChecksTheEditorPath() {
  TF_Settings s;
  for (QLineEdit* e : {s.ed_Editor, s.ed_Graphic, s.ed_Formats}) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(e, &out);
  }
  QCOMPARE(int(fake_->dialogs.boxes.size()), 3);
  for (const auto& b : fake_->dialogs.boxes) {
    QCOMPARE(QString::fromStdString(b.text), QString("Can't find editor!"));
    QVERIFY(b.kind == pf::MsgKind::Warning);
    QCOMPARE(b.buttons, pf::Buttons(pf::BtnOK));
  }
  // An existing editor: no warning, whichever field is left.
  const QString editor = dir_->path() + "/editor";
  QFile f(editor);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.close();
  s.ed_Editor->setText(editor);
  QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
  QApplication::sendEvent(s.ed_Formats, &out);
  QCOMPARE(int(fake_->dialogs.boxes.size()), 3);
  // A folder is not an editor, and the text stays as typed.
  s.ed_Editor->setText(dir_->path());
  QApplication::sendEvent(s.ed_Editor, &out);
  QCOMPARE(int(fake_->dialogs.boxes.size()), 4);
  QCOMPARE(s.ed_Editor->text(), dir_->path());
}

void SettingsWindowTest::browseButtonsFillTheirFields() {
  TF_Settings s;
  fake_->dialogs.folders = {std::string("/srv/start"), std::nullopt, std::string("/srv/tmp"),
                            std::string("/srv/zips")};
  s.bu_StartUp->click();
  QCOMPARE(s.ed_StartUp->text(), QString("/srv/start"));
  const QString before = s.ed_Extract->text();
  s.bu_Extract->click();  // cancelled
  QCOMPARE(s.ed_Extract->text(), before);
  s.bu_Temp->click();
  QCOMPARE(s.ed_Temp->text(), QString("/srv/tmp"));
  s.ed_Zipname->setText("/home/u/Backup.zip");
  s.bu_Zipname->click();
  QCOMPARE(s.ed_Zipname->text(), QString("/srv/zips/Backup.zip"));
  QCOMPARE(fake_->dialogs.foldersAsked,
           (std::vector<std::string>{"Choose startup folder", "Choose extract folder",
                                     "Choose temp folder", "Choose folder"}));
  fake_->dialogs.openFiles = {{"/usr/bin/myeditor"}};
  s.bu_Editor->click();
  QCOMPARE(s.ed_Editor->text(), QString("/usr/bin/myeditor"));
  QCOMPARE(int(fake_->dialogs.fileDialogsAsked.size()), 1);
}

void SettingsWindowTest::favoritesOpenAtStartWhenAskedFor() {
  int opened = 0;
  {
    TF_Settings s;
    s.OnOpenFavorites = [&](TF_Settings&) { ++opened; };
    s.FormCreate();
  }
  QCOMPARE(opened, 0);
  Write("[MISC]\nOPENFAVORITES=1\n");
  TF_Settings s;
  s.OnOpenFavorites = [&](TF_Settings& sender) {
    QCOMPARE(&sender, &s);
    ++opened;
  };
  s.FormCreate();
  QCOMPARE(opened, 1);
}

void SettingsWindowTest::executeSetsDropAcceptanceAfterEitherButton() {
  FakeMain m;
  TF_Settings s;
  s.AttachMainWindow(&m.window, m.list);
  s.FormCreate();
  int closed = 0;
  s.OnClosed = [&](TF_Settings&) { ++closed; };
  m.window.setAcceptDrops(true);
  QTimer::singleShot(0, &s, [&] {
    s.cb_Outside->setChecked(false);
    s.bu_Cancel->click();
  });
  QCOMPARE(s.Execute(), int(QDialog::Rejected));
  QVERIFY(!m.window.acceptDrops());
  QCOMPARE(closed, 1);
  QVERIFY(!QFile::exists(Ini()));
  QTimer::singleShot(0, &s, [&] {
    s.cb_Outside->setChecked(true);
    s.bu_Ok->click();
  });
  QCOMPARE(s.Execute(), int(QDialog::Accepted));
  QVERIFY(m.window.acceptDrops());
  QCOMPARE(closed, 2);
  QVERIFY(Store().ReadBool("DRAG&DROP", "ACCEPTFILES", false));
}

void SettingsWindowTest::malformedStoreLoadsWithDefaults() {
  QByteArray junk(1, '\0');
  junk += "\xff garbage\n[COMPRESSION\nLEVEL=5\n[COMPRESSION]\nLEVEL=ten\n"
          "FORCEMSDOS=maybe\n[MISC]\nAFTERADDED\n";
  Write(junk);
  TF_Settings s;
  s.LoadSettings();
  QCOMPARE(s.CompLevel(), 9);
  QVERIFY(!s.ForceDos());
  QVERIFY(s.PromptAfterAdded());
  // A level outside the track bar's range is held at its end.
  Write("[COMPRESSION]\nLEVEL=0x20\n");
  s.LoadSettings();
  QCOMPARE(s.CompLevel(), 9);
  QVERIFY(fake_->dialogs.boxes.empty());
}

QTEST_MAIN(SettingsWindowTest)
void SettingsWindowTest::mailHintsAreNeverValuesAndLoginAndSecurityRoundTrip() {
  // A first start saved as it is stores empty mail fields, not the hints.
  {
    TF_Settings s;
    s.FormCreate();
    s.SaveSettings();
    const QByteArray text = Read();
    QVERIFY(text.contains("[SMTP]\nSERVER=\nPORT=25\nUSER=\nSECURITY=none\n"));
    QVERIFY(text.contains("[PERSONAL]\nNAME=\nEMAIL=\n"));
    QVERIFY(!text.contains("Enter "));
    QCOMPARE(s.MailServer, QString());
    QCOMPARE(s.MailName, QString());
  }
  // Hints an earlier version stored as values read as empty fields and copies.
  Write("[SMTP]\nSERVER=Enter SMTP Server\nPORT=587\nUSER=jo\nSECURITY=STARTTLS\n"
        "[PERSONAL]\nNAME=Enter your name\nEMAIL=Enter your Email address\n");
  TF_Settings b;
  b.FormCreate();
  QCOMPARE(b.SmtpServer(), QString());
  QCOMPARE(b.PersonalName(), QString());
  QCOMPARE(b.PersonalEmail(), QString());
  QCOMPARE(b.MailServer, QString());
  QCOMPARE(b.MailEmail, QString());
  QCOMPARE(b.SmtpUser(), QString("jo"));
  QCOMPARE(b.SmtpSecurity(), QString("starttls"));
  QCOMPARE(b.MailUser, QString("jo"));
  QCOMPARE(b.MailSecurity, QString("STARTTLS"));
  b.co_Security->setCurrentText("tls");
  b.ed_User->setText("jo@example.org");
  b.SaveSettings();
  QCOMPARE(b.MailSecurity, QString("tls"));
  QCOMPARE(b.MailUser, QString("jo@example.org"));
  // No password key is ever written.
  QVERIFY(!Read().contains("PASS"));
  // A store without the two keys loads the classic setting.
  Write("[SMTP]\nSERVER=mail.example.org\n");
  TF_Settings c;
  c.FormCreate();
  QCOMPARE(c.SmtpSecurity(), QString("none"));
  QCOMPARE(c.MailSecurity, QString());
  QCOMPARE(c.MailUser, QString());
}

void SettingsWindowTest::encryptionOfAddedFilesIsKeptAndUnknownValuesMeanTraditional() {
  {
    TF_Settings s;
    s.LoadSettings();
    QCOMPARE(s.AddAesBits(), 0);
    QCOMPARE(s.co_Encryption->currentText(), QString("Traditional"));
    QCOMPARE(s.co_Encryption->count(), 4);
    // The Add window's choice is stored at once, without "&Ok".
    s.StoreAddAesBits(256);
    QCOMPARE(s.co_Encryption->currentText(), QString("AES-256"));
    QVERIFY(Read().contains("[COMPRESSION]\nENCRYPTION=256\n"));
  }
  TF_Settings again;
  again.LoadSettings();
  QCOMPARE(again.AddAesBits(), 256);
  for (const char* value : {"100", "-1", "aes", "0"}) {
    Write(QByteArray("[COMPRESSION]\nENCRYPTION=") + value + "\n");
    again.LoadSettings();
    QCOMPARE(again.AddAesBits(), 0);
  }
  QVERIFY(fake_->dialogs.boxes.empty());
}

#include "SettingsWindowTest.moc"
