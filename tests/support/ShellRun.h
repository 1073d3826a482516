// Running a command line with /bin/sh from a test and keeping what it wrote.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

struct ShellRun {
  int code = -1;    // exit status; -1 when it did not start or did not exit
  std::string out;  // its standard output, read to the end
};

// Runs `command` (redirections included) and waits for it to end.
inline ShellRun RunShell(const std::string& command) {
  ShellRun r;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[65536];
  size_t n;
  while ((n = ::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
