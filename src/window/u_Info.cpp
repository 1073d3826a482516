#include "window/u_Info.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLocale>

#include <sys/stat.h>

#include "platform/NameText.h"
#include "window/FileListModel.h"

namespace arkelin::window {

namespace {
TF_Info::ShowHook g_showHook;
}

long long UncompressedFromList(const FileListModel& rows) {
  long long sum = 0;
  // The bytes the rows hold, not their rounded kilobyte texts.
  for (int r = 0; r < rows.RowCountValue(); ++r) sum += rows.Row(r).uncompressed;
  return sum;
}

TF_Info::TF_Info(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_Info"));
  setWindowTitle(QStringLiteral(" "));
  Header = new QLabel(QStringLiteral("Archive information"), this);
  QFont hf = Header->font();
  hf.setBold(true);
  Header->setFont(hf);
  la_Archive = new QLabel(this);
  la_Date = new QLabel(this);
  la_Size = new QLabel(this);
  la_Unc = new QLabel(this);
  bu_Close = new QPushButton(QStringLiteral("&Close"), this);
  auto* grid = new QGridLayout(this);
  grid->addWidget(Header, 0, 0, 1, 2);
  const QString captions[] = {QStringLiteral("Archive name:"), QStringLiteral("Date:"), QStringLiteral("Size:"),
                              QStringLiteral("Uncompressed size:")};
  QLabel* values[] = {la_Archive, la_Date, la_Size, la_Unc};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(new QLabel(captions[i], this), i + 1, 0);
    grid->addWidget(values[i], i + 1, 1);
  }
  grid->addWidget(bu_Close, 5, 1, Qt::AlignRight);
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::accept);
  setFixedSize(sizeHint().expandedTo(QSize(320, 170)));
}

void TF_Info::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_Info::Fill(const QString& archive, const FileListModel& rows) {
  const long long sum = UncompressedFromList(rows);
  la_Archive->setText(NamePart(archive));
  // The file may have gone since it was listed: then date and size are
  // shown as unknown rather than as a date of 1970 and a size of 0. The
  // name is looked up by its bytes (it need not be UTF-8).
  struct stat st {};
  if (::stat(platform::TextToName(archive).c_str(), &st) == 0) {
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtime);
    la_Date->setText(QLocale::system().toString(modified.date(), QLocale::ShortFormat));
    la_Size->setText(QString::number(static_cast<long long>(st.st_size)));
  } else {
    la_Date->setText(QStringLiteral("Unknown"));
    la_Size->setText(QStringLiteral("Unknown"));
  }
  la_Unc->setText(QString::number(sum));
}

void TF_Info::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

}  // namespace arkelin::window
