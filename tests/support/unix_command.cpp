#include "support/unix_command.h"

#include "support/playback_file.h"
#include "support/poll.h"
#include "support/test_support.h"

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ScratchFile(const std::string& name) {
  static TempFolder folder;
  static int serial = 0;
  return folder.file(std::to_string(++serial) + name);
}

UnixResult RunUnix(const std::string& command, DWORD timeoutMs) {
  UnixResult result;
  const std::string base = ScratchFile("unix");
  const std::string unixBase = UnixPathOf(base);
  // Wine starts Unix programs but gives back no handle to wait on: the command leaves its
  // exit code in a file that appears under its final name only when complete. What 64-bit Wine
  // leaves in the process record then is not ours (its hThread has held the value of the
  // recorder's own process handle), so nothing in it is closed.
  const std::string script = "( " + command + " ) >" + ShellQuote(unixBase + ".out") +
                             " 2>&1; echo $? >" + ShellQuote(unixBase + ".part") + "; mv " +
                             ShellQuote(unixBase + ".part") + " " + ShellQuote(unixBase + ".code");
  std::string line = "/bin/sh -c \"" + script + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    result.output = "CreateProcess failed: " + std::to_string(GetLastError());
    return result;
  }
  if (!PollUntil(timeoutMs, [&] {
        return GetFileAttributesA((base + ".code").c_str()) != INVALID_FILE_ATTRIBUTES;
      })) {
    result.output = "timed out: " + command;
    return result;
  }
  const auto code = ReadWholeFile(base + ".code");
  const auto output = ReadWholeFile(base + ".out");
  result.finished = true;
  result.exitCode = std::atoi(std::string(code.begin(), code.end()).c_str());
  result.output.assign(output.begin(), output.end());
  DeleteFileA((base + ".code").c_str());
  DeleteFileA((base + ".out").c_str());
  return result;
}
