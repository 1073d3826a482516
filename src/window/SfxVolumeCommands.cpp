#include "window/SfxVolumeCommands.h"

#include <optional>

#include "engine/zip/ZipMstr.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "window/CommandSupport_p.h"
#include "window/sfxunit.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {
QString g_exeFolder;  // tests: the executable's folder the program's files are looked for from

// `name` in the program's folders: beside the executable (a build tree or a
// program folder of its own), else in ../lib/arkelin (an installed program).
QString ProgramFile(const QString& name) {
  const std::string exe = g_exeFolder.isEmpty() ? pf::ExecutableFolder() : U8(g_exeFolder);
  QString folder = Q(pf::ProgramFileFolder(U8(name), exe));
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder + name;
}
}  // namespace

void SfxVolumeCommands::SetProgramFolderOverride(const QString& folder) { g_exeFolder = folder; }

void SfxVolumeCommands::MakeSelfExtracting() {
  if (w_.RefuseWhileBusy()) return;
  ez::TZipMaster& zm = w_.ZipMaster1();
  if (zm.Count() == 0) {
    pf::Dialogs().ShowMessage("The Archive must contain atleast one file!");
    return;
  }
  const QString name = w_.CurrentZipName();
  EngineScope scope(w_);
  if (ExtensionOf(name).toUpper() != QStringLiteral(".EXE")) {
    const QString stub = ProgramFile(QStringLiteral("ru2001.bin"));
    if (!DiskIsFile(stub)) {
      pf::Dialogs().MessageBox("Error: Can't find RU2001.BIN", pf::MsgKind::Error, pf::BtnOK);
      return;
    }
    zm.SFXPath = U8(stub);
    TMakeSFX dlg(&w_);
    dlg.setWindowTitle(name);
    dlg.ShowModal();
    if (!dlg.Accepted) return;
    auto set = [&](ez::SFXOpt opt, bool on) { zm.SFXOptions = on ? (zm.SFXOptions | opt) : (zm.SFXOptions & ~opt); };
    set(ez::SFXAskCmdLine, dlg.CmdLineCB->isChecked());
    set(ez::SFXAskFiles, dlg.FileListCB->isChecked());
    set(ez::SFXHideOverWriteBox, dlg.HideOverwriteCB->isChecked());
    const int ow = dlg.OverwriteIndex();
    zm.SFXOverWriteMode = ow == 1 ? ez::OvrAlways : ow == 2 ? ez::OvrNever : ez::OvrConfirm;
    zm.SFXCaption = U8(dlg.CaptionEdit->text());
    zm.SFXDefaultDir = U8(dlg.DirectoryEdit->text());
    zm.SFXCommandLine = U8(dlg.CommandEdit->text());
    if (zm.ConvertSFX() != 0) {
      pf::Dialogs().ShowMessage("Error while creating .EXE file");
      return;
    }
  } else if (zm.ConvertZIP() != 0) {
    pf::Dialogs().ShowMessage("Error while creating .ZIP file");
    return;
  }
  pf::Dialogs().ShowMessage("Successfully built: " + zm.ZipFilename());
  w_.SetSelfExtractCaptions(w_.CurrentZipName());
}

// The folder chooser: the chosen folder with a trailing separator, or
// nothing when cancelled.
static std::optional<QString> ChooseDestination(const QString& start) {
  const auto folder = pf::Dialogs().ChooseFolder("Please specify a directory", U8(start));
  if (!folder || folder->empty()) return std::nullopt;
  QString f = Q(*folder);
  if (!f.endsWith(u'/')) f += u'/';
  return f;
}

static bool IsFileDrive(pf::DriveType t) { return !pf::IsChangeableMedium(t); }

void SfxVolumeCommands::CreateVolumes() {
  if (w_.RefuseWhileBusy()) return;
  const QString name = w_.CurrentZipName();
  if (name.isEmpty()) return;
  const auto folder = ChooseDestination(DiskFolderOf(name));
  if (!folder) return;
  const QString output = *folder + DiskFileOf(name);
  ez::TZipMaster& zm = w_.ZipMaster1();
  const pf::DriveType type = pf::Drives().TypeOf(pf::Drives().DriveRoot(U8(*folder)));
  // Numbered files on fixed, network (and memory) drives; removable media
  // are formatted first when the setting asks for it.
  zm.AddOptions = !IsFileDrive(type) && w_.Settings().FormatEachDisk() ? ez::AddOpts(ez::AddDiskSpanErase)
                                                                      : ez::AddOpts(ez::AddDiskSpan);
  EngineScope scope(w_);
  w_.ShowProgress(true);
  zm.WriteSpan(U8(name), U8(output));
  w_.ShowProgress(false);
}

void SfxVolumeCommands::OpenVolumes() {
  if (w_.RefuseWhileBusy()) return;
  pf::FileDialogRequest req;
  req.title = "Open spanned ZIP archive on last disk";
  req.filter = "ZIP Files (*.ZIP)|*.zip";
  req.defaultExt = "zip";
  // The first removable medium stands for drive A:, else the home folder.
  req.initialDir = pf::HomeFolder();
  for (const std::string& root : pf::Drives().Roots())
    if (!IsFileDrive(pf::Drives().TypeOf(root))) {
      req.initialDir = root;
      break;
    }
  req.mustExist = true;
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
  if (chosen.empty()) return;
  const QString file = Q(chosen.front());
  const QString fileFolder = DiskFolderOf(file);
  const pf::DriveType type = pf::Drives().TypeOf(pf::Drives().DriveRoot(U8(file)));
  QString outName = DiskFileOf(file);
  if (IsFileDrive(type)) {
    // Numbered files: the three characters before the extension are the
    // volume's number (backup003.zip joins into backup.zip). The last part
    // of a standard set (name.zip beside name.z01) keeps its name.
    const int dot = outName.lastIndexOf(u'.');
    const QString base = dot < 0 ? outName : outName.left(dot);
    const QString suffix = dot < 0 ? QString() : outName.mid(dot + 1);
    bool digits = false;
    if (base.size() >= 3) base.right(3).toInt(&digits);
    const bool standard = DiskIsFile(fileFolder + u'/' + base + QStringLiteral(".z01"));
    if (!digits && !standard) {
      pf::Dialogs().ShowMessage("This is not a valid (last)part of a spanned archive");
      return;
    }
    if (digits) outName = base.left(base.size() - 3) + u'.' + suffix;
  }
  const auto folder = ChooseDestination(fileFolder);
  if (!folder) return;
  std::string output = U8(*folder + outName);
  EngineScope scope(w_);
  w_.ShowProgress(true);
  const int r = w_.ZipMaster1().ReadSpan(U8(file), output);
  w_.ShowProgress(false);
  if (r == 0) w_.setWindowTitle(w_.TitlePrefix + QStringLiteral("- ") + DiskFileOf(Q(output)));
}
// The self-extracting archive being left was changed: it is rebuilt from
// the current stub ("arkelin.dat" in the program folder) and its own
// parameter block, so that it still lists and extracts itself.
void SfxVolumeCommands::Refresh(const QString& name) {
  if (!w_.ArchiveModified) return;
  const QString info = ProgramFile(QStringLiteral("arkelin.dat"));
  if (!DiskIsFile(info)) {
    pf::Dialogs().MessageBox("Couldn't read Arkelin2001 SelfExtract Information!\nPlease reinstall Arkelin2001!",
                             pf::MsgKind::Warning, pf::BtnOK);
    return;
  }
  ez::TZipMaster& zm = w_.ZipMaster1();
  if (zm.ZipFilename() != U8(name)) return;
  w_.Panel3->setText(QStringLiteral("Updating Self Extracting Archive"));
  w_.CancelTag = 1;
  // Events run after every block of the one file: no need to ration them.
  w_.ShowProgress(true, false);
  const int r = zm.RebuildSFX(U8(info), [this] {
    pf::Pump().ProcessMessages();
    return w_.CancelTag != 0;
  });
  w_.ShowProgress(false);
  w_.Panel3->clear();
  if (w_.CancelTag == 0) {
    pf::Dialogs().MessageBox("Update EXE file aborted by user", pf::MsgKind::Information, pf::BtnOK);
    return;
  }
  w_.CancelTag = 0;
  // 2: another program's self-extractor, or a ZIP file named .exe; it
  // stays as Add left it.
  if (r != 0 && r != 2) pf::Dialogs().ShowMessage("Error while creating .EXE file");
}

}  // namespace arkelin::window
