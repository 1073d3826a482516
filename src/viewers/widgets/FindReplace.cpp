#include "viewers/widgets/FindReplace.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace arkelin::viewers {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Find"));
  auto* grid = new QGridLayout(this);
  auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
  ed_Find = new QLineEdit(this);
  label->setBuddy(ed_Find);
  cb_Whole = new QCheckBox(QStringLiteral("Match &whole word only"), this);
  cb_Case = new QCheckBox(QStringLiteral("Match &case"), this);
  auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
  auto* dl = new QHBoxLayout(direction);
  rb_Up = new QRadioButton(QStringLiteral("&Up"), direction);
  rb_Down = new QRadioButton(QStringLiteral("&Down"), direction);
  dl->addWidget(rb_Up);
  dl->addWidget(rb_Down);
  bu_FindNext = new QPushButton(QStringLiteral("&Find Next"), this);
  bu_FindNext->setDefault(true);
  bu_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(ed_Find, 0, 1, 1, 2);
  grid->addWidget(bu_FindNext, 0, 3);
  grid->addWidget(cb_Whole, 1, 0, 1, 2);
  grid->addWidget(direction, 1, 2, 2, 1);
  grid->addWidget(bu_Cancel, 1, 3);
  grid->addWidget(cb_Case, 2, 0, 1, 2);
  ResetOptions();
  connect(bu_FindNext, &QPushButton::clicked, this, [this] {
    if (OnFind) OnFind();
  });
  connect(bu_Cancel, &QPushButton::clicked, this, &QDialog::close);
}

void TFindDialog::ResetOptions() {
  rb_Down->setChecked(true);
  cb_Case->setChecked(false);
  cb_Whole->setChecked(false);
}

TReplaceDialog::TReplaceDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Replace"));
  auto* grid = new QGridLayout(this);
  auto* findLabel = new QLabel(QStringLiteral("Fi&nd what:"), this);
  ed_Find = new QLineEdit(this);
  findLabel->setBuddy(ed_Find);
  auto* replaceLabel = new QLabel(QStringLiteral("Re&place with:"), this);
  ed_Replace = new QLineEdit(this);
  replaceLabel->setBuddy(ed_Replace);
  cb_Case = new QCheckBox(QStringLiteral("Match &case"), this);
  bu_FindNext = new QPushButton(QStringLiteral("&Find Next"), this);
  bu_FindNext->setDefault(true);
  bu_Replace = new QPushButton(QStringLiteral("&Replace"), this);
  bu_ReplaceAll = new QPushButton(QStringLiteral("Replace &All"), this);
  bu_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  grid->addWidget(findLabel, 0, 0);
  grid->addWidget(ed_Find, 0, 1);
  grid->addWidget(bu_FindNext, 0, 2);
  grid->addWidget(replaceLabel, 1, 0);
  grid->addWidget(ed_Replace, 1, 1);
  grid->addWidget(bu_Replace, 1, 2);
  grid->addWidget(bu_ReplaceAll, 2, 2);
  grid->addWidget(cb_Case, 3, 0, 1, 2);
  grid->addWidget(bu_Cancel, 3, 2);
  ResetOptions();
  connect(bu_FindNext, &QPushButton::clicked, this, [this] {
    if (OnFind) OnFind();
  });
  connect(bu_Replace, &QPushButton::clicked, this, [this] {
    if (OnReplace) OnReplace(false);
  });
  connect(bu_ReplaceAll, &QPushButton::clicked, this, [this] {
    if (OnReplace) OnReplace(true);
  });
  connect(bu_Cancel, &QPushButton::clicked, this, &QDialog::close);
}

void TReplaceDialog::ResetOptions() { cb_Case->setChecked(false); }

}  // namespace arkelin::viewers
