#include "app/Entry_platform.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace EntryPlatform {

bool DebuggerAttached() {
  // strace and similar tracers attach the same way as a debugger; without a terminal on
  // standard input nobody could answer the prompt anyway.
  if (isatty(STDIN_FILENO) != 1) return false;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("TracerPid:")) return line.find_first_not_of("0 \t", 10) != std::string::npos;
  }
  return false;
}

// Every POSIX process counts as owning its terminal, so the last resort always goes to
// standard output and never arrives here.
void ShowErrorBox(const String&) {}

}  // namespace EntryPlatform
