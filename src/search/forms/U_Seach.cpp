#include "search/forms/U_Seach.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::search {

namespace pf = arkelin::platform;

namespace {
TF_Search::ShowHook g_showHook;
}

void TF_Search::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

TF_Search::TF_Search(int mode, ResultActions actions, QWidget* parent)
    : QDialog(parent), mode_(mode), actions_(std::move(actions)) {
  setObjectName(QStringLiteral("F_Search"));
  setWindowTitle(mode_ == 1 ? QStringLiteral("Search for archive(s)") : QStringLiteral("Search for file(s)"));
  la_Heading = new QLabel(QStringLiteral("Search"), this);
  la_Heading->setObjectName(QStringLiteral("la_Heading"));
  QFont f = la_Heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.4);
  la_Heading->setFont(f);
  la_Heading->setAutoFillBackground(true);
  la_Heading->setBackgroundRole(QPalette::Base);
  la_Heading->setForegroundRole(QPalette::Text);
  la_Heading->setMargin(8);

  // "C:\" of the stored defaults is the home folder here.
  ed_Startin = new QLineEdit(QString::fromStdString(pf::MapDefaultPath("C:\\")), this);
  ed_Startin->setObjectName(QStringLiteral("ed_Startin"));
  ed_file = new QLineEdit(this);
  ed_file->setObjectName(QStringLiteral("ed_file"));
  auto* la_Startin = new QLabel(QStringLiteral("Start search in:"), this);
  la_Startin->setBuddy(ed_Startin);
  auto* la_file = new QLabel(QStringLiteral("Search for:"), this);
  la_file->setBuddy(ed_file);
  ch_Recursive = new QCheckBox(QStringLiteral("Recursive"), this);
  ch_Recursive->setObjectName(QStringLiteral("ch_Recursive"));
  ch_Recursive->setChecked(true);
  bu_Start = new QPushButton(QStringLiteral("&Start"), this);
  bu_Start->setObjectName(QStringLiteral("bu_Start"));
  bu_Start->setToolTip(QStringLiteral("Start search"));
  bu_Start->setDefault(true);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setToolTip(QStringLiteral("Abort search"));
  bu_Close->setAutoDefault(false);
  // Over this button the arrow shows even while the window shows the hourglass.
  bu_Close->setCursor(Qt::ArrowCursor);

  auto* fields = new QGridLayout;
  fields->addWidget(la_Startin, 0, 0);
  fields->addWidget(ed_Startin, 0, 1);
  fields->addWidget(la_file, 1, 0);
  fields->addWidget(ed_file, 1, 1);
  fields->addWidget(ch_Recursive, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bu_Start);
  buttons->addWidget(bu_Close);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(la_Heading);
  outer->addLayout(fields);
  outer->addStretch(1);
  outer->addLayout(buttons);
  resize(420, 200);

  connect(bu_Start, &QPushButton::clicked, this, [this] { bu_StartClick(); });
  connect(bu_Close, &QPushButton::clicked, this, [this] { bu_CloseClick(); });
  search_.OnFolder = [this](const std::string& folder) { setWindowTitle(QString::fromStdString(folder)); };
}

void TF_Search::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TF_Search::SetSearching(bool on) {
  bu_Close->setText(on ? QStringLiteral("&Abort") : QStringLiteral("&Close"));
  bu_Start->setEnabled(!on);
  if (on)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void TF_Search::bu_StartClick() {
  if (search_.Searching()) return;
  if (ed_file->text().isEmpty()) {
    pf::Dialogs().MessageBox("You must enter a Search pattern first!", pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  search_.StartFolder = ed_Startin->text().toStdString();
  search_.Pattern = ed_file->text().toStdString();
  search_.Recursive = ch_Recursive->isChecked();
  SetSearching(true);
  pf::Pump().ProcessMessages();
  TDiskSearch::Outcome outcome;
  {
    pf::BusyCursorScope busy(pf::Busy());
    outcome = search_.Start();
  }
  SetSearching(false);
  setWindowTitle(QString());
  if (outcome == TDiskSearch::Outcome::Aborted) return;
  if (outcome == TDiskSearch::Outcome::StartFailed) {
    pf::Dialogs().MessageBox(search_.ErrorText, pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  TF_Result result(mode_, actions_, this);
  result.SetResults(search_.Results, search_.Pattern, search_.Skipped);
  result.ShowModal();
  if (result.CloseSearch) {
    AddList = result.AddList;
    accept();
  }
}

void TF_Search::bu_CloseClick() {
  if (search_.Searching()) {
    setWindowTitle(QString());
    search_.Abort();
    SetSearching(false);
    return;
  }
  reject();
}

void TF_Search::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    if (search_.Searching()) search_.Abort();
    // Closed once the walk has unwound (closeEvent waits for it).
    close();
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TF_Search::closeEvent(QCloseEvent* e) {
  // The walk runs inside this window's handler: closing under it would free
  // what it works on. Stop it; the window closes when the walk has returned.
  if (search_.Searching()) {
    search_.Abort();
    e->ignore();
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    return;
  }
  QDialog::closeEvent(e);
}

}  // namespace arkelin::search
