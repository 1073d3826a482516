#include "window/Addunit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMimeData>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/NameText.h"
#include "platform/Platform.h"
#include "window/DragOut.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {
TAddForm::ShowHook g_showHook;

QString WithSlash(const QString& folder) {
  return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}
}  // namespace

QStringList LocalFilesOf(const QMimeData* data, QStringList* refused) {
  QStringList out;
  if (!data || !data->hasUrls()) return out;
  // The list's own bytes: QUrl would decode a name that is not UTF-8 into
  // replacement characters, and the file could not be found again.
  const QByteArray list = data->data(QStringLiteral("text/uri-list"));
  if (!list.isEmpty()) {
    for (const QByteArray& raw : list.split('\n')) {
      const QByteArray line = raw.trimmed();
      if (line.isEmpty() || line.startsWith('#')) continue;
      // "file://host/path" names a file on another computer; only the empty
      // host and "localhost" are this one.
      const std::string path = pf::LocalPathOfUri(line.toStdString());
      if (!path.empty())
        out << pf::NameToText(path);
      else if (refused)
        *refused << QUrl::fromEncoded(line).toDisplayString();
    }
    return out;
  }
  for (QUrl u : data->urls()) {
    if (u.isLocalFile() && u.host().compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
      u.setHost(QString());
    if (u.isLocalFile() && u.host().isEmpty() && !u.path().isEmpty())
      out << u.toLocalFile();
    else if (refused)
      *refused << u.toDisplayString();
  }
  return out;
}

bool IsOwnDrag(const QMimeData* data) { return data && data->hasFormat(DragOutData::OwnFormat()); }

void SayRefusedDrops(const QStringList& refused) {
  if (refused.isEmpty()) return;
  pf::Dialogs().MessageBox(
      ("Only files on this computer can be dropped; not taken:\n" + refused.join(QStringLiteral("\n"))).toStdString(),
      pf::MsgKind::Warning, pf::BtnOK);
}

// ---- The Add list ---------------------------------------------------------------

void AddListWidget::dragEnterEvent(QDragEnterEvent* e) {
  if (e->source() && e->source() == acceptedSource) {
    e->acceptProposedAction();
  } else if (!e->source() && e->mimeData()->hasUrls() && OnShellDrop && !IsOwnDrag(e->mimeData())) {
    e->acceptProposedAction();
  } else {
    e->ignore();
  }
}

void AddListWidget::dragMoveEvent(QDragMoveEvent* e) {
  if ((e->source() && e->source() == acceptedSource) || (!e->source() && e->mimeData()->hasUrls() && OnShellDrop))
    e->acceptProposedAction();
  else
    e->ignore();
}

void AddListWidget::dropEvent(QDropEvent* e) {
  if (e->source() && e->source() == acceptedSource) {
    e->acceptProposedAction();
    if (OnFilesDragged) OnFilesDragged();
    return;
  }
  if (!e->source() && OnShellDrop && !IsOwnDrag(e->mimeData())) {
    e->acceptProposedAction();
    QStringList refused;
    const QStringList files = LocalFilesOf(e->mimeData(), &refused);
    SayRefusedDrops(refused);
    if (!files.isEmpty()) OnShellDrop(files);
    return;
  }
  e->ignore();
}

// ---- The window -----------------------------------------------------------------------

TAddForm::TAddForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AddForm"));
  setWindowTitle(QStringLiteral("Add file(s) to archive"));
  Header = new QLabel(QStringLiteral("Add file(s) to archive"), this);
  QFont hf = Header->font();
  hf.setBold(true);
  hf.setPointSizeF(hf.pointSizeF() * 1.3);
  Header->setFont(hf);
  bu_SelectAll = new QPushButton(QStringLiteral("<Select all files>"), this);
  bu_NewDir = new QToolButton(this);
  bu_NewDir->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  bu_NewDir->setToolTip(QStringLiteral("Create new directory"));
  DirectoryListBox1 = new FolderTree(this);
  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FileListBox1->setDragEnabled(true);
  FileListBox1->setDragDropMode(QAbstractItemView::DragOnly);
  SortBut = new QPushButton(QStringLiteral("<Sort selected files>"), this);
  SortBut->setToolTip(QStringLiteral("Sort files"));
  bu_addDir = new QPushButton(QStringLiteral("<Add directory>"), this);
  bu_addDir->setToolTip(QStringLiteral("Add selected directory"));
  bu_AddFiles = new QPushButton(QStringLiteral("<Add file(s)>"), this);
  bu_AddFiles->setToolTip(QStringLiteral("Add selected file(s)"));
  bu_Delete = new QPushButton(QStringLiteral("<Remove file(s)>"), this);
  bu_Delete->setToolTip(QStringLiteral("Remove selected file(s)"));
  SelectedList = new AddListWidget(this);
  SelectedList->setObjectName(QStringLiteral("SelectedList"));
  SelectedList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  SelectedList->setAcceptDrops(true);
  SelectedList->setDragDropMode(QAbstractItemView::DropOnly);
  SelectedList->acceptedSource = FileListBox1;
  SelectedList->OnFilesDragged = [this] { FilesDragged(); };
  SelectedList->OnShellDrop = [this](const QStringList& names) {
    if (OnShellDrop) OnShellDrop(names);
  };
  CB_Move = new QCheckBox(QStringLiteral("Delete file(s) after"), this);
  CB_Move->setToolTip(QStringLiteral("After adding to archive, delete original file"));
  Ch_Update = new QCheckBox(QStringLiteral("Only update file(s)"), this);
  CheckBox1 = new QCheckBox(QStringLiteral("Force Multiple disk Volumes. "), this);
  CheckBox1->setToolTip(QStringLiteral("Force Multiple disc spanning. "));
  ed_Password = new QLineEdit(this);
  ed_Password->setObjectName(QStringLiteral("ed_Password"));
  ed_Password->setEchoMode(QLineEdit::Password);
  ed_Password->setPlaceholderText(QStringLiteral("none: not encrypted"));
  ed_Password->setToolTip(QStringLiteral("The files added are encrypted with this password"));
  co_Encryption = new QComboBox(this);
  co_Encryption->setObjectName(QStringLiteral("co_Encryption"));
  co_Encryption->addItems({QStringLiteral("Traditional"), QStringLiteral("AES-128"), QStringLiteral("AES-192"),
                           QStringLiteral("AES-256")});
  co_Encryption->setToolTip(
      QStringLiteral("Traditional encryption is read by every ZIP program but is weak; AES is strong"));
  auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
  passwordLabel->setBuddy(ed_Password);
  BitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
  BitBtn1->setToolTip(QStringLiteral("Start install"));
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton(QStringLiteral("&Close"), this);
  BitBtn2->setToolTip(QStringLiteral("Cancel operation"));

  auto* left = new QVBoxLayout;
  auto* treeTop = new QHBoxLayout;
  treeTop->addWidget(bu_SelectAll);
  treeTop->addStretch(1);
  treeTop->addWidget(bu_NewDir);
  left->addLayout(treeTop);
  left->addWidget(DirectoryListBox1, 1);
  left->addWidget(FileListBox1, 1);
  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  middle->addWidget(bu_AddFiles);
  middle->addWidget(bu_addDir);
  middle->addWidget(bu_Delete);
  middle->addWidget(SortBut);
  middle->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(SelectedList, 1);
  right->addWidget(CB_Move);
  right->addWidget(Ch_Update);
  right->addWidget(CheckBox1);
  auto* password = new QHBoxLayout;
  password->addWidget(passwordLabel);
  password->addWidget(ed_Password, 1);
  password->addWidget(co_Encryption);
  right->addLayout(password);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto* grid = new QGridLayout(this);
  grid->addWidget(Header, 0, 0, 1, 3);
  grid->addLayout(left, 1, 0);
  grid->addLayout(middle, 1, 1);
  grid->addLayout(right, 1, 2);
  grid->addLayout(buttons, 2, 0, 1, 3);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 1);
  resize(640, 440);
  setAcceptDrops(true);

  connect(bu_SelectAll, &QPushButton::clicked, this, [this] { bu_SelectAllClick(); });
  connect(bu_NewDir, &QToolButton::clicked, this, [this] { bu_NewDirClick(); });
  connect(SortBut, &QPushButton::clicked, this, [this] { SortButClick(); });
  connect(bu_addDir, &QPushButton::clicked, this, [this] { bu_addDirClick(); });
  connect(bu_AddFiles, &QPushButton::clicked, this, [this] { bu_AddFilesClick(); });
  connect(bu_Delete, &QPushButton::clicked, this, [this] { bu_DeleteClick(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(DirectoryListBox1, &FolderTree::FolderChanged, this, [this] { FillFileBox(); });
}

void TAddForm::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

int TAddForm::AesBits() const {
  static constexpr int kBits[] = {0, 128, 192, 256};
  const int i = co_Encryption->currentIndex();
  return i >= 0 && i < 4 ? kBits[i] : 0;
}

void TAddForm::SetAesBits(int bits) {
  co_Encryption->setCurrentIndex(bits == 128 ? 1 : bits == 192 ? 2 : bits == 256 ? 3 : 0);
}

QStringList TAddForm::Names() const {
  QStringList out;
  for (int i = 0; i < SelectedList->count(); ++i) out << SelectedList->item(i)->text();
  return out;
}

void TAddForm::SetNames(const QStringList& names) {
  SelectedList->clear();
  AppendNames(names);
}

void TAddForm::AppendNames(const QStringList& names) {
  SelectedList->addItems(names);
  if (sorted_) SelectedList->sortItems();
  AfterAppend();
}

void TAddForm::ClearNames() { SelectedList->clear(); }

void TAddForm::SetFolder(const QString& folder) {
  DirectoryListBox1->SetFolder(folder);
  FillFileBox();
}

void TAddForm::FillFileBox() {
  FileListBox1->clear();
  const QDir d(DirectoryListBox1->Folder());
  const QFileInfoList files = d.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& fi : files) {
    auto* item = new QListWidgetItem(fi.fileName(), FileListBox1);
    item->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
  }
}

void TAddForm::AcceptOutside(bool on) {
  setAcceptDrops(on);
  SelectedList->OnShellDrop = on ? std::function<void(const QStringList&)>([this](const QStringList& names) {
    if (OnShellDrop) OnShellDrop(names);
  })
                                 : std::function<void(const QStringList&)>();
}

void TAddForm::ShowModal() {
  if (OnActivate) OnActivate();
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  if (exec() != QDialog::Accepted) Cancelled = true;
}

void TAddForm::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow() && OnActivate) OnActivate();
}

void TAddForm::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->source() && e->mimeData()->hasUrls() && !IsOwnDrag(e->mimeData())) e->acceptProposedAction();
}

void TAddForm::dropEvent(QDropEvent* e) {
  if (e->source() || IsOwnDrag(e->mimeData())) return;
  e->acceptProposedAction();
  QStringList refused;
  const QStringList files = LocalFilesOf(e->mimeData(), &refused);
  SayRefusedDrops(refused);
  if (OnShellDrop && !files.isEmpty()) OnShellDrop(files);
}

void TAddForm::AppendUnique(const QString& name) {
  for (int i = 0; i < SelectedList->count(); ++i)
    if (SelectedList->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) return;
  SelectedList->addItem(name);
}

void TAddForm::AfterAppend() {
  if (sorted_) SelectedList->sortItems();
  if (SelectedList->count() > 0) SelectedList->scrollToItem(SelectedList->item(SelectedList->count() - 1));
}

void TAddForm::AddSelectedFiles() {
  const QString folder = WithSlash(DirectoryListBox1->Folder());
  for (int i = 0; i < FileListBox1->count(); ++i) {
    QListWidgetItem* item = FileListBox1->item(i);
    if (!item->isSelected()) continue;
    AppendUnique(folder + item->text());
    item->setSelected(false);
  }
  AfterAppend();
}

void TAddForm::bu_SelectAllClick() { FileListBox1->selectAll(); }

void TAddForm::bu_NewDirClick() {
  const auto answer = pf::Dialogs().InputBox("Input Box", "Directory", "", false);
  if (!answer) return;
  const QString made = MakeFolderIn(DirectoryListBox1->Folder(), QString::fromStdString(*answer));
  if (made.isEmpty()) pf::Dialogs().MessageBox("Couldn't create directory!", pf::MsgKind::Error, pf::BtnOK);
  DirectoryListBox1->Reload();
}

void TAddForm::SortButClick() {
  sorted_ = true;
  SelectedList->sortItems();
  SortBut->setEnabled(false);
}

void TAddForm::bu_addDirClick() {
  AppendUnique(WithSlash(DirectoryListBox1->Folder()));
  AfterAppend();
  Cancelled = true;
}

void TAddForm::bu_AddFilesClick() {
  AddSelectedFiles();
  Cancelled = true;
}

void TAddForm::FilesDragged() { AddSelectedFiles(); }

void TAddForm::bu_DeleteClick() {
  for (int i = SelectedList->count() - 1; i >= 0; --i)
    if (SelectedList->item(i)->isSelected()) delete SelectedList->takeItem(i);
}

void TAddForm::BitBtn1Click() {
  Cancelled = false;
  accept();
}

void TAddForm::BitBtn2Click() { reject(); }

void TAddForm::reject() {
  Cancelled = true;
  QDialog::reject();
}

}  // namespace arkelin::window
