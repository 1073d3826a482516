#include "window/extrunit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/Platform.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {
TExtract::ShowHook g_showHook;

// The root of the box that holds folder: the longest root that is a prefix.
int RootIndexFor(const QComboBox* box, const QString& folder) {
  int best = -1;
  qsizetype bestLen = -1;
  for (int i = 0; i < box->count(); ++i) {
    QString root = box->itemData(i).toString();
    const QString withSep = root.endsWith(u'/') ? root : root + u'/';
    if ((folder + u'/').startsWith(withSep) && withSep.size() > bestLen) {
      best = i;
      bestLen = withSep.size();
    }
  }
  return best;
}
}  // namespace

TwoWayGroup::TwoWayGroup(const QString& title, const QString& first, const QString& second, QWidget* parent)
    : QGroupBox(title, parent), first_(new QRadioButton(first, this)), second_(new QRadioButton(second, this)) {
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(first_);
  lay->addWidget(second_);
  first_->setChecked(true);
}

void TwoWayGroup::SetItemIndex(int i) { (i == 1 ? second_ : first_)->setChecked(true); }

TExtract::TExtract(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Extract"));
  setWindowTitle(QStringLiteral("Select Extract directory"));
  Label1 = new QLabel(QStringLiteral("Look &in:"), this);
  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
  Label1->setBuddy(DriveComboBox1);
  for (const std::string& r : pf::Drives().Roots())
    DriveComboBox1->addItem(QString::fromStdString(r), QString::fromStdString(r));
  bu_NewDir = new QToolButton(this);
  bu_NewDir->setObjectName(QStringLiteral("bu_NewDir"));
  bu_NewDir->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  bu_NewDir->setToolTip(QStringLiteral("Create new directory"));
  Dirt1 = new FolderTree(this);
  Dirt1->setObjectName(QStringLiteral("Dirt1"));
  RadioGroup1 = new TwoWayGroup(QStringLiteral("Expand ZIP Dirs"), QStringLiteral("No"), QStringLiteral("Yes"), this);
  RadioGroup1->SetItemIndex(1);
  RadioGroup1->setToolTip(QStringLiteral(
      "Extracts and recreates the relative pathname that may have been stored with each file. Empty dirs stored "
      "in the archive (if any) will also be recreated."));
  RadioGroup2 = new TwoWayGroup(QStringLiteral("OverWrite Existing"), QStringLiteral("No"), QStringLiteral("Yes"), this);
  RadioGroup2->SetItemIndex(1);
  RadioGroup2->setToolTip(QStringLiteral("Overwrite any pre-existing files during extraction."));
  RadioGroup3 = new TwoWayGroup(QStringLiteral("Files to Extract"), QStringLiteral("All Files"),
                                QStringLiteral("Selected Files"), this);
  RadioGroup3->setToolTip(QStringLiteral("Files to extract"));
  Ch_ExtUpdate = new QCheckBox(QStringLiteral("Only Update file(s)"), this);
  BitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
  BitBtn1->setDefault(true);
  BitBtn1->setToolTip(QStringLiteral("Start extracting file(s)"));
  BitBtn2 = new QPushButton(QStringLiteral("&Cancel"), this);
  BitBtn2->setToolTip(QStringLiteral("Cancel operation"));

  auto* top = new QHBoxLayout;
  top->addWidget(Label1);
  top->addWidget(DriveComboBox1, 1);
  top->addWidget(bu_NewDir);
  auto* options = new QVBoxLayout;
  options->addWidget(RadioGroup1);
  options->addWidget(RadioGroup2);
  options->addWidget(RadioGroup3);
  options->addWidget(Ch_ExtUpdate);
  options->addStretch(1);
  options->addWidget(BitBtn1);
  options->addWidget(BitBtn2);
  auto* grid = new QGridLayout(this);
  grid->addLayout(top, 0, 0);
  grid->addWidget(Dirt1, 1, 0);
  grid->addLayout(options, 0, 1, 2, 1);
  grid->setColumnStretch(0, 1);
  resize(520, 380);

  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(bu_NewDir, &QToolButton::clicked, this, [this] { bu_NewDirClick(); });
  connect(Dirt1, &FolderTree::FolderChanged, this, [this](const QString& f) { TreeChanged(f); });
  connect(DriveComboBox1, &QComboBox::activated, this, [this](int i) { DriveChosen(i); });
}

void TExtract::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TExtract::SetFolder(const QString& folder) { Dirt1->SetFolder(folder); }

void TExtract::ShowModal() {
  Cancelled = true;
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TExtract::BitBtn1Click() {
  ExtractFolder = Dirt1->Folder();
  ExpandFolders = RadioGroup1->ItemIndex() == 1;
  Overwrite = RadioGroup2->ItemIndex() == 1;
  AllFiles = RadioGroup3->ItemIndex() == 0;
  Cancelled = false;
  accept();
}

void TExtract::BitBtn2Click() {
  ExtractFolder.clear();
  reject();
}

void TExtract::bu_NewDirClick() {
  const auto answer = pf::Dialogs().InputBox("Input Box", "Directory", "", false);
  if (!answer) return;
  const QString made = MakeFolderIn(Dirt1->Folder(), QString::fromStdString(*answer));
  if (made.isEmpty()) {
    pf::Dialogs().MessageBox("Couldn't create directory!", pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  Dirt1->Reload();
  Dirt1->SetFolder(made);
}

void TExtract::TreeChanged(const QString& folder) {
  const int i = RootIndexFor(DriveComboBox1, folder);
  if (i >= 0) DriveComboBox1->setCurrentIndex(i);
}

void TExtract::DriveChosen(int index) {
  if (index < 0) return;
  Dirt1->SetFolder(DriveComboBox1->itemData(index).toString());
}

}  // namespace arkelin::window
