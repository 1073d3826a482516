#include "mail/forms/U_SearchHist.h"

#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "mail/AddressBook.h"

namespace arkelin::mail {

namespace {
TF_SearchHist::ShowHook g_showHook;
}

TF_SearchHist::TF_SearchHist(const QString& bookPath, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_SearchHist"));
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral(" "));
  auto* v = new QVBoxLayout(this);
  la_Header = new QLabel(QStringLiteral("Addressbook"), this);
  la_Header->setObjectName(QStringLiteral("la_Header"));
  QFont bold = la_Header->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  la_Header->setFont(bold);
  v->addWidget(la_Header);
  lb_History = new QListWidget(this);
  lb_History->setObjectName(QStringLiteral("lb_History"));
  for (const std::string& e : TAddressBook(bookPath.toStdString()).Load())
    lb_History->addItem(QString::fromStdString(e));
  v->addWidget(lb_History, 1);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setToolTip(QStringLiteral("Abort search"));
  v->addWidget(bu_Close, 0, Qt::AlignRight);
  resize(320, 260);

  connect(lb_History, &QListWidget::itemClicked, this, [this](QListWidgetItem* i) { lb_HistoryClick(i); });
  connect(lb_History, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { lb_HistoryDblClick(i); });
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::reject);
}

void TF_SearchHist::lb_HistoryClick(QListWidgetItem* item) {
  if (item && OnPick) OnPick(item->text());
}

void TF_SearchHist::lb_HistoryDblClick(QListWidgetItem* item) {
  lb_HistoryClick(item);
  accept();
}

void TF_SearchHist::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_SearchHist::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

}  // namespace arkelin::mail
