// The RAR half of arkzip: list, test and extract a RAR archive over TRAR,
// with the same options and the same listing as for ZIP archives.
// args is the whole command line after the program name, for example
// {"list", "x.rar"} or {"extract", "x.rar", "--dir", "out", "--dirnames", "*.txt"}.
// Exit codes: 0 everything went well, 1 some entries failed (CRC, password,
// a file that could not be made), 2 the command could not run at all.
#pragma once

#include <string>
#include <vector>

int RunRarCommand(const std::vector<std::string>& args);
