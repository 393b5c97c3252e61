#pragma once
// What the program entry needs of the platform.

#include "rtl/String.h"

namespace EntryPlatform {

// Whether a debugger is attached to the process (and, on POSIX, a person at the terminal).
bool DebuggerAttached();

// Shows the message where a person will see it when the process has no console window.
void ShowErrorBox(const String& Message);

}  // namespace EntryPlatform
