#pragma once
// Small helpers for the Win32 tests: temporary folders, running programs with a bound, reading the
// stand-in worker's log.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "win32/support/Utf8.h"

namespace wine_test {

// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();

// A shipped program: from the folder named by NIMBELLO_SHIPPED_BIN (a Unix path is taken as
// Wine's Z: drive) when it holds the file, else from the test's own folder.
std::wstring ShippedProgram(const std::wstring& file);

// A new empty folder under the temporary folder, removed (with its files) by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }  // with a trailing backslash

 private:
  std::wstring path_;
};

// Runs a command line and waits at most `limit` for it; the exit code, or -1 on a time-out
// (the process is then ended) or when it could not start.
int Run(const std::wstring& commandLine,
        std::chrono::milliseconds limit = std::chrono::seconds(30));

// The lines of a UTF-8 text file; empty when it does not exist.
std::vector<std::string> ReadLines(const std::wstring& path);

// Waits until the file has at least `count` lines or `limit` passes; returns the lines it has.
std::vector<std::string> WaitForLines(const std::wstring& path, size_t count,
                                      std::chrono::milliseconds limit);

// Waits until Windows has run for `uptime` (under Wine: the host's uptime), at most as long as
// that takes; false when the tick count does not get there in that time. A freshly booted machine
// thus runs the tests that need the service's five-minute uptime rule instead of skipping them.
bool WaitForUptime(std::chrono::milliseconds uptime);

}  // namespace wine_test
