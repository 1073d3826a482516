#include "window/U_FileToInstall.h"

#include <QKeyEvent>
#include <QVBoxLayout>

#include "open/Install.h"
#include "shared/widgets/ListColors.h"
#include "shared/widgets/SortGrid.h"

namespace arkelin::window {

namespace {
TF_FileToInstall::ShowHook g_showHook;
}

TF_FileToInstall::TF_FileToInstall(const QStringList& candidates, const QColor& windowColor, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("F_FileToInstall"));
  setWindowTitle(QStringLiteral(" "));
  Header = new QLabel(QStringLiteral("Choose installfile"), this);
  QFont hf = Header->font();
  hf.setBold(true);
  hf.setPointSizeF(hf.pointSizeF() * 1.3);
  Header->setFont(hf);
  StringGrid1 = new shared::TSortGrid(this);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->SetColCount(1);
  StringGrid1->SetRowCount(static_cast<int>(candidates.size()) + 1);
  StringGrid1->SetColWidth(0, 240);
  StringGrid1->SetCells(0, 0, QStringLiteral("Filename"));
  for (int i = 0; i < candidates.size(); ++i) StringGrid1->SetCells(0, i + 1, candidates[i]);
  StringGrid1->SetRangeSelect(true);
  StringGrid1->setToolTip(QStringLiteral("Double-Click to select install file"));
  shared::ShowListColor(StringGrid1, windowColor);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Header);
  layout->addWidget(StringGrid1, 1);
  layout->addWidget(bu_Close, 0, Qt::AlignRight);
  resize(290, 220);
  connect(StringGrid1, &shared::TSortGrid::RowChosen, this, &TF_FileToInstall::ChooseRow);
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::reject);
}

void TF_FileToInstall::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_FileToInstall::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TF_FileToInstall::ChooseRow(int row) {
  const QString text = StringGrid1->Cells(0, row);
  if (text.isEmpty()) return;
  Chosen = QString::fromStdString(open::CandidateProgram(text.toStdString()));
  accept();
}

void TF_FileToInstall::keyPressEvent(QKeyEvent* e) {
  // Escape closes without a choice and goes no further.
  if (e->key() == Qt::Key_Escape) {
    Chosen.clear();
    reject();
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

}  // namespace arkelin::window
