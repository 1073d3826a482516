// The live settings the archive window reads at the moment it acts.
//
// The configuration window's controls are the live settings; the archive
// window reads them through this small view so that it never depends on how
// that window lays them out, and so that its tests can set them directly.
// DefaultMainSettings answers the stored defaults and is in force until a
// configuration window is attached.
#pragma once

#include <QColor>
#include <QString>

#include <optional>

namespace arkelin::window {

// The mail settings as texts: SMTP SERVER, PORT, USER and SECURITY,
// PERSONAL NAME and EMAIL.
struct MailSettings {
  QString server;
  QString port = QStringLiteral("25");
  QString name;
  QString email;
  QString user;
  QString security;
};

class IMainSettings {
 public:
  virtual ~IMainSettings() = default;
  // "Accept files outside Arkelin2001"
  virtual bool AcceptOutside() const = 0;
  // "Ask Zipname before if new archive"
  virtual bool AskZipName() const = 0;
  // "Default path and name of Zipfile:" as a disk path
  virtual QString DefaultZipName() const = 0;
  // Date and time format of the Modified column
  virtual QString DateFormat() const = 0;
  virtual QString TimeFormat() const = 0;
  // Start folder of the open dialog (kind "S"); empty leaves it to the platform.
  virtual QString OpenFolder() const = 0;

  // The settings of the engine commands; each answers its stored default
  // unless overridden.
  // "Prompt after files extracted" / "... added" / "... deleted"
  virtual bool PromptAfterExtracted() const { return true; }
  virtual bool PromptAfterAdded() const { return true; }
  virtual bool PromptAfterDeleted() const { return true; }
  // Compression level 0..9, handed unchanged to the engine.
  virtual int CompressionLevel() const { return 9; }
  // "Recurse Dirs", "Save DirNames", "Use Timestamp", "Force MS-DOS"
  virtual bool RecurseDirs() const { return true; }
  virtual bool SaveDirNames() const { return true; }
  virtual bool UseTimestamp() const { return false; }
  virtual bool ForceMsDos() const { return false; }
  // "&Format each disk first" and "Automatically use disk spanning when
  // writing to removable media"
  virtual bool FormatEachDisk() const { return true; }
  virtual bool AutoSpan() const { return true; }
  // The encryption the Add window offers first: 0 traditional, else the AES
  // key length in bits; and the place where the one last chosen there is
  // remembered.
  virtual int AddAesBits() const { return 0; }
  virtual void StoreAddAesBits(int) const {}
  // The start folder for the extract ('E') and add ('A') windows, and the
  // place where the folder last chosen for them is remembered.
  virtual QString FolderSetting(char kind) const;
  virtual void StoreLastFolder(char kind, const QString& folder) const;
  // The mail settings: the configuration window's fields (what the mail
  // window checks) and the copies stored by the last "&Ok" (what is sent).
  virtual MailSettings MailFields() const { return {}; }
  virtual MailSettings MailCopies() const { return MailFields(); }

  // Viewing entries. VIEWER/EDITOR: the built-in text editor (BUILTIN) or
  // the external one at EDITORPATH; GXVIEW: the built-in image viewer
  // (FASTVIEW) or the external one at EXTPATH, and the FORMATS it takes.
  virtual bool BuiltInEditor() const { return true; }
  virtual QString EditorPath() const { return {}; }
  virtual bool BuiltInGraphic() const { return true; }
  virtual QString GraphicPath() const { return {}; }
  virtual QString GraphicFormats() const { return QStringLiteral("JPG;BMP;GIF"); }
  // FOLDERS TEMP as a disk path, and a change of it for the rest of the run
  // (stored only when the configuration is next confirmed).
  virtual QString TempFolder() const;
  virtual void SetTempFolder(const QString& folder) const;
  // AVAILABLEINSTALL FILENAMES; COLOR WINDOW (invalid: the system's colour).
  virtual QString InstallNames() const;
  virtual QColor WindowColor() const { return {}; }
};

class DefaultMainSettings : public IMainSettings {
 public:
  bool acceptOutside = true;
  bool askZipName = true;
  QString defaultZipName;   // empty: Noname.zip in the home folder
  QString dateFormat = QStringLiteral("yyyy/mm/dd");
  QString timeFormat = QStringLiteral("hh:mm");
  QString openFolder;

  bool AcceptOutside() const override { return acceptOutside; }
  bool AskZipName() const override { return askZipName; }
  QString DefaultZipName() const override;
  QString DateFormat() const override { return dateFormat; }
  QString TimeFormat() const override { return timeFormat; }
  QString OpenFolder() const override { return openFolder; }

  bool promptAfterExtracted = true, promptAfterAdded = true, promptAfterDeleted = true;
  int compressionLevel = 9;
  bool recurseDirs = true, saveDirNames = true, useTimestamp = false, forceMsDos = false;
  bool formatEachDisk = true, autoSpan = true;
  mutable int addAesBits = 0;
  int AddAesBits() const override { return addAesBits; }
  void StoreAddAesBits(int bits) const override { addAesBits = bits; }
  // Last folders by kind; a kind with none starts in the home folder.
  mutable QString lastExtract, lastAdd;

  bool PromptAfterExtracted() const override { return promptAfterExtracted; }
  bool PromptAfterAdded() const override { return promptAfterAdded; }
  bool PromptAfterDeleted() const override { return promptAfterDeleted; }
  int CompressionLevel() const override { return compressionLevel; }
  bool RecurseDirs() const override { return recurseDirs; }
  bool SaveDirNames() const override { return saveDirNames; }
  bool UseTimestamp() const override { return useTimestamp; }
  bool ForceMsDos() const override { return forceMsDos; }
  bool FormatEachDisk() const override { return formatEachDisk; }
  bool AutoSpan() const override { return autoSpan; }
  QString FolderSetting(char kind) const override;
  void StoreLastFolder(char kind, const QString& folder) const override;
  MailSettings mailFields, mailCopies;
  MailSettings MailFields() const override { return mailFields; }
  MailSettings MailCopies() const override { return mailCopies; }

  bool builtInEditor = true, builtInGraphic = true;
  QString editorPath, graphicPath, graphicFormats = QStringLiteral("JPG;BMP;GIF");
  // Until set: the stored default, mapped to a disk path.
  mutable std::optional<QString> tempFolder;
  bool BuiltInEditor() const override { return builtInEditor; }
  QString EditorPath() const override { return editorPath; }
  bool BuiltInGraphic() const override { return builtInGraphic; }
  QString GraphicPath() const override { return graphicPath; }
  QString GraphicFormats() const override { return graphicFormats; }
  QString TempFolder() const override;
  void SetTempFolder(const QString& folder) const override { tempFolder = folder; }
  std::optional<QString> installNames;  // until set: the stored default
  QColor windowColor;
  QString InstallNames() const override { return installNames ? *installNames : IMainSettings::InstallNames(); }
  QColor WindowColor() const override { return windowColor; }
};

}  // namespace arkelin::window
