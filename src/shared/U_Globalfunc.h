// Free helpers the windows share: where the program lives and writes, path
// and string utilities, starting other programs, and a time-span text. None
// keeps state; all run on the user-interface thread. Programs are started
// through the platform's process service, so tests can watch the command
// lines without starting anything. The Enter-as-Tab key helper for forms is in
// widgets/EnterAsTab.h, because it needs Qt Widgets.
#pragma once

#include <cstdint>
#include <string>

namespace arkelin::shared {

// The executable's folder with a trailing separator ("/opt/arkelin/"). The
// engine libraries and the self-extractor stub are looked for here first and
// then in ../lib/arkelin (platform::ProgramFileFolder).
std::string ProgramFolder();

// The folder the program writes its own files to (Arkelin.ini,
// Favorites.lst, EMHIST.TXT, editor copies), with a trailing separator: the
// program folder when it is a self-contained, writable program folder,
// otherwise the per-user configuration folder (platform::DataFolder).
std::string WriteFolder();

// The work folder "TMP", without trailing separator: inside the write folder
// for a self-contained program folder, otherwise in the per-user cache folder
// (platform::CacheFolder). The Run command extracts into it; nothing removes it.
std::string WorkFolder();
// Creates the work folder when it is missing; false when it cannot.
bool MakeWorkFolder();

// A disk path ending in the native separator; empty stays empty and a path
// that already ends in it is returned unchanged.
std::string WithBackslash(const std::string& path);
// The same rule for a folder inside an archive, whose separator is "\":
// joining it to an entry's name by plain concatenation gives the full name.
std::string WithEntrySeparator(const std::string& folder);

// The n-th field (from 1) of text split at the one-character delimiter.
// Consecutive delimiters give empty fields; a field number below 1 or beyond
// the last field gives the empty text; a text without the delimiter is its
// own field 1.
std::string NthToken(const std::string& text, int n, char delimiter);

// Replaces the first occurrence of search in text, or with all every one,
// looking again from the start of the changed text after each replacement
// (so "aabb" loses "ab" twice). An empty search never matches. A
// replacement that itself contains search is inserted once per original
// occurrence and never searched again, so the call always ends.
void ReplaceText(const std::string& search, std::string& text, const std::string& replacement, bool all);

// Starts program + " " + parameters (the blank is always there, nothing is
// quoted) with the window show state. With wait, blocks until it ends and
// answers true only for exit code 0; without, true once started. False when
// it cannot be started; nothing is reported.
bool RunProcess(const std::string& program, const std::string& parameters, int show, bool wait);

// Asks the desktop to open a file or address with its associated program.
// The result is not examined.
void OpenWithShell(const std::string& target);

// The span between two millisecond tick counts as "mm:ss": minutes are not
// limited to two digits ("125:00"), both parts have at least two digits. A
// span that runs backwards (a clock set back) shows as "00:00".
std::string ElapsedText(int64_t start, int64_t stop);

}  // namespace arkelin::shared
