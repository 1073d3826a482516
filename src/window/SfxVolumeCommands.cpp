#include "window/SfxVolumeCommands.h"

#include "window/CommandSupport_p.h"

namespace arkelin::window {

void SfxVolumeCommands::MakeSelfExtracting() { w_.NotAvailable(QStringLiteral("Make Self Extracting file")); }
void SfxVolumeCommands::CreateVolumes() { w_.NotAvailable(QStringLiteral("Create multiple volumes")); }
void SfxVolumeCommands::OpenVolumes() { w_.NotAvailable(QStringLiteral("Open multiple volume archive")); }
void SfxVolumeCommands::Refresh(const QString&) {
  w_.NotAvailable(QStringLiteral("Refreshing a self-extracting archive"));
}

}  // namespace arkelin::window
