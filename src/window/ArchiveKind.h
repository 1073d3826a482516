// What a file given on the command line is, judged by its content: the file
// manager hands over any name, and a RAR archive or a self-extracting program
// is to be opened, not packed into a new ZIP.
#pragma once

#include <QString>

namespace arkelin::window {

enum class ArchiveKind {
  None,  // not an archive the program reads (or not readable at all)
  Zip,   // a ZIP archive, or any file holding a ZIP directory at its end
         // (a self-extracting program, a damaged archive the engine will report)
  Rar,   // the RAR 1.5-4.x or RAR 5 signature at the start, or within the
         // first MiB of a file that holds no ZIP directory (a RAR
         // self-extracting program)
};

ArchiveKind DetectArchiveKind(const QString& path);

}  // namespace arkelin::window
