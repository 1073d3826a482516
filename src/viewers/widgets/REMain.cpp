#include "viewers/widgets/REMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"
#include "viewers/TextSearch.h"
#include "viewers/widgets/TextPrint.h"

namespace arkelin::viewers {

namespace pf = arkelin::platform;

namespace {
TF_Editform::ShowHook g_showHook;
std::function<bool(QPrinter&)> g_printHook;

std::string S(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr const char* kFilter = "Text Filer (*.TXT)|*.TXT";
}  // namespace

TF_Editform::TF_Editform(open::ViewState* state, QWidget* parent) : QDialog(parent), state_(state) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  MainMenu = new QMenuBar(this);
  layout->setMenuBar(MainMenu);
  Memo1 = new QTextEdit(this);
  Memo1->setLineWrapMode(QTextEdit::NoWrap);   // both scroll bars, as a plain editor
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(Memo1);
  FindDialog1 = new TFindDialog(this);
  ReplaceDialog1 = new TReplaceDialog(this);
  FindDialog1->OnFind = [this] { FindDialog1Find(); };
  ReplaceDialog1->OnFind = [this] { ReplaceDialog1Find(); };
  ReplaceDialog1->OnReplace = [this](bool all) { ReplaceDialog1Replace(all); };
  BuildMenus();
  connect(Memo1->document(), &QTextDocument::contentsChanged, this, [this] { Modified = true; });
  setWindowTitle(QStringLiteral("Noname - ") + Q(pf::ApplicationTitle()));
  resize(640, 480);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  Modified = false;
}

TF_Editform::~TF_Editform() = default;

void TF_Editform::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }
void TF_Editform::SetPrintDialogHook(std::function<bool(QPrinter&)> hook) { g_printHook = std::move(hook); }

void TF_Editform::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

QAction* TF_Editform::AddItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& key,
                              const QString& hint, void (TF_Editform::*handler)()) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(name);
  if (!key.isEmpty()) a->setShortcut(key);
  if (!hint.isEmpty()) {
    a->setStatusTip(hint);
    a->setToolTip(hint);
  }
  if (handler) connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  items_ << qMakePair(name, a);
  addAction(a);   // shortcuts work wherever the focus is in the window
  return a;
}

QAction* TF_Editform::Item(const QString& name) const {
  for (const auto& [n, a] : items_)
    if (n == name) return a;
  return nullptr;
}

void TF_Editform::BuildMenus() {
  QMenu* file = MainMenu->addMenu(QStringLiteral("&File"));
  AddItem(file, "FileNewItem", "&New", {}, "Create a new file", &TF_Editform::FileNewClick);
  AddItem(file, "FileOpenItem", "&Open...", {}, "Open an existing file", &TF_Editform::FileOpenClick);
  AddItem(file, "FileSaveItem", "&Save", {}, "Save current file", &TF_Editform::FileSaveClick);
  AddItem(file, "FileSaveAsItem", "Save &As...", {}, "Save current file under a new name",
          &TF_Editform::FileSaveAsClick);
  file->addSeparator();
  AddItem(file, "FilePrintItem", "&Print...", {}, "Print current file", &TF_Editform::FilePrintClick);
  AddItem(file, "FilePrintSetupItem", "P&rinter settings...", {}, {}, &TF_Editform::FilePrintSetupClick);
  file->addSeparator();
  AddItem(file, "FileExitItem", "&Exit", {}, "Exit this application", &TF_Editform::FileExitClick);

  QMenu* edit = MainMenu->addMenu(QStringLiteral("&Edit"));
  QAction* undo = AddItem(edit, "EditUndoItem", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "Undo the last action",
                          nullptr);
  connect(undo, &QAction::triggered, Memo1, &QTextEdit::undo);
  edit->addSeparator();
  QAction* cut = AddItem(edit, "EditCutItem", "&Cut", QKeySequence(Qt::CTRL | Qt::Key_X), "Delete selected item",
                         nullptr);
  connect(cut, &QAction::triggered, Memo1, &QTextEdit::cut);
  QAction* copy = AddItem(edit, "EditCopyItem", "C&opy", QKeySequence(Qt::CTRL | Qt::Key_C),
                          "Copy selected item to clipboard", nullptr);
  connect(copy, &QAction::triggered, Memo1, &QTextEdit::copy);
  QAction* paste = AddItem(edit, "EditPasteItem", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V),
                           "Paste contents of clipboard", nullptr);
  connect(paste, &QAction::triggered, Memo1, &QTextEdit::paste);
  edit->addSeparator();
  QAction* all = AddItem(edit, "EditSelectAllItem", "Select &All", {}, {}, nullptr);
  connect(all, &QAction::triggered, Memo1, &QTextEdit::selectAll);

  QMenu* search = MainMenu->addMenu(QStringLiteral("&Search"));
  AddItem(search, "FindItem", "&Find...", QKeySequence(Qt::CTRL | Qt::Key_F), {}, &TF_Editform::FindClick);
  AddItem(search, "ReplaceItem", "&Replace", QKeySequence(Qt::CTRL | Qt::Key_R), {}, &TF_Editform::ReplaceClick);
  AddItem(search, "FindNextItem", "Find &Next", QKeySequence(Qt::Key_F3), {}, &TF_Editform::FindNextClick)
      ->setEnabled(false);
}

void TF_Editform::SetCaptionFor(const QString& path) {
  setWindowTitle(QStringLiteral("- ") + QFileInfo(path).fileName());
}

// ---- Files ----

bool TF_Editform::LoadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    pf::Dialogs().MessageBox(S(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString())),
                             pf::MsgKind::Error, pf::BtnOK);
    return false;
  }
  const QByteArray bytes = f.readAll();
  QTextDocument* doc = Memo1->document();
  format_ = LoadTextBytes(bytes, *doc);
  // Pasting into plain text keeps it plain.
  Memo1->setAcceptRichText(format_.kind == TextFileFormat::Kind::Rtf);
  Memo1->moveCursor(QTextCursor::Start);
  Modified = true;
  return true;
}

bool TF_Editform::SaveFile(const QString& path) {
  const QByteArray bytes = SaveTextBytes(*Memo1->document(), format_);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush()) {
    pf::Dialogs().MessageBox(S(QStringLiteral("Cannot create file \"%1\". %2").arg(path, f.errorString())),
                             pf::MsgKind::Error, pf::BtnOK);
    return false;
  }
  return true;
}

void TF_Editform::FileNewClick() {
  Memo1->clear();
  format_ = TextFileFormat{};
  Memo1->setAcceptRichText(false);
  FileName.clear();
  setWindowTitle(QStringLiteral("- Noname"));
}

namespace {
pf::FileDialogRequest Request(const QString& title, const QString& fileName, bool save) {
  pf::FileDialogRequest r;
  r.title = S(title);
  r.filter = kFilter;
  r.initialDir = shared::ProgramFolder();
  r.fileName = S(fileName);
  r.mustExist = !save;
  r.overwritePrompt = save;
  return r;
}
}  // namespace

void TF_Editform::FileOpenClick() {
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(Request(QStringLiteral("Open"), FileName, false));
  if (chosen.empty()) return;
  const QString path = Q(chosen.front());
  if (!LoadFile(path)) return;
  FileName = path;
  SetCaptionFor(path);
}

void TF_Editform::FileSaveClick() {
  if (FileName.isEmpty()) {
    FileSaveAsClick();
    return;
  }
  SaveFile(FileName);
}

void TF_Editform::FileSaveAsClick() {
  const auto chosen = pf::Dialogs().SaveFile(Request(QStringLiteral("Save As"), FileName, true));
  if (!chosen) return;
  const QString path = Q(*chosen);
  if (!SaveFile(path)) return;
  SetCaptionFor(path);
  FileName = path;
}

void TF_Editform::FilePrintClick() {
  QPrinter printer;
  bool ok = false;
  if (g_printHook) {
    ok = g_printHook(printer);
  } else {
    QPrintDialog dialog(&printer, this);
    ok = dialog.exec() == QDialog::Accepted;
  }
  if (ok) PrintTo(printer);
}

void TF_Editform::FilePrintSetupClick() {
  QPrinter printer;
  if (g_printHook) {
    g_printHook(printer);
    return;
  }
  QPageSetupDialog dialog(&printer, this);
  dialog.exec();
}

int TF_Editform::PrintTo(QPrinter& printer) { return PrintPlainText(printer, RawPlainText(*Memo1->document()), Memo1->font()); }

void TF_Editform::FileExitClick() { close(); }

void TF_Editform::closeEvent(QCloseEvent* e) {
  if (state_) {
    const bool mayClose = open::EditorClosing(*state_, Modified, [this](const std::string& path) {
      const QByteArray bytes = SaveTextBytes(*Memo1->document(), format_);
      QFile f(Q(path));
      if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        return S(f.errorString());
      return std::string();
    });
    if (!mayClose) {
      e->ignore();
      return;
    }
  }
  FindDialog1->close();
  ReplaceDialog1->close();
  QDialog::closeEvent(e);
}

// ---- Searching ----

void TF_Editform::Select(int pos, int length) {
  QTextCursor c = Memo1->textCursor();
  c.setPosition(pos);
  c.setPosition(pos + length, QTextCursor::KeepAnchor);
  Memo1->setTextCursor(c);
}

void TF_Editform::FindClick() {
  QTextCursor c = Memo1->textCursor();
  c.setPosition(0);
  Memo1->setTextCursor(c);
  FindDialog1->show();
  FindDialog1->raise();
  Item("FindNextItem")->setEnabled(true);
}

void TF_Editform::FindNextClick() {
  const QTextCursor c = Memo1->textCursor();
  const QString text = FindDialog1->FindText();
  const int start = c.selectionEnd();
  const int at = FindForward(*Memo1->document(), start, text, FindDialog1->MatchCase(), FindDialog1->WholeWord());
  if (at < 0)
    pf::Dialogs().MessageBox("Text not found.", pf::MsgKind::Information, pf::BtnOK);
  else
    Select(at, static_cast<int>(text.size()));
  ReplaceDialog1->SetFindText(text);
  Memo1->viewport()->update();
  FindDialog1->ResetOptions();
  ReplaceDialog1->ResetOptions();
}

void TF_Editform::FindDialog1Find() {
  FindDialog1->close();
  Memo1->setFocus();
  FindNextClick();
}

void TF_Editform::ReplaceClick() {
  const QString selected = Memo1->textCursor().selectedText();
  if (!selected.isEmpty() && selected.size() <= 29) ReplaceDialog1->SetFindText(selected);
  ReplaceDialog1->ResetOptions();
  ReplaceDialog1->show();
  ReplaceDialog1->raise();
}

void TF_Editform::ReplaceDialog1Find() {
  FindDialog1->SetFindText(ReplaceDialog1->FindText());
  ReplaceDialog1->close();
  Memo1->setFocus();
  FindNextClick();
}

void TF_Editform::ReplaceDialog1Replace(bool all) {
  const QString find = ReplaceDialog1->FindText();
  const QString with = ReplaceDialog1->ReplaceText();
  const bool matchCase = ReplaceDialog1->MatchCase();
  const QLocale locale;
  QTextCursor c = Memo1->textCursor();
  // The selection is replaced when it is the find text in any case.
  if (c.hasSelection() && locale.toUpper(c.selectedText()) == locale.toUpper(find)) {
    c.insertText(with);
    Memo1->setTextCursor(c);
  }
  auto search = [&] {
    const QTextCursor now = Memo1->textCursor();
    const int at = SearchMemo(*Memo1->document(), now.selectionStart(), now.selectionEnd() - now.selectionStart(),
                              find, matchCase);
    if (at >= 0) Select(at, static_cast<int>(find.size()));
    return at >= 0;
  };
  bool found = search();
  while (found && all) {
    QTextCursor sel = Memo1->textCursor();
    sel.insertText(with);
    Memo1->setTextCursor(sel);
    found = search();
  }
  if (!found && !all)
    pf::Dialogs().ShowMessage(S(QStringLiteral("Cannot find \"") + find + QStringLiteral("\".")));
}

}  // namespace arkelin::viewers
