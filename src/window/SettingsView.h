// SettingsView: the archive window's view of the live settings, read from the
// configuration window's controls at the moment a command asks.
//
// The configuration window is not owned and must outlive the view.
#pragma once

#include "window/MainSettings.h"

namespace arkelin::settings {
class TF_Settings;
}

namespace arkelin::window {

class SettingsView : public IMainSettings {
 public:
  explicit SettingsView(settings::TF_Settings& f) : f_(f) {}

  bool AcceptOutside() const override;
  bool AskZipName() const override;
  QString DefaultZipName() const override;
  QString DateFormat() const override;
  QString TimeFormat() const override;
  QString OpenFolder() const override;
  bool PromptAfterExtracted() const override;
  bool PromptAfterAdded() const override;
  bool PromptAfterDeleted() const override;
  int CompressionLevel() const override;
  bool RecurseDirs() const override;
  bool SaveDirNames() const override;
  bool UseTimestamp() const override;
  bool ForceMsDos() const override;
  bool FormatEachDisk() const override;
  bool AutoSpan() const override;
  int AddAesBits() const override;
  void StoreAddAesBits(int bits) const override;
  QString FolderSetting(char kind) const override;
  void StoreLastFolder(char kind, const QString& folder) const override;
  MailSettings MailFields() const override;
  MailSettings MailCopies() const override;
  bool BuiltInEditor() const override;
  QString EditorPath() const override;
  bool BuiltInGraphic() const override;
  QString GraphicPath() const override;
  QString GraphicFormats() const override;
  QString TempFolder() const override;
  void SetTempFolder(const QString& folder) const override;
  QString InstallNames() const override;
  QColor WindowColor() const override;

 private:
  settings::TF_Settings& f_;
};

}  // namespace arkelin::window
