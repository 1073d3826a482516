// Starting a file that was just extracted from an archive: with the program
// the desktop associates with its type, or, when it is itself a program, as
// that program, but then only after the user has confirmed a question that
// names the exact file. A file that has no associated program and is no
// program says so instead of silently doing nothing.
//
// Used by the Run command and by Install. The questions go through the
// platform dialogs, the programs are started by RunProcess (shared helpers),
// so tests script the answers and watch the command lines.
#pragma once

#include <string>

namespace arkelin::open {

enum class StartResult {
  Started,      // started (and, when waiting, ended with exit code 0)
  Failed,       // could not be started, or ended with another exit code
  Declined,     // the user answered No to the confirmation
  NotAProgram,  // no associated program and not executable: the user was told
};

// The confirmation asked before a program taken from an archive is started.
std::string ConfirmStartText(const std::string& file);
// Asks ConfirmStartText (confirmation, Yes and No); true for Yes.
bool ConfirmStart(const std::string& file);
// The message for a file with no associated program that is not executable.
std::string NotAProgramText(const std::string& file);

// Starts program with file as its one last argument, blanks and all (a
// command line split on blanks would cut "My Letter.txt" in two). program
// is a program's path, or, when no file has that whole name, a program and
// its fixed arguments separated by blanks. Answers as RunProcess does.
bool RunWithFile(const std::string& program, const std::string& file, bool wait);

// True when file is a regular file the user may execute.
bool IsExecutableFile(const std::string& file);

// Starts file (a full disk path), waiting for the program to end when wait
// is set:
//   - its extension has an associated program: that program with the file
//     as its argument; when the type is itself a program or a script (an
//     .exe handed to a runner, a script), only after ConfirmStartText;
//   - no associated program, file executable: after ConfirmStartText, the
//     file itself with no arguments;
//   - otherwise NotAProgramText is shown (information) and nothing starts.
StartResult StartFromArchive(const std::string& file, bool wait);

}  // namespace arkelin::open
