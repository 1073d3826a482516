#include "window/sfxunit.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace arkelin::window {

namespace {
TMakeSFX::ShowHook g_showHook;
}

TMakeSFX::TMakeSFX(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MakeSFX"));
  auto* top = new QVBoxLayout(this);
  Header = new QLabel(QStringLiteral("Make self extracting archive"), this);
  QFont f = Header->font();
  f.setBold(true);
  Header->setFont(f);
  top->addWidget(Header);
  Pages = new QTabWidget(this);
  top->addWidget(Pages);

  auto* page1 = new QWidget(Pages);
  auto* l1 = new QVBoxLayout(page1);
  auto* group = new QGroupBox(QStringLiteral("Default Overwrite Action"), page1);
  group->setObjectName(QStringLiteral("DfltOverWriteGrp"));
  auto* gl = new QVBoxLayout(group);
  auto* buttons = new QButtonGroup(group);
  const QString items[3] = {QStringLiteral("Ask User"), QStringLiteral("Always Overwrite"),
                            QStringLiteral("Skip extraction")};
  for (int i = 0; i < 3; ++i) {
    DfltOverWriteGrp[i] = new QRadioButton(items[i], group);
    buttons->addButton(DfltOverWriteGrp[i], i);
    gl->addWidget(DfltOverWriteGrp[i]);
  }
  DfltOverWriteGrp[0]->setChecked(true);
  l1->addWidget(group);
  FileListCB = new QCheckBox(QStringLiteral("Allow User to modify the file list to be extracted"), page1);
  HideOverwriteCB = new QCheckBox(QStringLiteral("Hide the Overwrite Action group box at run time"), page1);
  CmdLineCB = new QCheckBox(QStringLiteral("Allow User to avoid running the command line"), page1);
  l1->addWidget(FileListCB);
  l1->addWidget(HideOverwriteCB);
  l1->addWidget(CmdLineCB);
  l1->addWidget(new QLabel(QStringLiteral("Caption of the Self Extracting Archive Program"), page1));
  CaptionEdit = new QLineEdit(QStringLiteral("Self-extracting Archive"), page1);
  l1->addWidget(CaptionEdit);
  l1->addStretch();
  Pages->addTab(page1, QStringLiteral("SFX Options 1."));

  auto* page2 = new QWidget(Pages);
  auto* l2 = new QVBoxLayout(page2);
  for (const char* line :
       {"Special Command Line Symbols:", "A vertical bar '|' separates the program name from the argument list",
        "Two Arrows '><' will be replaced by the actual extract directory",
        "The following example runs notepad to display readme.txt in extract dir:", "notepad|><readme.txt"})
    l2->addWidget(new QLabel(QString::fromLatin1(line), page2));
  l2->addWidget(new QLabel(
      QStringLiteral("Default Extract Directory on User's Computer  (if '><' then the temporary directory will be used)"),
      page2));
  DirectoryEdit = new QLineEdit(QStringLiteral("C:\\"), page2);
  l2->addWidget(DirectoryEdit);
  l2->addWidget(new QLabel(QStringLiteral("Command Line to Exec After Extraction"), page2));
  CommandEdit = new QLineEdit(page2);
  l2->addWidget(CommandEdit);
  l2->addStretch();
  Pages->addTab(page2, QStringLiteral("SFX Options 2."));

  auto* row = new QHBoxLayout;
  row->addStretch();
  bu_Ok = new QPushButton(QStringLiteral("&Ok"), this);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  row->addWidget(bu_Ok);
  row->addWidget(bu_Close);
  top->addLayout(row);
  connect(bu_Ok, &QPushButton::clicked, this, [this] {
    Accepted = true;
    accept();
  });
  connect(bu_Close, &QPushButton::clicked, this, [this] {
    Accepted = false;
    reject();
  });
}

int TMakeSFX::OverwriteIndex() const {
  for (int i = 0; i < 3; ++i)
    if (DfltOverWriteGrp[i]->isChecked()) return i;
  return 0;
}

void TMakeSFX::SetOverwriteIndex(int i) { DfltOverWriteGrp[i < 0 || i > 2 ? 0 : i]->setChecked(true); }

void TMakeSFX::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TMakeSFX::ShowModal() {
  Accepted = false;
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

}  // namespace arkelin::window
