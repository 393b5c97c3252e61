#include "app/Entry.h"

#include <iostream>
#include <string>

#include "app/Entry_platform.h"

std::uint32_t RunMain(const TConsoleAppClass& AppClass, const TLastResortProc& ReportFailure) {
  try {
    return Run(AppClass);
  } catch (...) {
    const TErrorDescription error = DescribeCurrentException();
    ReportFailure(Format(u"Exception %s: %s", {error.ClassName, error.Message}));
    return 255;
  }
}

void ReportLastResort(const String& Message) {
  // Asked now, not at start-up: the console may have gone meanwhile.
  if (TConsoleApp::HasConsole() != TConsoleState::csOwnConsole) {
    EntryPlatform::ShowErrorBox(Message);
    return;
  }
  try {
    WriteStdOut(Message + LineSeparator());
  } catch (...) {
    // The output that failed before fails again; nothing is left to report to.
  }
}

void PauseUnderDebugger() {
  if (!EntryPlatform::DebuggerAttached()) return;
  try {
    WriteStdOut(LineSeparator() + u"Press any key to quit.");
  } catch (...) {
    // Waiting still keeps the console open.
  }
  std::string line;
  std::getline(std::cin, line);
}
