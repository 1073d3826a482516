#include "mail/forms/U_MailForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "mail/AddressBook.h"
#include "mail/forms/U_SearchHist.h"
#include "mail/forms/u_AttachFile.h"
#include "platform/Platform.h"
#include "shared/widgets/EnterAsTab.h"

namespace arkelin::mail {

namespace pf = arkelin::platform;

namespace {
TF_MailForm::ShowHook g_showHook;

std::string S(const QString& q) { return q.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

TF_MailForm::TF_MailForm(QStringList& attachments, const QString& currentZip, TArchiveMailer& mailer,
                         Settings settings, QWidget* parent)
    : QDialog(parent), attachments_(attachments), mailer_(mailer), settings_(std::move(settings)) {
  setObjectName(QStringLiteral("F_MailForm"));
  setWindowTitle(QStringLiteral(" "));
  AddressBookPath = Q(TAddressBook::DefaultPath());

  auto* outer = new QHBoxLayout(this);
  auto* v = new QVBoxLayout;
  outer->addLayout(v, 1);

  la_Header = new QLabel(QStringLiteral("Mail archive"), this);
  la_Header->setObjectName(QStringLiteral("la_Header"));
  QFont big = la_Header->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.4);
  la_Header->setFont(big);
  la_Header->setAutoFillBackground(true);
  QPalette band = la_Header->palette();
  band.setColor(QPalette::Window, band.color(QPalette::Highlight));
  band.setColor(QPalette::WindowText, band.color(QPalette::HighlightedText));
  la_Header->setPalette(band);
  la_Header->setContentsMargins(8, 6, 8, 6);
  v->addWidget(la_Header);

  auto* g = new QGridLayout;
  v->addLayout(g);
  co_AttachedFiles = new QComboBox(this);
  co_AttachedFiles->setObjectName(QStringLiteral("co_AttachedFiles"));
  co_AttachedFiles->setMinimumContentsLength(30);
  co_AttachedFiles->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  bu_Attach = new QPushButton(QStringLiteral("A"), this);
  bu_Attach->setObjectName(QStringLiteral("bu_Attach"));
  bu_Attach->setToolTip(QStringLiteral("Attachments"));
  ed_Name = new QLineEdit(this);
  ed_Name->setObjectName(QStringLiteral("ed_Name"));
  bu_AddressBook = new QPushButton(QStringLiteral("?"), this);
  bu_AddressBook->setObjectName(QStringLiteral("bu_AddressBook"));
  bu_AddressBook->setToolTip(QStringLiteral("Addressbook"));
  ed_Email = new QLineEdit(this);
  ed_Email->setObjectName(QStringLiteral("ed_Email"));
  ed_Subject = new QLineEdit(this);
  ed_Subject->setObjectName(QStringLiteral("ed_Subject"));
  for (QPushButton* b : {bu_Attach, bu_AddressBook}) b->setFixedWidth(b->sizeHint().height() + 6);

  g->addWidget(new QLabel(QStringLiteral("Attached Archive(s)"), this), 0, 0);
  g->addWidget(co_AttachedFiles, 0, 1);
  g->addWidget(bu_Attach, 0, 2);
  g->addWidget(new QLabel(QStringLiteral("Name"), this), 1, 0);
  g->addWidget(ed_Name, 1, 1);
  g->addWidget(bu_AddressBook, 1, 2);
  g->addWidget(new QLabel(QStringLiteral("Email"), this), 2, 0);
  g->addWidget(ed_Email, 2, 1);
  g->addWidget(new QLabel(QStringLiteral("Subject"), this), 3, 0);
  g->addWidget(ed_Subject, 3, 1);
  g->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  bu_Send = new QPushButton(QStringLiteral("&Send"), this);
  bu_Send->setObjectName(QStringLiteral("bu_Send"));
  bu_Send->setToolTip(QStringLiteral("Send mail"));
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  bu_Close->setToolTip(QStringLiteral("Cancel operation"));
  // Enter moves between the fields; no button takes it.
  bu_Send->setAutoDefault(false);
  bu_Close->setAutoDefault(false);
  buttons->addWidget(bu_Send);
  buttons->addWidget(bu_Close);
  v->addStretch(1);
  v->addLayout(buttons);

  pb_Amazon = new QProgressBar(this);
  pb_Amazon->setObjectName(QStringLiteral("pb_Amazon"));
  pb_Amazon->setOrientation(Qt::Vertical);
  pb_Amazon->setTextVisible(false);
  pb_Amazon->setVisible(false);
  outer->addWidget(pb_Amazon);

  connect(bu_Send, &QPushButton::clicked, this, [this] { bu_SendClick(); });
  connect(bu_Close, &QPushButton::clicked, this, [this] { bu_CloseClick(); });
  connect(bu_Attach, &QPushButton::clicked, this, [this] { bu_AttachClick(); });
  connect(bu_AddressBook, &QPushButton::clicked, this, [this] { bu_AddressBookClick(); });
  shared::InstallEnterAsTab(this);

  // The current archive goes on the list once, however often the window is
  // opened for it.
  if (!currentZip.isEmpty() && !attachments_.contains(currentZip)) attachments_ << currentZip;
  FillAttachmentBox(attachments_);

  mailer_.OnCaption = [this](const std::string& text) {
    setWindowTitle(Q(text));
    if (OnStatusCaption) OnStatusCaption(Q(text));
  };
  mailer_.OnProgressShown = [this](bool on) { ShowProgress(on); };
  mailer_.OnProgress = [this](std::uint64_t sent, std::uint64_t total) { SetProgress(sent, total); };
}

TF_MailForm::~TF_MailForm() {
  mailer_.OnCaption = nullptr;
  mailer_.OnProgressShown = nullptr;
  mailer_.OnProgress = nullptr;
}

void TF_MailForm::FillAttachmentBox(const QStringList& items) {
  co_AttachedFiles->clear();
  co_AttachedFiles->addItems(items);
  if (co_AttachedFiles->count() > 0) co_AttachedFiles->setCurrentIndex(0);
}

void TF_MailForm::ShowProgress(bool on) {
  if (on) {
    pb_Amazon->setRange(0, 100);
    pb_Amazon->setValue(0);
  }
  pb_Amazon->setVisible(on);
  if (OnStatusShown) OnStatusShown(on);
}

void TF_MailForm::SetProgress(std::uint64_t sent, std::uint64_t total) {
  // The bar counts in units small enough for its int range.
  int shift = 0;
  while ((total >> shift) > 0x7fffffffULL) ++shift;
  pb_Amazon->setRange(0, static_cast<int>(total >> shift));
  pb_Amazon->setValue(static_cast<int>(std::min(sent, total) >> shift));
  if (OnStatusProgress) OnStatusProgress(sent, total);
}

void TF_MailForm::RecordAddress(const QString& entry) {
  try {
    TAddressBook(S(AddressBookPath)).Record(S(entry));
  } catch (const EAddressBookError& e) {
    // The book is a convenience; the mail still goes.
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  }
}

void TF_MailForm::bu_SendClick() {
  if (mailer_.Sending()) return;
  const QString name = ed_Name->text();
  const QString email = ed_Email->text();
  const std::string missing = FirstMissingSetting(settings_.fields(), S(name), S(email));
  if (!missing.empty()) {
    pf::Dialogs().MessageBox(missing, pf::MsgKind::Warning, pf::BtnOK);
    return;
  }
  RecordAddress(Q(TAddressBook::MakeEntry(S(name), S(email))));
  if (attachments_.isEmpty()) {
    pf::Dialogs().MessageBox("You must attach archive first!", pf::MsgKind::Information, pf::BtnOK);
    return;
  }
  std::vector<std::string> files;
  for (const QString& a : attachments_) files.push_back(S(a));
  mailer_.SendArchiveMail(settings_.copies(), S(name), S(email), files, S(ed_Subject->text()));
}

void TF_MailForm::bu_CloseClick() { close(); }

void TF_MailForm::closeEvent(QCloseEvent* e) {
  if (mailer_.Sending()) mailer_.Abort();
  QDialog::closeEvent(e);
}

void TF_MailForm::reject() {
  if (mailer_.Sending()) mailer_.Abort();
  QDialog::reject();
}

void TF_MailForm::bu_AttachClick() {
  TF_Attach chooser(attachments_, this);
  if (!chooser.ShowModal()) return;
  attachments_ = chooser.Paths();
  FillAttachmentBox(chooser.Names());
}

void TF_MailForm::bu_AddressBookClick() {
  TF_SearchHist book(AddressBookPath, this);
  book.OnPick = [this](const QString& entry) {
    const TAddressBook::Fields f = TAddressBook::Parse(S(entry));
    ed_Name->setText(Q(f.name));
    ed_Email->setText(Q(f.email));
  };
  book.ShowModal();
}

void TF_MailForm::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_MailForm::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

}  // namespace arkelin::mail
