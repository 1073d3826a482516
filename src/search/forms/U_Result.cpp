#include "search/forms/U_Result.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QVBoxLayout>

#include <algorithm>

#include "shared/widgets/ListColors.h"

namespace arkelin::search {

namespace {
TF_Result::ShowHook g_showHook;

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QStringLiteral("la_Heading"));
  QFont f = l->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.4);
  l->setFont(f);
  l->setAutoFillBackground(true);
  l->setBackgroundRole(QPalette::Base);
  l->setForegroundRole(QPalette::Text);
  l->setMargin(8);
  return l;
}
}  // namespace

QString ResultTimeText(int64_t modified) {
  // The short date, a blank and the short time: the form the grid reads back
  // as a date with a time when the column is sorted.
  const QLocale l;
  return l.toString(QDateTime::fromSecsSinceEpoch(modified),
                    l.dateFormat(QLocale::ShortFormat) + u' ' + l.timeFormat(QLocale::ShortFormat));
}

void TF_Result::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

TF_Result::TF_Result(int mode, const ResultActions& actions, QWidget* parent)
    : QDialog(parent), mode_(mode), actions_(actions) {
  setObjectName(QStringLiteral("F_Result"));
  setWindowTitle(QStringLiteral(" "));
  la_Heading = Heading(QStringLiteral("Search result"), this);
  la_Found = new QLabel(this);
  la_Found->setObjectName(QStringLiteral("la_Found"));
  la_Skipped = new QLabel(this);
  la_Skipped->setObjectName(QStringLiteral("la_Skipped"));
  la_Skipped->setWordWrap(true);
  la_Skipped->hide();

  StringGrid1 = new shared::TSortGrid(this);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setColumnCount(3);
  StringGrid1->setRowCount(1);
  StringGrid1->setHorizontalHeaderLabels(
      {QStringLiteral("File Name"), QStringLiteral("Date/Time"), QStringLiteral("Size")});
  StringGrid1->setColumnWidth(0, 250);
  StringGrid1->setColumnWidth(1, 84);
  StringGrid1->setColumnWidth(2, 84);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->SetRangeSelect(true);
  shared::ShowListColor(StringGrid1, actions_.CellColor);
  StringGrid1->setTextElideMode(Qt::ElideLeft);
  StringGrid1->setToolTip(QStringLiteral("Double-Click to open the selected zipfile"));

  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setToolTip(QStringLiteral("Cancel operation"));
  bu_Open = new QPushButton(QStringLiteral("&Open zipfile"), this);
  bu_Open->setObjectName(QStringLiteral("bu_Open"));
  bu_Add = new QPushButton(QStringLiteral("Add file(s) to archive"), this);
  bu_Add->setObjectName(QStringLiteral("bu_Add"));
  bu_Open->setVisible(mode_ == 1);
  bu_Add->setVisible(mode_ == 2);
  for (QPushButton* b : {bu_Close, bu_Open, bu_Add}) b->setAutoDefault(false);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(la_Heading);
  outer->addWidget(la_Found);
  outer->addWidget(StringGrid1, 1);
  outer->addWidget(la_Skipped);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bu_Open);
  buttons->addWidget(bu_Add);
  buttons->addWidget(bu_Close);
  outer->addLayout(buttons);
  resize(560, 360);

  connect(bu_Close, &QPushButton::clicked, this, [this] { reject(); });
  connect(bu_Open, &QPushButton::clicked, this, [this] { bu_OpenClick(); });
  connect(bu_Add, &QPushButton::clicked, this, [this] { bu_AddClick(); });
  connect(StringGrid1, &shared::TSortGrid::RowChosen, this, [this] { StringGrid1DblClick(); });
}

void TF_Result::SetResults(const std::vector<SearchRecord>& records, const std::string& pattern,
                           const std::vector<SkippedFolder>& skipped) {
  la_Found->setText(QString::number(records.size()) + QStringLiteral(" files matching ") +
                    QString::fromStdString(pattern) + QStringLiteral(" found"));
  StringGrid1->clearContents();
  StringGrid1->setRowCount(std::max<int>(1, static_cast<int>(records.size())));
  int row = 0;
  for (const SearchRecord& r : records) {
    StringGrid1->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(r.path)));
    StringGrid1->setItem(row, 1, new QTableWidgetItem(ResultTimeText(r.modified)));
    auto* size = new QTableWidgetItem;
    size->setData(Qt::DisplayRole, static_cast<qlonglong>(r.size));
    size->setTextAlignment(Qt::AlignRight | Qt::AlignTop);
    StringGrid1->setItem(row, 2, size);
    ++row;
  }
  if (!records.empty()) StringGrid1->setCurrentCell(0, 0);
  // The locale's date and time may need more than the column's 84 pixels.
  StringGrid1->resizeColumnToContents(1);
  StringGrid1->setColumnWidth(1, std::max(84, StringGrid1->columnWidth(1)));
  if (skipped.empty()) {
    la_Skipped->hide();
  } else {
    QString text = QString::number(skipped.size()) + QStringLiteral(" folder(s) could not be read, for example ") +
                   QString::fromStdString(skipped.front().folder) + QStringLiteral(" (") +
                   QString::fromStdString(skipped.front().reason) + u')';
    la_Skipped->setText(text);
    la_Skipped->show();
  }
}

void TF_Result::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

bool TF_Result::FirstRowEmpty() const {
  const QTableWidgetItem* it = StringGrid1->item(0, 0);
  return !it || it->text().isEmpty();
}

void TF_Result::bu_OpenClick() {
  if (mode_ != 1 || FirstRowEmpty()) return;
  const int row = std::max(0, StringGrid1->currentRow());
  const QTableWidgetItem* it = StringGrid1->item(row, 0);
  if (!it || it->text().isEmpty()) return;
  if (actions_.OpenArchive && actions_.OpenArchive(it->text())) {
    CloseSearch = true;
    accept();
  }
}

void TF_Result::bu_AddClick() {
  if (mode_ != 2) return;
  if (actions_.RefuseAdd && actions_.RefuseAdd()) return;
  if (FirstRowEmpty()) return;
  QList<int> rows;
  for (const QTableWidgetSelectionRange& r : StringGrid1->selectedRanges())
    for (int i = r.topRow(); i <= r.bottomRow(); ++i) rows << i;
  if (rows.isEmpty() && StringGrid1->currentRow() >= 0) rows << StringGrid1->currentRow();
  std::sort(rows.begin(), rows.end());
  AddList.clear();
  for (int i : rows)
    if (const QTableWidgetItem* it = StringGrid1->item(i, 0); it && !it->text().isEmpty()) AddList << it->text();
  if (AddList.isEmpty()) return;
  CloseSearch = true;
  accept();
}

void TF_Result::StringGrid1DblClick() {
  if (mode_ == 1) bu_OpenClick();
}

}  // namespace arkelin::search
