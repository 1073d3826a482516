#include "mail/forms/u_AttachFile.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "shared/FindIcon.h"
#include "shared/widgets/DirTreeWidget.h"
#include "shared/widgets/DriveRootBox.h"

namespace arkelin::mail {

namespace {
TF_Attach::ShowHook g_showHook;

QIcon SmallIconFor(const QString& name) {
  static shared::TRFindIcon finder;  // one per run: it keeps its last answer
  finder.SetFileName(name.toStdString());
  return finder.SmallIcon();
}
}  // namespace

TF_Attach::TF_Attach(const QStringList& attachments, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_Attach"));
  setWindowTitle(QStringLiteral("Attachments"));
  auto* grid = new QGridLayout(this);

  auto* left = new QVBoxLayout;
  dl_Folders = new shared::TDirTreeWidget(this);
  dl_Folders->setObjectName(QStringLiteral("dl_Folders"));
  cb_Drive = new shared::TDriveRootBox(dl_Folders, this);
  cb_Drive->setObjectName(QStringLiteral("cb_Drive"));
  flb_Files = new QListWidget(this);
  flb_Files->setObjectName(QStringLiteral("flb_Files"));
  flb_Files->setSelectionMode(QAbstractItemView::ExtendedSelection);
  left->addWidget(cb_Drive);
  left->addWidget(dl_Folders, 1);
  left->addWidget(flb_Files, 1);
  grid->addLayout(left, 0, 0);

  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(QStringLiteral("Attached files"), this));
  lbx_attach = new QListWidget(this);
  lbx_attach->setObjectName(QStringLiteral("lbx_attach"));
  lbx_attach->setSelectionMode(QAbstractItemView::ExtendedSelection);
  right->addWidget(lbx_attach, 1);
  bu_Add = new QPushButton(QStringLiteral("&Add to list"), this);
  bu_Remove = new QPushButton(QStringLiteral("&Remove from list"), this);
  right->addWidget(bu_Add);
  right->addWidget(bu_Remove);
  grid->addLayout(right, 0, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  bu_Ok = new QPushButton(QStringLiteral("OK"), this);
  bu_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  bu_Ok->setDefault(true);
  buttons->addWidget(bu_Ok);
  buttons->addWidget(bu_Cancel);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);
  resize(620, 420);

  for (const QString& path : attachments) AddRow(path);

  connect(dl_Folders, &shared::TDirTreeWidget::changed, this, [this] { FillFiles(); });
  connect(bu_Add, &QPushButton::clicked, this, [this] { bu_AddClick(); });
  connect(bu_Remove, &QPushButton::clicked, this, [this] { bu_RemoveClick(); });
  connect(bu_Ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(bu_Cancel, &QPushButton::clicked, this, &QDialog::reject);

  const QString start = attachments.isEmpty() ? QDir::homePath() : QFileInfo(attachments.first()).absolutePath();
  SetFolder(start);
}

QStringList TF_Attach::Names() const {
  QStringList names;
  for (int i = 0; i < lbx_attach->count(); ++i) names << lbx_attach->item(i)->text();
  return names;
}

QString TF_Attach::Folder() const { return dl_Folders->Folder(); }

void TF_Attach::SetFolder(const QString& folder) {
  dl_Folders->SetFolder(folder);
  cb_Drive->Refill();
  FillFiles();
}

void TF_Attach::FillFiles() {
  flb_Files->clear();
  const QString folder = Folder();
  if (folder.isEmpty()) return;
  const QFileInfoList files =
      QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& f : files) flb_Files->addItem(f.fileName());
}

bool TF_Attach::AddRow(const QString& path) {
  if (lbx_real.contains(path)) return false;
  const QString name = QFileInfo(path).fileName();
  lbx_attach->addItem(new QListWidgetItem(SmallIconFor(name), name));
  lbx_real << path;
  return true;
}

void TF_Attach::bu_AddClick() {
  const QString folder = Folder();
  const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
  for (int i = 0; i < flb_Files->count(); ++i) {
    QListWidgetItem* item = flb_Files->item(i);
    if (!item->isSelected()) continue;
    AddRow(prefix + item->text());
    item->setSelected(false);
  }
}

void TF_Attach::bu_RemoveClick() {
  for (int i = lbx_attach->count() - 1; i >= 0; --i) {
    if (!lbx_attach->item(i)->isSelected()) continue;
    delete lbx_attach->takeItem(i);
    lbx_real.removeAt(i);
  }
}

void TF_Attach::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

bool TF_Attach::ShowModal() {
  if (g_showHook) {
    setResult(QDialog::Rejected);
    g_showHook(*this);
    return result() == QDialog::Accepted;
  }
  return exec() == QDialog::Accepted;
}

}  // namespace arkelin::mail
