#include "settings/U_Favorites.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "shared/widgets/ListColors.h"
#include "platform/NameText.h"
#include "platform/Platform.h"
#include "settings/IniFile.h"
#include "shared/widgets/SortGrid.h"

namespace arkelin::settings {

namespace {

TF_Favorites::ShowHook g_showHook;

// Names that are not valid UTF-8 keep their bytes apart (platform/NameText.h).
QString Q(const std::string& s) { return platform::NameToText(s); }

// The file-name part of a path.
QString FileNamePart(const std::string& path) {
  const QString p = Q(path);
  return p.mid(p.lastIndexOf(u'/') + 1);
}

constexpr int kFavoriteRole = Qt::UserRole + 1;

// The columns' own widths: name, date, size and the empty last one.
constexpr int kColWidths[] = {100, 70, 60, 64};

}  // namespace

TF_Favorites::TF_Favorites(TFavorites& list, const QColor& windowColor, QWidget* parent)
    : QDialog(parent), list_(list) {
  setObjectName(QStringLiteral("F_Favorites"));
  setWindowTitle(QStringLiteral(" "));
  Header = new QLabel(QStringLiteral("Favorites"), this);
  Header->setObjectName(QStringLiteral("Header"));
  QFont hf = Header->font();
  hf.setBold(true);
  hf.setPointSizeF(hf.pointSizeF() * 1.3);
  Header->setFont(hf);

  StringGrid1 = new shared::TSortGrid(this);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->SetColCount(4);
  StringGrid1->SetRowCount(2);
  StringGrid1->SetRangeSelect(true);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->setToolTip(QStringLiteral("Double-Click to open the selected zipfile"));
  const char* headers[] = {"Zip archive", "Date/Time", "Size", ""};
  for (int c = 0; c < 4; ++c) {
    StringGrid1->SetCells(c, 0, QString::fromLatin1(headers[c]));
    StringGrid1->SetColWidth(c, kColWidths[c]);
  }
  shared::ShowListColor(StringGrid1, windowColor);

  StatusBar1 = new QLabel(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFrameShape(QFrame::StyledPanel);
  StatusBar1->setFrameShadow(QFrame::Sunken);
  bu_Remove = new QPushButton(QStringLiteral("Remove"), this);
  bu_Remove->setObjectName(QStringLiteral("bu_Remove"));
  bu_Remove->setToolTip(QStringLiteral("Remove selected file(s)"));
  bu_Remove->setAutoDefault(false);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bu_Remove);
  buttons->addWidget(bu_Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Header);
  layout->addWidget(StringGrid1, 1);
  layout->addLayout(buttons);
  layout->addWidget(StatusBar1);
  resize(360, 260);

  connect(StringGrid1, &shared::TSortGrid::RowClicked, this, &TF_Favorites::RowClick);
  connect(StringGrid1, &shared::TSortGrid::RowChosen, this, &TF_Favorites::OpenRow);
  connect(bu_Remove, &QPushButton::clicked, this, &TF_Favorites::RemoveClick);
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::reject);
  Fill();
}

void TF_Favorites::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_Favorites::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TF_Favorites::Fill() {
  const auto& items = list_.Items();
  if (items.size() >= 2) StringGrid1->SetRowCount(static_cast<int>(items.size()) + 1);
  for (int i = 0; i < static_cast<int>(items.size()) && i + 1 < StringGrid1->RowCount(); ++i) {
    const TFavorite& f = items[static_cast<size_t>(i)];
    StringGrid1->SetCells(0, i + 1, FileNamePart(f.Path));
    StringGrid1->SetCells(1, i + 1, Q(f.Date));
    StringGrid1->SetCells(2, i + 1, Q(f.Size));
    StringGrid1->CellItem(0, i + 1)->setData(kFavoriteRole, i);
  }
  FitColumns();
}

// Widens the name, date and size columns until their texts show whole
// (never narrower than the window's own widths, the name at most kMaxName),
// and the window with them, so a long name or a big size is not cut.
void TF_Favorites::FitColumns() {
  constexpr int kMaxName = 420;
  int grow = 0;
  for (int c = 0; c < 3; ++c) {
    const int before = StringGrid1->columnWidth(c);
    StringGrid1->resizeColumnToContents(c);
    int w = std::max(kColWidths[c], StringGrid1->columnWidth(c));
    if (c == 0) w = std::min(w, kMaxName);
    StringGrid1->SetColWidth(c, w);
    grow += w - before;
  }
  if (grow > 0) resize(width() + grow, height());
}

int TF_Favorites::FavoriteAt(int row) const {
  QTableWidgetItem* it = StringGrid1->CellItem(0, row);
  if (!it) return -1;
  const QVariant v = it->data(kFavoriteRole);
  if (!v.isValid()) return -1;
  const int index = v.toInt();
  return index >= 0 && index < list_.Count() ? index : -1;
}

void TF_Favorites::RowClick(int row) {
  const int index = FavoriteAt(row);
  if (index < 0) return;
  StatusBar1->setText(Q(list_.Items()[static_cast<size_t>(index)].Path));
}

void TF_Favorites::OpenRow(int row) {
  const int index = FavoriteAt(row);
  if (index < 0) return;
  const std::string path = list_.Items()[static_cast<size_t>(index)].Path;
  if (OnOpen) OnOpen(path);
  accept();
}

void TF_Favorites::RemoveClick() {
  const int index = FavoriteAt(StringGrid1->Row());
  if (index < 0) return;
  list_.Remove(index);
  try {
    list_.Save();
    list_.Load();
  } catch (const EIniWriteError& e) {
    // The file stays as it was; show what it holds.
    platform::Dialogs().MessageBox(e.what(), platform::MsgKind::Error, platform::BtnOK);
    try {
      list_.Load();
    } catch (const EIniWriteError&) {
    }
  }
  for (int r = 0; r < StringGrid1->rowCount(); ++r) {
    for (int c = 0; c < StringGrid1->columnCount(); ++c) delete StringGrid1->takeItem(r, c);
  }
  StatusBar1->clear();
  Fill();
}

}  // namespace arkelin::settings
