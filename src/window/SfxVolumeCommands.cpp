#include "window/SfxVolumeCommands.h"

#include <QFileInfo>

#include "engine/zip/ZipMstr.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"
#include "window/CommandSupport_p.h"
#include "window/sfxunit.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {
QString g_stubFolder;  // tests: where ru2001.bin is looked for instead of the program folder
}

void SfxVolumeCommands::SetStubFolderOverride(const QString& folder) { g_stubFolder = folder; }

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
    QString folder = g_stubFolder.isEmpty() ? Q(shared::ProgramFolder()) : g_stubFolder;
    if (!folder.endsWith(u'/')) folder += u'/';
    const QString stub = folder + QStringLiteral("ru2001.bin");
    if (!QFileInfo(stub).isFile()) {
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

void SfxVolumeCommands::CreateVolumes() { w_.NotAvailable(QStringLiteral("Create multiple volumes")); }
void SfxVolumeCommands::OpenVolumes() { w_.NotAvailable(QStringLiteral("Open multiple volume archive")); }
void SfxVolumeCommands::Refresh(const QString&) {
  w_.NotAvailable(QStringLiteral("Refreshing a self-extracting archive"));
}

}  // namespace arkelin::window
