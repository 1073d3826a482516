#include "window/U_Install.h"

#include <QVBoxLayout>
#include <QHBoxLayout>

namespace arkelin::window {

namespace {
TF_Install::ShowHook g_showHook;
}

TF_Install::TF_Install(const QString& program, const QString& tempFolder, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_Install"));
  setWindowTitle(QStringLiteral(" "));
  Header = new QLabel(QStringLiteral("Install"), this);
  QFont hf = Header->font();
  hf.setBold(true);
  hf.setPointSizeF(hf.pointSizeF() * 1.3);
  Header->setFont(hf);
  auto* text1 = new QLabel(QStringLiteral("Arkelin2000 will create a temporary directory and extract all files into it."), this);
  auto* text2 = new QLabel(QStringLiteral("When the files are extracted Arkelin2000 will run the"), this);
  la_Program = new QLabel(program, this);
  la_Program->setObjectName(QStringLiteral("la_Program"));
  QFont pf = la_Program->font();
  pf.setBold(true);
  la_Program->setFont(pf);
  ed_Dir = new QLineEdit(tempFolder, this);
  ed_Dir->setObjectName(QStringLiteral("ed_Dir"));
  cb_Remove = new QCheckBox(QStringLiteral("Remove directory after installed"), this);
  cb_Remove->setObjectName(QStringLiteral("cb_Remove"));
  bu_OK = new QPushButton(QStringLiteral("&OK"), this);
  bu_OK->setObjectName(QStringLiteral("bu_OK"));
  bu_OK->setToolTip(QStringLiteral("Start install"));
  bu_OK->setAutoDefault(false);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setToolTip(QStringLiteral("Cancel operation"));
  bu_Close->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Header);
  layout->addWidget(text1);
  layout->addWidget(text2);
  layout->addWidget(la_Program);
  layout->addWidget(new QLabel(QStringLiteral("Temporary directory:"), this));
  layout->addWidget(ed_Dir);
  layout->addWidget(cb_Remove);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bu_OK);
  buttons->addWidget(bu_Close);
  layout->addLayout(buttons);
  connect(bu_OK, &QPushButton::clicked, this, [this] {
    if (OnOK) OnOK(*this);
  });
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::reject);
}

void TF_Install::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_Install::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

}  // namespace arkelin::window
