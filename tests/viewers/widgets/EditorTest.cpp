// The text editor window, offscreen, with scripted dialogs: Find and Replace
// with their rules, the File menu, the close over an archive entry, and
// printing a three-page text to PDF read back with pdftotext.
#include <QtTest>

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "viewers/widgets/REMain.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::viewers;
namespace pf = arkelin::platform;
namespace op = arkelin::open;

class EditorTest : public SessionTestBase {
  Q_OBJECT
 private:
  static QString Selected(TF_Editform& e) { return e.Memo1->textCursor().selectedText(); }
  static int SelStart(TF_Editform& e) { return e.Memo1->textCursor().selectionStart(); }
  static void SetText(TF_Editform& e, const QString& t) {
    e.Memo1->setPlainText(t);
    e.Modified = false;
  }
  static void Select(TF_Editform& e, int pos, int len) {
    QTextCursor c = e.Memo1->textCursor();
    c.setPosition(pos);
    c.setPosition(pos + len, QTextCursor::KeepAnchor);
    e.Memo1->setTextCursor(c);
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
  }
  void cleanup() {
    TF_Editform::SetPrintDialogHook(nullptr);
    EndSession();
  }

  void menusCaptionsAndHints();
  void findIsForwardWithOptionsForOneSearchOnly();
  void replaceTakesShortSelectionsAndReplacesAnyCase();
  void replaceAllTerminatesAndIsSilent();
  void fileMenuKeepsTheFormAndTheModifiedFlag();
  void closingOverAnArchiveEntry();
  void printsThreePagesOfText();
};

void EditorTest::menusCaptionsAndHints() {
  TF_Editform e;
  QCOMPARE(e.windowTitle(), QString("Noname - Tolvaren Arkelin2001"));
  QVERIFY(!e.Modified);
  QCOMPARE(e.Item("FileNewItem")->text(), QString("&New"));
  QCOMPARE(e.Item("FileNewItem")->statusTip(), QString("Create a new file"));
  QCOMPARE(e.Item("FileSaveAsItem")->statusTip(), QString("Save current file under a new name"));
  QCOMPARE(e.Item("FileExitItem")->statusTip(), QString("Exit this application"));
  QCOMPARE(e.Item("EditCopyItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
  QCOMPARE(e.Item("EditCopyItem")->statusTip(), QString("Copy selected item to clipboard"));
  QCOMPARE(e.Item("FindItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  QCOMPARE(e.Item("ReplaceItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
  QCOMPARE(e.Item("FindNextItem")->shortcut(), QKeySequence(Qt::Key_F3));
  QVERIFY(!e.Item("FindNextItem")->isEnabled());
  e.FindClick();
  QVERIFY(e.Item("FindNextItem")->isEnabled());
  QVERIFY(e.FindDialog1->isVisible());
  e.FindDialog1->close();
}

void EditorTest::findIsForwardWithOptionsForOneSearchOnly() {
  TF_Editform e;
  SetText(e, "Alpha alpha ALPHA alphabet alpha");
  Select(e, 20, 3);
  e.FindClick();
  QCOMPARE(SelStart(e), 0);
  QVERIFY(!e.Memo1->textCursor().hasSelection());   // Find starts at the top
  e.FindDialog1->SetFindText("alpha");
  e.FindDialog1->cb_Case->setChecked(true);
  e.FindDialog1->bu_FindNext->click();
  QVERIFY(!e.FindDialog1->isVisible());
  QCOMPARE(SelStart(e), 6);                        // the exact case, once
  QCOMPARE(Selected(e), QString("alpha"));
  QVERIFY(!e.FindDialog1->cb_Case->isChecked());   // reset after the search
  QCOMPARE(e.ReplaceDialog1->FindText(), QString("alpha"));
  e.Item("FindNextItem")->trigger();                // F3: case ignored now
  QCOMPARE(SelStart(e), 12);
  QCOMPARE(Selected(e), QString("ALPHA"));
  e.FindDialog1->cb_Whole->setChecked(true);
  e.FindNextClick();                                // whole word: skips "alphabet"
  QCOMPARE(SelStart(e), 27);
  QVERIFY(!e.FindDialog1->cb_Whole->isChecked());
  e.FindNextClick();                                // the end: no wrap
  QCOMPARE(Texts(), QStringList({"Text not found."}));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Information"));
  QCOMPARE(SelStart(e), 27);                        // the selection stays
  QCOMPARE(Selected(e), QString("alpha"));
  QCOMPARE(e.Memo1->toPlainText(), QString("Alpha alpha ALPHA alphabet alpha"));
  // Find again starts from the top.
  e.FindClick();
  e.FindDialog1->SetFindText("ALPHA");
  e.FindDialog1Find();
  QCOMPARE(SelStart(e), 0);
}

void EditorTest::replaceTakesShortSelectionsAndReplacesAnyCase() {
  TF_Editform e;
  const QString thirty(30, u'x');
  SetText(e, QStringLiteral("FOO bar foo ") + thirty);
  // A selection of 1 to 29 characters becomes the find text; 30 do not.
  Select(e, 12, 29);
  e.ReplaceClick();
  QCOMPARE(e.ReplaceDialog1->FindText(), QString(29, u'x'));
  e.ReplaceDialog1->SetFindText("foo");
  Select(e, 12, 30);
  e.ReplaceClick();
  QCOMPARE(e.ReplaceDialog1->FindText(), QString("foo"));
  QVERIFY(!e.ReplaceDialog1->cb_Case->isChecked());
  // The selected FOO is replaced whatever Match case says; the next foo is selected.
  Select(e, 0, 3);
  e.ReplaceDialog1->ed_Replace->setText("baz");
  e.ReplaceDialog1->cb_Case->setChecked(true);
  e.ReplaceDialog1->bu_Replace->click();
  QCOMPARE(e.Memo1->toPlainText().left(12), QString("baz bar foo "));
  QCOMPARE(SelStart(e), 8);
  QCOMPARE(Selected(e), QString("foo"));
  QVERIFY(fake_->dialogs.boxes.empty());
  e.ReplaceDialog1->bu_Replace->click();
  QCOMPARE(e.Memo1->toPlainText().left(12), QString("baz bar baz "));
  QCOMPARE(Texts(), QStringList({"Cannot find \"foo\"."}));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Tolvaren Arkelin2001"));   // a plain message
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnOK));
  // The Replace dialog's Find Next searches with the Find dialog's options.
  e.ReplaceDialog1->SetFindText("BAR");
  e.ReplaceDialog1->cb_Case->setChecked(true);
  Select(e, 0, 0);
  e.ReplaceDialog1->bu_FindNext->click();
  QVERIFY(!e.ReplaceDialog1->isVisible());
  QCOMPARE(e.FindDialog1->FindText(), QString("BAR"));
  QCOMPARE(Selected(e), QString("bar"));
}

void EditorTest::replaceAllTerminatesAndIsSilent() {
  TF_Editform e;
  SetText(e, "a b a\nA");
  e.ReplaceDialog1->SetFindText("a");
  e.ReplaceDialog1->ed_Replace->setText("aa");
  e.ReplaceDialog1->bu_ReplaceAll->click();
  QCOMPARE(e.Memo1->toPlainText(), QString("aa b aa\naa"));
  QVERIFY(fake_->dialogs.boxes.empty());
  e.ReplaceDialog1->SetFindText("zzz");
  e.ReplaceDialog1->bu_ReplaceAll->click();
  QVERIFY(fake_->dialogs.boxes.empty());            // Replace All ends without a word
  QCOMPARE(e.Memo1->toPlainText(), QString("aa b aa\naa"));
}

void EditorTest::fileMenuKeepsTheFormAndTheModifiedFlag() {
  WriteFile(P("dos.txt"), "first\r\nsecond caf\xE9\r\n");
  TF_Editform e;
  fake_->dialogs.openFiles.push_back({P("dos.txt").toStdString()});
  e.FileOpenClick();
  QCOMPARE(fake_->dialogs.fileDialogsAsked.back().filter, std::string("Text Filer (*.TXT)|*.TXT"));
  QCOMPARE(e.windowTitle(), QString("- dos.txt"));
  QVERIFY(e.Modified);                              // loading changed the text
  QCOMPARE(e.FileName, P("dos.txt"));
  e.Memo1->moveCursor(QTextCursor::End);
  e.Memo1->insertPlainText("third\n");
  e.FileSaveClick();                                // to the file it came from
  QCOMPARE(ReadFile(P("dos.txt")), QByteArray("first\r\nsecond caf\xE9\r\nthird\r\n"));
  QVERIFY(e.Modified);                              // saving does not clear it
  fake_->dialogs.saveFiles.push_back(P("copy.txt").toStdString());
  e.FileSaveAsClick();
  QCOMPARE(ReadFile(P("copy.txt")), ReadFile(P("dos.txt")));
  QCOMPARE(e.windowTitle(), QString("- copy.txt"));
  QCOMPARE(e.FileName, P("copy.txt"));
  // A file that cannot be written is reported.
  fake_->dialogs.saveFiles.push_back(dir_->path().toStdString());   // a folder
  e.FileSaveAsClick();
  QVERIFY(Texts().last().startsWith("Cannot create file"));
  QCOMPARE(fake_->dialogs.boxes.back().kind, pf::MsgKind::Error);
  QCOMPARE(e.FileName, P("copy.txt"));
  // New: empty, no name; Save then asks for one (cancelled here).
  e.FileNewClick();
  QCOMPARE(e.windowTitle(), QString("- Noname"));
  QVERIFY(e.Memo1->toPlainText().isEmpty());
  const size_t asked = fake_->dialogs.fileDialogsAsked.size();
  e.FileSaveClick();
  QCOMPARE(fake_->dialogs.fileDialogsAsked.size(), asked + 1);
  // A file that cannot be read is reported; the text stays.
  e.Memo1->setPlainText("kept");
  fake_->dialogs.openFiles.push_back({P("missing.txt").toStdString()});
  e.FileOpenClick();
  QVERIFY(Texts().last().startsWith("Cannot open file"));
  QCOMPARE(e.Memo1->toPlainText(), QString("kept"));
  QCOMPARE(e.windowTitle(), QString("- Noname"));
}

void EditorTest::closingOverAnArchiveEntry() {
  WriteFile(P("entry.txt"), "original\n");
  op::ViewState state;
  state.ViewedEntry = "docs\\entry.txt";
  {
    // Unchanged: nothing written, nothing asked.
    state.editBack = op::EditBack::Editing;
    TF_Editform e(&state);
    QVERIFY(e.LoadFile(P("entry.txt")));
    e.Modified = false;
    e.show();
    QVERIFY(e.close());
    QCOMPARE(state.editBack, op::EditBack::Editing);
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(!QFile::exists(QString::fromStdString(state.UpdateCopy)));
  }
  {
    // After File Save the flag is still set: the close asks.
    state.editBack = op::EditBack::Editing;
    TF_Editform e(&state);
    QVERIFY(e.LoadFile(P("entry.txt")));
    e.Modified = false;
    e.FileName = P("entry.txt");
    e.Memo1->moveCursor(QTextCursor::End);
    e.Memo1->insertPlainText("added\n");
    e.FileSaveClick();
    fake_->dialogs.answers.push_back(pf::BtnYes);
    e.show();
    QVERIFY(e.close());
    QCOMPARE(Texts(), QStringList({"Update zipfile?"}));
    QCOMPARE(state.editBack, op::EditBack::UpdateWanted);
    QCOMPARE(QString::fromStdString(state.UpdateCopy), P("Edited/docs/entry.txt"));
    QCOMPARE(ReadFile(P("Edited/docs/entry.txt")), QByteArray("original\nadded\n"));   // still plain text
  }
  {
    // The editor on its own closes without a word.
    TF_Editform e;
    e.Memo1->setPlainText("anything");
    fake_->dialogs.boxes.clear();
    e.show();
    QVERIFY(e.close());
    QVERIFY(fake_->dialogs.boxes.empty());
  }
}

void EditorTest::printsThreePagesOfText() {
  const QString pdf = P("out.pdf");
  auto toPdf = [&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    p.setPageSize(QPageSize(QPageSize::A4));
    p.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    return true;
  };
  TF_Editform e;
  QFont font(QStringLiteral("DejaVu Sans Mono"), 11);
  e.Memo1->setFont(font);
  // Lines per page for this font on this page, then two and a half pages.
  QPrinter probe;
  toPdf(probe);
  const QRect page = probe.pageLayout().paintRectPixels(probe.resolution());
  const int perPage = static_cast<int>(page.height() / QFontMetricsF(font, &probe).lineSpacing());
  QVERIFY(perPage > 10);
  QStringList lines;
  const int count = perPage * 2 + perPage / 2;
  for (int i = 1; i <= count; ++i) lines << QStringLiteral("Line %1 of the printed text").arg(i, 4, 10, QChar(u'0'));
  // One line far wider than the page, which wraps instead of being cut.
  lines[5] = QStringLiteral("wide ") + QStringList(QList<QString>(40, QStringLiteral("word"))).join(u' ') +
             QStringLiteral(" widest");
  e.Memo1->setPlainText(lines.join(u'\n'));
  TF_Editform::SetPrintDialogHook(toPdf);
  e.FilePrintClick();
  QVERIFY(QFile::exists(pdf));
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!text.waitForStarted(10000)) QSKIP("pdftotext (poppler-utils) is not installed");
  QVERIFY(text.waitForFinished(60000));
  const QString out = QString::fromUtf8(text.readAllStandardOutput());
  QCOMPARE(out.count(u'\f'), 3);                    // pdftotext ends every page with a form feed
  qsizetype at = 0;
  for (int i = 0; i < count; ++i) {
    if (i == 5) continue;
    const qsizetype found = out.indexOf(lines[i], at);
    QVERIFY2(found >= 0, qPrintable(lines[i]));
    at = found + lines[i].size();
  }
  QVERIFY(out.contains(QStringLiteral("widest")));
  QCOMPARE(out.count(QStringLiteral("word")), 40);
}

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
