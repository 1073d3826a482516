#include "window/SettingsView.h"

#include <QDir>

#include "platform/Paths.h"
#include "settings/u_settings.h"

namespace arkelin::window {

bool SettingsView::AcceptOutside() const { return f_.AcceptOutside(); }
bool SettingsView::AskZipName() const { return f_.AskZipName(); }
QString SettingsView::DefaultZipName() const {
  return QString::fromStdString(platform::MapDefaultPath(f_.DefaultZipName().toStdString()));
}
QString SettingsView::DateFormat() const { return f_.DateFormat(); }
QString SettingsView::TimeFormat() const { return f_.TimeFormat(); }
QString SettingsView::OpenFolder() const { return f_.OpenFolder(); }
bool SettingsView::PromptAfterExtracted() const { return f_.PromptAfterExtracted(); }
bool SettingsView::PromptAfterAdded() const { return f_.PromptAfterAdded(); }
bool SettingsView::PromptAfterDeleted() const { return f_.PromptAfterDeleted(); }
int SettingsView::CompressionLevel() const { return f_.CompLevel(); }
bool SettingsView::RecurseDirs() const { return f_.RecurseDirs(); }
bool SettingsView::SaveDirNames() const { return f_.SaveDirNames(); }
bool SettingsView::UseTimestamp() const { return f_.UseTimestamp(); }
bool SettingsView::ForceMsDos() const { return f_.ForceDos(); }
bool SettingsView::FormatEachDisk() const { return f_.FormatEachDisk(); }
bool SettingsView::AutoSpan() const { return f_.AutoSpan(); }

int SettingsView::AddAesBits() const { return f_.AddAesBits(); }
void SettingsView::StoreAddAesBits(int bits) const { f_.StoreAddAesBits(bits); }

QString SettingsView::FolderSetting(char kind) const {
  QString folder = QDir::homePath();
  f_.GetFolderSetting(QString(QChar::fromLatin1(kind)), folder);
  return folder;
}

void SettingsView::StoreLastFolder(char kind, const QString& folder) const {
  f_.StoreLastFolder(QString(QChar::fromLatin1(kind)), folder);
}

MailSettings SettingsView::MailFields() const {
  return {f_.SmtpServer(), f_.SmtpPort(), f_.PersonalName(), f_.PersonalEmail(), f_.SmtpUser(), f_.SmtpSecurity()};
}

MailSettings SettingsView::MailCopies() const {
  return {f_.MailServer, f_.MailPort, f_.MailName, f_.MailEmail, f_.MailUser, f_.MailSecurity};
}
bool SettingsView::BuiltInEditor() const { return f_.BuiltInEditor(); }
QString SettingsView::EditorPath() const { return f_.EditorPath(); }
bool SettingsView::BuiltInGraphic() const { return f_.BuiltInGraphic(); }
QString SettingsView::GraphicPath() const { return f_.GraphicPath(); }
QString SettingsView::GraphicFormats() const { return f_.GraphicFormats(); }
QString SettingsView::TempFolder() const { return f_.TempFolder(); }
void SettingsView::SetTempFolder(const QString& folder) const { f_.ed_Temp->setText(folder); }
QString SettingsView::InstallNames() const { return f_.InstallNames(); }
QColor SettingsView::WindowColor() const { return settings::ListColor(f_.WindowColor()); }

}  // namespace arkelin::window
