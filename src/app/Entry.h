#pragma once
// The program entry's work around the application: the last-resort report of a failure
// that escapes the run routine, and the pause under a debugger.

#include <cstdint>
#include <functional>

#include "framework/uConsoleApp.h"
#include "rtl/String.h"

// Receives the message of a failure that escaped Run.
using TLastResortProc = std::function<void(const String& Message)>;

// Run of AppClass; its result, or 255 after ReportFailure was given "Exception <class>:
// <message>" for a failure that escaped it.
std::uint32_t RunMain(const TConsoleAppClass& AppClass, const TLastResortProc& ReportFailure);

// The program's last resort: the message and a line end on standard output while the process
// has a console window, else a message box. A failure of the report itself is dropped.
void ReportLastResort(const String& Message);

// When a debugger is attached, shows "Press any key to quit." and waits for a line of input,
// so the console stays readable. POSIX counts a debugger only while standard input is a
// terminal, so traced, scripted and redirected runs never wait.
void PauseUnderDebugger();
