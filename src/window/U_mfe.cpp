#include "window/U_mfe.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "platform/Platform.h"
#include "shared/widgets/U_InmDlg.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {
TF_MFE::ShowHook g_showHook;

QString CellText(const shared::TSortGrid* g, int row, int col) {
  const QTableWidgetItem* it = g->item(row, col);
  return it ? it->text() : QString();
}
}  // namespace

void TF_MFE::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

TF_MFE::TF_MFE(QWidget* parent) : QDialog(parent), pass_(std::make_unique<open::TMultiExtract>()) {
  setObjectName(QStringLiteral("F_MFE"));
  setWindowTitle(QStringLiteral(" "));
  la_Heading = new QLabel(QStringLiteral("Multiple File Extracting"), this);
  la_Heading->setObjectName(QStringLiteral("la_Heading"));
  QFont f = la_Heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.4);
  la_Heading->setFont(f);
  bu_Add = new QPushButton(QStringLiteral("<Add>"), this);
  bu_Add->setObjectName(QStringLiteral("bu_Add"));
  bu_Add->setToolTip(QStringLiteral("Add file(s)"));
  bu_Remove = new QPushButton(QStringLiteral("<Remove>"), this);
  bu_Remove->setObjectName(QStringLiteral("bu_Remove"));
  bu_Remove->setToolTip(QStringLiteral("Remove selected file(s)"));
  auto* la_Defdir = new QLabel(QStringLiteral("Default dir"), this);
  ed_Defdir = new QLineEdit(QStringLiteral("Please, enter your default directory here"), this);
  ed_Defdir->setObjectName(QStringLiteral("ed_Defdir"));
  la_Defdir->setBuddy(ed_Defdir);

  gr_Files = new shared::TSortGrid(this);
  gr_Files->setObjectName(QStringLiteral("gr_Files"));
  gr_Files->setColumnCount(2);
  gr_Files->setRowCount(1);
  gr_Files->setHorizontalHeaderLabels({QStringLiteral("Filename"), QStringLiteral("Path")});
  gr_Files->setColumnWidth(0, 150);
  gr_Files->setColumnWidth(1, 340);
  // Cells are edited in place; a header click sorts the rows; rows are
  // selected as one range.
  gr_Files->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
  gr_Files->SetRangeSelect(true);
  // The end of a long path is the part that tells.
  gr_Files->setTextElideMode(Qt::ElideLeft);

  bu_Start = new QPushButton(QStringLiteral("&Start extracting"), this);
  bu_Start->setObjectName(QStringLiteral("bu_Start"));
  bu_Start->setToolTip(QStringLiteral("Begin to extract all files"));
  bu_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  bu_Cancel->setObjectName(QStringLiteral("bu_Cancel"));
  bu_Cancel->setToolTip(QStringLiteral("Cancel operation"));
  for (QPushButton* b : {bu_Add, bu_Remove, bu_Start, bu_Cancel}) b->setAutoDefault(false);
  la_Archive = new QLabel(this);
  la_Archive->setObjectName(QStringLiteral("la_Archive"));
  la_File = new QLabel(this);
  la_File->setObjectName(QStringLiteral("la_File"));
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  auto* band = new QHBoxLayout;
  band->addWidget(la_Heading, 1);
  band->addWidget(bu_Add);
  band->addWidget(bu_Remove);
  auto* bandWidget = new QWidget(this);
  bandWidget->setLayout(band);
  bandWidget->setAutoFillBackground(true);
  bandWidget->setBackgroundRole(QPalette::Base);
  auto* def = new QHBoxLayout;
  def->addWidget(la_Defdir);
  def->addWidget(ed_Defdir, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(bu_Start);
  bottom->addWidget(bu_Cancel);
  auto* labels = new QVBoxLayout;
  labels->addWidget(la_Archive);
  labels->addWidget(la_File);
  bottom->addLayout(labels, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(bandWidget);
  outer->addLayout(def);
  outer->addWidget(gr_Files, 1);
  outer->addLayout(bottom);
  outer->addWidget(ProgressBar1);
  resize(540, 380);

  connect(bu_Add, &QPushButton::clicked, this, [this] { bu_AddClick(); });
  connect(bu_Remove, &QPushButton::clicked, this, [this] { bu_RemoveClick(); });
  connect(bu_Start, &QPushButton::clicked, this, [this] { bu_StartClick(); });
  connect(bu_Cancel, &QPushButton::clicked, this, [this] { bu_CancelClick(); });

  open::TMultiExtract& p = *pass_;
  p.OnArchive = [this](const std::string& a) { la_Archive->setText(QString::fromStdString(a)); };
  p.OnFile = [this](const std::string& n) { la_File->setText(QString::fromStdString(n)); };
  p.OnBar = [this](const open::MfeBar& b) { SetBar(b); };
  p.AskPassword = [] {
    std::string fields = shared::RarPasswordFields();
    shared::AskFields("Password required", fields);
    return shared::FirstField(fields);
  };
}

TF_MFE::~TF_MFE() = default;

void TF_MFE::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TF_MFE::SetBar(const open::MfeBar& b) {
  // A bar counts in int: sizes past its range are scaled down together.
  int shift = 0;
  while ((b.max >> shift) > INT_MAX) ++shift;
  ProgressBar1->setRange(static_cast<int>(b.min >> shift), static_cast<int>(b.max >> shift));
  ProgressBar1->setValue(static_cast<int>(std::clamp(b.pos, b.min, b.max) >> shift));
}

std::vector<open::MfeRow> TF_MFE::Rows() const {
  std::vector<open::MfeRow> rows;
  for (int r = 0; r < gr_Files->rowCount(); ++r)
    rows.push_back({CellText(gr_Files, r, 0).toStdString(), CellText(gr_Files, r, 1).toStdString()});
  return rows;
}

void TF_MFE::bu_AddClick() {
  pf::FileDialogRequest req;
  req.filter = "ZIP Files (*.ZIP)|*.ZIP|RAR Files (*-RAR)|*.RAR";
  req.allowMultiple = true;
  const std::vector<std::string> files = pf::Dialogs().OpenFiles(req);
  for (const std::string& file : files) {
    if (!FirstRow || gr_Files->rowCount() == 0) gr_Files->insertRow(gr_Files->rowCount());
    const int last = gr_Files->rowCount() - 1;
    gr_Files->setItem(last, 0, new QTableWidgetItem(QString::fromStdString(file)));
    gr_Files->setItem(last, 1, new QTableWidgetItem(ed_Defdir->text()));
    FirstRow = false;
  }
}

void TF_MFE::bu_RemoveClick() {
  const QList<QTableWidgetSelectionRange> ranges = gr_Files->selectedRanges();
  if (ranges.isEmpty()) return;
  const QTableWidgetSelectionRange& r = ranges.front();
  for (int row = r.bottomRow(); row >= r.topRow(); --row) gr_Files->removeRow(row);
}

void TF_MFE::bu_StartClick() {
  if (pass_->Running()) return;
  const std::vector<open::MfeRow> rows = Rows();
  bu_Start->setEnabled(false);
  bu_Add->setEnabled(false);
  bu_Remove->setEnabled(false);
  ProgressBar1->show();
  int count = 0;
  {
    pf::BusyCursorScope busy(pf::Busy());
    count = pass_->Run(rows);
  }
  ProgressBar1->hide();
  la_Archive->clear();
  la_File->clear();
  bu_Start->setEnabled(true);
  bu_Add->setEnabled(true);
  bu_Remove->setEnabled(true);
  pf::Dialogs().MessageBox(open::TMultiExtract::FinalMessage(count), pf::MsgKind::Information, pf::BtnOK);
  const std::string report = open::TMultiExtract::Report(pass_->Results());
  if (!report.empty()) pf::Dialogs().MessageBox(report, pf::MsgKind::Information, pf::BtnOK);
  if (closeAfterPass_) {
    closeAfterPass_ = false;
    QDialog::reject();
  }
}

void TF_MFE::bu_CancelClick() {
  if (pass_->Running()) {
    pass_->Cancel();
    closeAfterPass_ = true;
    return;
  }
  QDialog::reject();
}

// Escape and the title bar's close act as "&Cancel": during a pass the window
// closes only after it.
void TF_MFE::reject() { bu_CancelClick(); }

void TF_MFE::closeEvent(QCloseEvent* e) {
  if (pass_->Running()) {
    bu_CancelClick();
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

}  // namespace arkelin::window
