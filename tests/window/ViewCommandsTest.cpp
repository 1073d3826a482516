// View/edit and Run end to end, offscreen, with scripted dialogs, on a real
// archive made by Info-ZIP zip and read back with unzip: editing a text
// entry in a folder and putting it back, RTF that stays RTF, the external
// editor, pictures in the built-in and the external viewer, Run with and
// without an associated program (a desktop entry and mimeapps.list in a
// temporary XDG folder), and the messages of the failure table.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>

#include <sys/stat.h>

#include <memory>

#include "open/StartFromArchive.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "shared/U_Globalfunc.h"
#include "viewers/Rtf.h"
#include "viewers/widgets/REMain.h"
#include "viewers/widgets/u_ShowImg.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace vw = arkelin::viewers;

namespace {

// `data` as a program its owner may run.
void WriteProgram(const QString& path, const QByteArray& data) {
  WriteFile(path, data);
  QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0755), 0);
}

QByteArray Picture(const char* name) { return ReadFile(QStringLiteral(ARKELIN_TEST_DATA "/viewers/") + name); }

const QByteArray kReadme = "Read me first.\r\nSecond line.\r\n";
const QByteArray kLetter =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard Dear {\\b reader}, hello.\\par}";

// Runs a program and answers its standard output (empty on failure).
QByteArray Output(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
  return p.readAllStandardOutput();
}

}  // namespace

class ViewCommandsTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  QString zip_;
  QString Temp() const { return P("viewtemp"); }
  QStringList Entries() const {
    return QString::fromUtf8(Output("unzip", {"-Z1", zip_})).split(u'\n', Qt::SkipEmptyParts);
  }
  QByteArray Entry(const QString& name) const { return Output("unzip", {"-p", zip_, name}); }
  void Open(TMainform& f) {
    f.SetSettings(&settings_);
    f.EnterZipSession(zip_);
    fake_->dialogs.boxes.clear();
  }
  // Appends text at the end of the editor and closes it.
  static void EditAndClose(vw::TF_Editform& e, const QString& text) {
    e.show();
    QTextCursor c = e.Memo1->textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    e.close();
  }
  void UseRealProcesses() { pf::Current().processes = nullptr; }

 private slots:
  void init();
  void cleanup();

  void editedTextGoesBackAsTheOneEntryInItsFolder();
  void rtfEntryStaysRtfWithItsFormatting();
  void closingWithoutChangesWritesNothing();
  void externalEditorThenYesOrNo();
  void picturesOneAfterTheOtherTextOnlyWithoutPictures();
  void externalGraphicViewerMissingOrThere();
  void runWithAndWithoutAnAssociatedProgram();
  void failureTableMessages();
};

void ViewCommandsTest::init() {
  QVERIFY(StartSession("data/"));
  settings_ = DefaultMainSettings();
  settings_.tempFolder = Temp();
  if (!HaveEngineLibraries()) return;
  const QString src = P("src");
  WriteFile(src + "/docs/readme.txt", kReadme);
  WriteFile(src + "/docs/letter.rtf", kLetter);
  WriteFile(src + "/notes.txt", "notes\n");
  WriteFile(src + "/pics/one.jpg", Picture("quadrants.jpg"));
  WriteFile(src + "/pics/old/two.jpg", Picture("quadrants-progressive.jpg"));
  WriteFile(src + "/anim.gif", "GIF89a");
  WriteProgram(src + "/bin/tool", "#!/bin/sh\necho ran > \"$(dirname \"$0\")/../../tool-ran\"\n");
  WriteFile(src + "/My Data.arkt", "associated data\n");
  WriteFile(src + "/plain.qqq", "no program\n");
  zip_ = P("sample.zip");
  QVERIFY(RunZipTool(src, {"-r", "-X", zip_, "."}));
}

void ViewCommandsTest::cleanup() {
  vw::TF_Editform::SetShowHook(nullptr);
  vw::TF_ShowImg::SetShowHook(nullptr);
  pf::Current().fileTypes = nullptr;
  EndSession();
}

void ViewCommandsTest::editedTextGoesBackAsTheOneEntryInItsFolder() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  TMainform f;
  Open(f);
  const qsizetype entriesBefore = Entries().size();
  SelectRows(f, {"readme.txt"});
  int shown = 0;
  vw::TF_Editform::SetShowHook([&](vw::TF_Editform& e) {
    ++shown;
    QCOMPARE(e.windowTitle(), QString("- readme.txt"));
    QCOMPARE(e.Memo1->toPlainText(), QString("Read me first.\nSecond line.\n"));
    QVERIFY(!e.Modified);
    QCOMPARE(e.FileName, Temp() + "/docs/readme.txt");   // extracted with its folder
    EditAndClose(e, QStringLiteral("Edited here.\n"));
  });
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Item("Viewfile1")->trigger();
  QCOMPARE(shown, 1);
  QVERIFY(Texts().contains("Update zipfile?"));
  const QStringList entries = Entries();
  QCOMPARE(entries.count("docs/readme.txt"), 1);
  QVERIFY(!entries.contains("readme.txt"));          // not a second entry at the root
  QCOMPARE(Entry("docs/readme.txt"), QByteArray("Read me first.\r\nSecond line.\r\nEdited here.\r\n"));
  QCOMPARE(entries.size(), entriesBefore);           // nothing else came or went
  // The list was read again and shows the new size; the copies are gone,
  // the folder below the temporary folder stays.
  bool listed = false;
  for (int r = 0; r < f.Model().RowCountValue(); ++r)
    if (f.Model().Row(r).fullName == "docs\\readme.txt") listed = f.Model().Row(r).uncompressed == 44;
  QVERIFY(listed);
  QVERIFY(!QFile::exists(Temp() + "/docs/readme.txt"));
  QVERIFY(QFileInfo(Temp() + "/docs").isDir());
  QVERIFY(!QFile::exists(P("data/Edited/docs/readme.txt")));
  QVERIFY(f.ArchiveModified);
}

void ViewCommandsTest::rtfEntryStaysRtfWithItsFormatting() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  TMainform f;
  Open(f);
  SelectRows(f, {"letter.rtf"});
  vw::TF_Editform::SetShowHook([&](vw::TF_Editform& e) {
    QCOMPARE(e.Format().kind, vw::TextFileFormat::Kind::Rtf);
    QCOMPARE(e.Memo1->toPlainText(), QString("Dear reader, hello."));
    EditAndClose(e, QStringLiteral(" Bye."));
  });
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Viewfile1Click();
  const QByteArray stored = Entry("docs/letter.rtf");
  QVERIFY2(stored.startsWith("{\\rtf1"), stored.constData());
  const vw::rtf::Document doc = vw::rtf::Read(stored.toStdString());
  QCOMPARE(QString::fromStdString(doc.PlainText()), QString("Dear reader, hello. Bye."));
  bool boldReader = false, plainDear = false;
  for (const auto& run : doc.paragraphs[0].runs) {
    if (run.text == "reader") boldReader = run.format.bold;
    if (run.text.rfind("Dear", 0) == 0) plainDear = !run.format.bold;
  }
  QVERIFY(boldReader);
  QVERIFY(plainDear);
  QCOMPARE(Entries().count("docs/letter.rtf"), 1);
}

void ViewCommandsTest::closingWithoutChangesWritesNothing() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  TMainform f;
  Open(f);
  const QByteArray before = ReadFile(zip_);
  SelectRows(f, {"readme.txt", "notes.txt"});   // the first selected row in list order is viewed
  const QString first = f.Model().Row(f.lw_Files->selectionModel()->selectedRows().front().row() <
                                              f.lw_Files->selectionModel()->selectedRows().back().row()
                                          ? f.lw_Files->selectionModel()->selectedRows().front().row()
                                          : f.lw_Files->selectionModel()->selectedRows().back().row())
                            .caption;
  QString seen;
  vw::TF_Editform::SetShowHook([&](vw::TF_Editform& e) {
    seen = e.windowTitle();
    e.show();
    e.close();
  });
  f.Viewfile1Click();
  QCOMPARE(seen, "- " + first);
  QVERIFY(fake_->dialogs.boxes.empty());
  QCOMPARE(ReadFile(zip_), before);
  QVERIFY(!QFile::exists(Temp() + "/docs/readme.txt"));
  QVERIFY(!QDir(P("data/Edited")).exists());
}

void ViewCommandsTest::externalEditorThenYesOrNo() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  UseRealProcesses();
  const QString editor = P("editor.sh");
  WriteProgram(editor,
               "#!/bin/sh\nprintf 'by the editor\\r\\n' >> \"$1\"\necho \"$1\" > " + P("edited-arg").toUtf8() + "\n");
  settings_.builtInEditor = false;
  settings_.editorPath = editor;
  TMainform f;
  Open(f);
  SelectRows(f, {"readme.txt"});
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Viewfile1Click();
  QCOMPARE(Texts(), QStringList({"Update zip archive?"}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));
  QCOMPARE(ReadFile(P("edited-arg")).trimmed(), (Temp() + "/docs/readme.txt").toUtf8());
  QCOMPARE(Entry("docs/readme.txt"), kReadme + "by the editor\r\n");
  QCOMPARE(Entries().count("docs/readme.txt"), 1);
  QVERIFY(!QFile::exists(Temp() + "/docs/readme.txt"));
  // No: the archive stays as it is; the copy is deleted all the same.
  const QByteArray before = ReadFile(zip_);
  SelectRows(f, {"readme.txt"});
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.Viewfile1Click();
  QCOMPARE(ReadFile(zip_), before);
  QVERIFY(!QFile::exists(Temp() + "/docs/readme.txt"));
}

void ViewCommandsTest::picturesOneAfterTheOtherTextOnlyWithoutPictures() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  TMainform f;
  Open(f);
  SelectRows(f, {"one.jpg", "notes.txt", "two.jpg"});
  QVERIFY(f.bu_View->isEnabled());
  QStringList captions;
  QList<bool> stillThere;
  int edited = 0;
  vw::TF_Editform::SetShowHook([&](vw::TF_Editform& e) {
    ++edited;
    e.show();
    e.close();
  });
  vw::TF_ShowImg::SetShowHook([&](vw::TF_ShowImg& w) {
    captions << w.windowTitle();
    stillThere << QFile::exists(w.windowTitle());
    QCOMPARE(w.AdvImage1->Image().ImageType(), vw::TImageType::itJpeg);
    QCOMPARE(w.AdvImage1->Image().Picture().Graphic()->Width(), 64);
  });
  f.bu_View->click();                        // the toolbar's View
  QCOMPARE(captions, QStringList({Temp() + "/pics/one.jpg", Temp() + "/pics/old/two.jpg"}));
  QCOMPARE(stillThere, QList<bool>({true, true}));
  QCOMPARE(edited, 0);                       // the text entry is left out
  QVERIFY(!QFile::exists(Temp() + "/pics/one.jpg"));
  QVERIFY(!QFile::exists(Temp() + "/pics/old/two.jpg"));
  QVERIFY(!QFile::exists(Temp() + "/notes.txt"));   // not even extracted
  QVERIFY(fake_->dialogs.boxes.empty());
  // Without a picture in the selection the text is shown.
  SelectRows(f, {"notes.txt"});
  f.Item("View1")->trigger();                // the pop-up menu's View/edit
  QCOMPARE(edited, 1);
  QCOMPARE(captions.size(), 2);
}

void ViewCommandsTest::externalGraphicViewerMissingOrThere() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  UseRealProcesses();
  settings_.builtInGraphic = false;
  settings_.graphicPath = P("no-such-viewer");
  TMainform f;
  Open(f);
  SelectRows(f, {"one.jpg", "two.jpg"});
  f.Viewfile1Click();
  QCOMPARE(Texts(), QStringList({"Can't find external graphic viewer!"}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
  QVERIFY(QFile::exists(Temp() + "/pics/one.jpg"));   // left in place
  QVERIFY(QFile::exists(Temp() + "/pics/old/two.jpg"));
  // A viewer that is there gets each file in turn; they go afterwards.
  const QString viewer = P("viewer.sh");
  WriteProgram(viewer, "#!/bin/sh\necho \"$1\" >> " + P("viewed").toUtf8() + "\n");
  settings_.graphicPath = viewer;
  fake_->dialogs.boxes.clear();
  f.Viewfile1Click();
  QCOMPARE(QString::fromUtf8(ReadFile(P("viewed"))),
           Temp() + "/pics/one.jpg\n" + Temp() + "/pics/old/two.jpg\n");
  QVERIFY(!QFile::exists(Temp() + "/pics/one.jpg"));
  QVERIFY(fake_->dialogs.boxes.empty());
  // FORMATS set to PNG only: a GIF entry is viewed as text.
  settings_.graphicFormats = "PNG";
  SelectRows(f, {"anim.gif"});
  QString title;
  vw::TF_Editform::SetShowHook([&](vw::TF_Editform& e) { title = e.windowTitle(); });
  f.Viewfile1Click();
  QCOMPARE(title, QString("- anim.gif"));
}

void ViewCommandsTest::runWithAndWithoutAnAssociatedProgram() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  UseRealProcesses();
  // A temporary XDG world: one MIME type, one desktop entry, one default.
  const QString xdg = P("xdg");
  WriteFile(xdg + "/data/mime/globs2", "50:application/x-arkelin-test:*.arkt\n");
  const QString opener = P("opener.sh");
  WriteProgram(opener, "#!/bin/sh\ncp \"$1\" " + P("opened-copy").toUtf8() + "\n");
  WriteFile(xdg + "/data/applications/arkelin-test.desktop",
            "[Desktop Entry]\nType=Application\nName=Test opener\nExec=" + opener.toUtf8() + " %f\n");
  WriteFile(xdg + "/config/mimeapps.list", "[Default Applications]\napplication/x-arkelin-test=arkelin-test.desktop\n");
  qputenv("XDG_CONFIG_HOME", (xdg + "/config").toUtf8());
  qputenv("XDG_CONFIG_DIRS", (xdg + "/etc").toUtf8());
  qputenv("XDG_DATA_HOME", (xdg + "/home").toUtf8());
  qputenv("XDG_DATA_DIRS", (xdg + "/data").toUtf8());
  const QString work = QString::fromStdString(arkelin::shared::WorkFolder());
  TMainform f;
  Open(f);
  // Associated: the program gets the extracted file (one argument, blank
  // and all); no question.
  SelectRows(f, {"My Data.arkt"});
  f.Executefile1Click();
  QCOMPARE(ReadFile(P("opened-copy")), QByteArray("associated data\n"));
  QVERIFY(fake_->dialogs.boxes.empty());
  QVERIFY(!QFile::exists(work + "/My Data.arkt"));   // deleted when the program ended
  // No program and not executable: the user is told.
  SelectRows(f, {"plain.qqq"});
  f.bu_run->click();                                  // the toolbar's Run
  QCOMPARE(Texts(), QStringList({QString::fromStdString(arkelin::open::NotAProgramText((work + "/plain.qqq").toStdString()))}));
  QVERIFY(!QFile::exists(work + "/plain.qqq"));
  // A program from the archive: started only after Yes to the question naming it.
  fake_->dialogs.boxes.clear();
  SelectRows(f, {"tool"});
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.lw_FilesDblClick();                               // a double-click on the row runs it
  const QString tool = work + "/bin/tool";
  QCOMPARE(Texts(), QStringList({QString::fromStdString(arkelin::open::ConfirmStartText(tool.toStdString()))}));
  QVERIFY(!QFile::exists(P("data/tool-ran")));
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Item("Run1")->trigger();
  QVERIFY(QFile::exists(P("data/tool-ran")));
  QVERIFY(!QFile::exists(tool));
  QVERIFY(QFileInfo(work + "/bin").isDir());          // folders below the work folder stay
  for (const char* v : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) qunsetenv(v);
}

void ViewCommandsTest::failureTableMessages() {
  TMainform f;
  f.SetSettings(&settings_);
  // RAR archive open: the refusal and nothing else.
  f.EnterRarSession(P("some.rar"));
  fake_->dialogs.boxes.clear();
  f.Viewfile1Click();
  f.Executefile1Click();
  QCOMPARE(Texts(), QStringList({"Arkelin2001 don't support this action on RAR files!",
                                 "Arkelin2001 don't support this action on RAR files!"}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
  f.CloseSession();
  // Nothing selected.
  fake_->dialogs.boxes.clear();
  f.Viewfile1Click();
  f.Executefile1Click();
  QCOMPARE(Texts(), QStringList({"Error :No file selected", "Error :No file selected"}));
  QCOMPARE(fake_->dialogs.boxes[1].kind, pf::MsgKind::Warning);
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  Open(f);
  // The temporary folder cannot be made (one level only) for a text.
  settings_.tempFolder = P("missing/two/levels");
  SelectRows(f, {"notes.txt"});
  f.Viewfile1Click();
  QCOMPARE(Texts(), QStringList({"Couldn't create TEMP directory: " + P("missing/two/levels")}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
  // ... and for pictures.
  fake_->dialogs.boxes.clear();
  SelectRows(f, {"one.jpg"});
  f.Viewfile1Click();
  QCOMPARE(Texts(), QStringList({"Cannot create directory \"" + P("missing/two/levels") + "\"."}));
  // No temporary folder set: the program's folder, with a warning, for the rest of the run.
  settings_.tempFolder = QString();
  fake_->dialogs.boxes.clear();
  int shown = 0;
  vw::TF_ShowImg::SetShowHook([&](vw::TF_ShowImg&) { ++shown; });
  f.Viewfile1Click();
  const QString programFolder = QString::fromStdString(arkelin::shared::WriteFolder());
  QCOMPARE(Texts(), QStringList({"You havn't set TEMP Directory, using: " + programFolder}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Warning);
  QCOMPARE(shown, 1);
  QCOMPARE(settings_.TempFolder(), programFolder);
  // The work folder cannot be made: Run says so and stops.
  settings_.tempFolder = Temp();
  WriteFile(QString::fromStdString(arkelin::shared::WorkFolder()), "a file where the folder should be");
  fake_->dialogs.boxes.clear();
  SelectRows(f, {"notes.txt"});
  f.Executefile1Click();
  QCOMPARE(Texts(), QStringList({"Cannot create directory \"" +
                                 QString::fromStdString(arkelin::shared::WorkFolder()) + "\"."}));
  QFile::remove(QString::fromStdString(arkelin::shared::WorkFolder()));
  // A program that cannot be started: nothing is shown, the copy goes.
  pf::FakeFileTypes types;
  types.programs[".txt"] = P("no-such-program").toStdString();
  pf::Current().fileTypes = &types;
  UseRealProcesses();
  fake_->dialogs.boxes.clear();
  f.Executefile1Click();
  QVERIFY(fake_->dialogs.boxes.empty());
  QVERIFY(!QFile::exists(QString::fromStdString(arkelin::shared::WorkFolder()) + "/notes.txt"));
}

QTEST_MAIN(ViewCommandsTest)
#include "ViewCommandsTest.moc"
