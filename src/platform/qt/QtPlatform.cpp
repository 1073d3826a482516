// Qt Widgets versions of the dialogs, busy cursor and message pump.
//
// The file dialogs are Qt's own widget dialogs rather than the desktop's:
// they behave the same on every desktop, match patterns without regard to
// case (archives from other systems are often named "SETUP.ZIP") and can be
// driven from tests.
#include "platform/qt/QtPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

#include "platform/NameText.h"

namespace arkelin::platform::qt {

namespace {

// Texts, and file names kept byte for byte (platform/NameText.h).
QString Q(const std::string& s) { return NameToText(s); }

QMessageBox::Icon IconFor(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Confirm: return QMessageBox::Question;
    case MsgKind::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole RoleFor(Button b) {
  switch (b) {
    case BtnYes: return QMessageBox::YesRole;
    case BtnNo: return QMessageBox::NoRole;
    case BtnOK: return QMessageBox::AcceptRole;
    case BtnRetry: return QMessageBox::AcceptRole;
    case BtnCancel: return QMessageBox::RejectRole;
    case BtnAbort: return QMessageBox::DestructiveRole;
    default: break;
  }
  return QMessageBox::ActionRole;
}

// The answer when the box is closed without a button: the first of Cancel,
// No and Abort that the box offers; a box with none of them answers its only
// sensible button (OK, or Retry when that is all it has).
Button ClosedAnswer(Buttons buttons) {
  if (buttons & BtnCancel) return BtnCancel;
  if (buttons & BtnNo) return BtnNo;
  if (buttons & BtnAbort) return BtnAbort;
  if (buttons & BtnOK) return BtnOK;
  if (buttons & BtnYes) return BtnYes;
  return BtnRetry;
}

QWidget* Owner() { return QApplication::activeWindow(); }

std::string StartFolder(const FileDialogRequest& req) {
  if (!req.initialDir.empty()) return req.initialDir;
  if (!req.fileName.empty()) {
    const QFileInfo fi(Q(req.fileName));
    if (fi.isAbsolute()) return TextToName(fi.absolutePath());
  }
  return {};
}

void Prepare(QFileDialog& dlg, const FileDialogRequest& req) {
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  if (!req.title.empty()) dlg.setWindowTitle(Q(req.title));
  const std::string start = StartFolder(req);
  if (!start.empty()) dlg.setDirectory(Q(start));
  const QStringList filters = QtNameFilters(req.filter);
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    if (req.filterIndex >= 1 && req.filterIndex <= filters.size())
      dlg.selectNameFilter(filters[req.filterIndex - 1]);
  }
  std::string ext = req.defaultExt;
  while (!ext.empty() && ext.front() == '.') ext.erase(ext.begin());
  if (!ext.empty()) dlg.setDefaultSuffix(Q(ext));
  if (!req.fileName.empty()) dlg.selectFile(QFileInfo(Q(req.fileName)).fileName());
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (QString p : parts[i + 1].split(QLatin1Char(';'))) {
      p = p.trimmed();
      if (p.isEmpty()) continue;
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
      if (!patterns.contains(p)) patterns << p;
    }
    if (patterns.isEmpty()) continue;
    QString desc = parts[i].trimmed();
    if (desc.isEmpty()) desc = patterns.join(QLatin1Char(' '));
    out << desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out;
}

Button QtDialogs::MessageBox(const std::string& text, MsgKind kind, Buttons buttons) {
  return MessageBoxCaption(CaptionForKind(kind), text, kind, buttons);
}

Button QtDialogs::MessageBoxCaption(const std::string& caption, const std::string& text, MsgKind kind,
                                    Buttons buttons) {
  if ((buttons & (BtnYes | BtnNo | BtnOK | BtnCancel | BtnAbort | BtnRetry)) == 0) buttons = BtnOK;
  QMessageBox box(Owner());
  box.setWindowTitle(Q(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(Q(text));
  box.setIcon(IconFor(kind));

  std::vector<std::pair<QAbstractButton*, Button>> made;
  static const Button kOrder[] = {BtnYes, BtnNo, BtnOK, BtnRetry, BtnCancel, BtnAbort};
  for (Button b : kOrder) {
    if (!(buttons & b)) continue;
    QPushButton* pb = box.addButton(Q(ButtonCaption(b)), RoleFor(b));
    made.emplace_back(pb, b);
  }
  // The first button is the default one, as the boxes always had it.
  box.setDefaultButton(static_cast<QPushButton*>(made.front().first));
  const Button closed = ClosedAnswer(buttons);
  for (const auto& [w, b] : made)
    if (b == closed) box.setEscapeButton(w);

  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [w, b] : made)
    if (w == clicked) return b;
  return closed;
}

std::optional<std::string> QtDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                               const std::string& initial, bool password) {
  QInputDialog dlg(Owner());
  dlg.setInputMode(QInputDialog::TextInput);
  dlg.setWindowTitle(Q(caption));
  dlg.setLabelText(Q(prompt));
  dlg.setTextValue(Q(initial));
  dlg.setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return TextToName(dlg.textValue());
}

std::vector<std::string> QtDialogs::OpenFiles(const FileDialogRequest& req) {
  QFileDialog dlg(Owner());
  Prepare(dlg, req);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  if (req.allowMultiple)
    dlg.setFileMode(QFileDialog::ExistingFiles);
  else
    dlg.setFileMode(req.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (dlg.exec() != QDialog::Accepted) return {};
  std::vector<std::string> out;
  for (const QString& f : dlg.selectedFiles()) out.push_back(TextToName(f));
  return out;
}

std::optional<std::string> QtDialogs::SaveFile(const FileDialogRequest& req) {
  QFileDialog dlg(Owner());
  Prepare(dlg, req);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, !req.overwritePrompt);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dlg.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return TextToName(files.front());
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& title, const std::string& start) {
  QFileDialog dlg(Owner());
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setOption(QFileDialog::ShowDirsOnly, true);
  dlg.setFileMode(QFileDialog::Directory);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  if (!title.empty()) dlg.setWindowTitle(Q(title));
  if (!start.empty()) dlg.setDirectory(Q(start));
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dlg.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return TextToName(files.front());
}

void QtBusyCursor::Begin() {
  ++depth_;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtBusyCursor::End() {
  if (depth_ == 0) return;
  --depth_;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) QGuiApplication::restoreOverrideCursor();
}

void QtMessagePump::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void InstallQtPlatform() {
  static QtDialogs dialogs;
  static QtBusyCursor busy;
  static QtMessagePump pump;
  Services s = Current();
  s.dialogs = &dialogs;
  s.busy = &busy;
  s.pump = &pump;
  Install(s);
}

}  // namespace arkelin::platform::qt
