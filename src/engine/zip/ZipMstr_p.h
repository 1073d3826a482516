// TZipMaster's private pieces shared by its source files.
#pragma once

#include "engine/zip/ZipMstr.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::engine::zip {

// The input file of the component: the volume being read, by position.
struct TZipMaster::Input {
  dll::ArchiveFile file;
  dll::EndInfo end;  // the end record List found
};

}  // namespace arkelin::engine::zip
