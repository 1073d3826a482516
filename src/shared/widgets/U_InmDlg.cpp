// TF_InmDlg: see U_InmDlg.h. The rows are laid out by hand with the
// dialog's own proportions: 30-pixel pitch, labels at x = 10, edits one column
// to the right of the widest label.
#include "shared/widgets/U_InmDlg.h"

#include <QCalendarWidget>
#include <QDate>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace arkelin::shared {

namespace {
std::string g_fields;  // the field list going in, the result coming out
InmDlgHook g_hook = nullptr;
constexpr char kFieldEnd = '\x02';
constexpr char kPartSep = '\x01';
const char* kDateFormat = "yyyy/MM/dd";

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}
}  // namespace

TF_InmDlg::TF_InmDlg(QWidget* parent) : QDialog(parent) {
  std::string layout = g_fields;
  g_fields.clear();
  int y = 15, height = 0, widestLabel = 0, widestEdit = 0;
  const int kWidth = QFontMetrics(font()).horizontalAdvance(QStringLiteral("K"));
  std::vector<QLabel*> labels;
  while (!layout.empty()) {
    size_t end = layout.find(kFieldEnd);
    std::string record = layout.substr(0, end);
    layout.erase(0, end == std::string::npos ? layout.size() : end + 1);
    std::vector<std::string> parts = Split(record, kPartSep);
    parts.resize(4);
    auto* label = new QLabel(QString::fromStdString(parts[0]), this);
    label->adjustSize();
    label->move(10, y);
    widestLabel = std::max(widestLabel, label->width());
    labels.push_back(label);

    auto* edit = new QLineEdit(this);
    edit->hide();
    int maxLen = 0;
    try {
      maxLen = std::stoi(parts[2]);
    } catch (...) {
      maxLen = 0;  // a caller error; the field is then unbounded
    }
    QFont bold = edit->font();
    bold.setBold(true);
    edit->setFont(bold);
    char type = parts[1].empty() ? 'S' : parts[1][0];
    switch (type) {
      case 'A':
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[A-Za-z\u00C4\u00C5\u00D6\u00E4\u00E5\u00F6]*")), edit));
        break;
      case 'N':
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        break;
      case 'D':
        edit->setInputMask(QStringLiteral("9999/99/99;_"));
        break;
      case 'L':
        edit->setEchoMode(QLineEdit::Password);
        break;
      default:
        break;
    }
    if (maxLen > 0 && type != 'D') edit->setMaxLength(maxLen);
    edit->setText(QString::fromStdString(parts[3]));
    edit->resize(std::max(30, maxLen * kWidth), edit->sizeHint().height());
    edit->move(0, y - 4);
    edit->installEventFilter(this);
    widestEdit = std::max(widestEdit, edit->width());
    edits_.push_back(edit);
    types_.push_back(type);
    y += 30;
    height += 30;
  }
  const int clientWidth = std::max(widestLabel + widestEdit + 30, 200);
  const int clientHeight = height + 15 + 45;
  for (QLineEdit* e : edits_) {
    e->move(widestLabel + 20, e->y());
    e->show();
  }
  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::Panel);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(2, 2, clientWidth - 4, clientHeight - 35);
  bevel->lower();

  auto* ok = new QPushButton(tr("&OK"), this);
  auto* cancel = new QPushButton(tr("&Avbryt"), this);
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  for (QPushButton* b : {ok, cancel}) {
    b->setAutoDefault(false);
    b->setDefault(false);
    b->resize(75, 25);
  }
  cancel->move(clientWidth - 85, clientHeight - 28);
  ok->move(clientWidth - 170, clientHeight - 28);
  connect(ok, &QPushButton::clicked, this, &TF_InmDlg::OkClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(clientWidth, clientHeight);
  if (!edits_.empty()) edits_.front()->setFocus();
  // Tab order follows creation order: the fields, then OK, then cancel.
  QWidget* prev = nullptr;
  for (QLineEdit* e : edits_) {
    if (prev) setTabOrder(prev, e);
    prev = e;
  }
  if (prev) setTabOrder(prev, ok);
  setTabOrder(ok, cancel);
}

bool TF_InmDlg::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      focusNextChild();  // Enter never closes the dialog from a field
      return true;
    }
    size_t i = std::find(edits_.begin(), edits_.end(), edit) - edits_.begin();
    if (key->key() == Qt::Key_F12 && i < types_.size() && types_[i] == 'D') {
      PickDate(edit);
      return true;
    }
  }
  if (edit && event->type() == QEvent::MouseButtonDblClick) {
    size_t i = std::find(edits_.begin(), edits_.end(), edit) - edits_.begin();
    if (i < types_.size() && types_[i] == 'D') {
      PickDate(edit);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TF_InmDlg::PickDate(QLineEdit* edit) {
  QDate start = QDate::fromString(edit->text(), QString::fromLatin1(kDateFormat));
  if (!start.isValid()) start = QDate::currentDate();
  QDialog picker(this);
  auto* layout = new QVBoxLayout(&picker);
  auto* calendar = new QCalendarWidget(&picker);
  calendar->setSelectedDate(start);
  layout->addWidget(calendar);
  connect(calendar, &QCalendarWidget::activated, &picker, &QDialog::accept);
  if (picker.exec() == QDialog::Accepted) edit->setText(calendar->selectedDate().toString(QString::fromLatin1(kDateFormat)));
}

void TF_InmDlg::OkClicked() {
  std::string result;
  for (size_t i = 0; i < edits_.size(); ++i) {
    QString text = edits_[i]->text();
    // A date with an unfilled position counts as no date.
    if (types_[i] == 'D' && !edits_[i]->hasAcceptableInput()) text.clear();
    result += text.toStdString();
    result += kFieldEnd;
  }
  g_fields = result;
  accept();
}

void AskFields(const std::string& caption, std::string& fields) {
  g_fields = fields;
  TF_InmDlg dialog;
  dialog.setWindowTitle(QString::fromStdString(caption));
  if (g_hook) g_hook(dialog);
  if (dialog.exec() != QDialog::Accepted) g_fields.clear();
  fields = g_fields;
  g_fields.clear();
}

std::string RarPasswordFields() { return std::string("Password:\x01L\x01") + "10\x01\x02"; }

std::string FirstField(const std::string& result) { return result.substr(0, result.find(kFieldEnd)); }

void SetInmDlgHook(InmDlgHook hook) { g_hook = hook; }

}  // namespace arkelin::shared
