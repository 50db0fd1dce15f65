// Unix commands from a test under Wine: the independent readers and writers (sox) and the
// fault helpers run as Unix programs beside the program under test.
#pragma once

#include <windows.h>

#include <string>

struct UnixResult {
  bool finished = false;
  int exitCode = -1;
  std::string output;  // standard output and error
};
// Runs `/bin/sh -c <command>` (no double quotes inside) and waits for it.
UnixResult RunUnix(const std::string& command, DWORD timeoutMs = 30000);
// Single-quotes a path for the shell.
std::string ShellQuote(const std::string& text);
// A fresh file name (Windows path) in this process's scratch folder, away from the disks that
// tests fill; `name` ends it.
std::string ScratchFile(const std::string& name);
