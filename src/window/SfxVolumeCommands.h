// The archive window's self-extracting and multi-volume commands: make a
// self-extracting program (or a ZIP file back from one), create multiple
// volumes, open a multiple volume archive, and the refresh of a modified
// self-extracting archive when the session leaves it.
#pragma once

#include <QString>
#include <QStringList>

namespace arkelin::window {

class TMainform;

class SfxVolumeCommands {
 public:
  explicit SfxVolumeCommands(TMainform& window) : w_(window) {}
  void MakeSelfExtracting();
  void CreateVolumes();
  void OpenVolumes();
  // Called with the self-extracting archive the session is leaving.
  void Refresh(const QString& name);
  // Tests: the executable's folder from which "ru2001.bin" and
  // "arkelin.dat" are looked for (beside it, then ../lib/arkelin; empty:
  // the running program's).
  static void SetProgramFolderOverride(const QString& folder);

 private:
  TMainform& w_;
};

}  // namespace arkelin::window
