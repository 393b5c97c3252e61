#pragma once
// What the console base needs of the platform; one implementation per platform.

#include <cstdint>

#include "framework/uConsoleApp.h"
#include "rtl/String.h"

namespace ConsolePlatform {

// The standard channels as handles of their own; 0 when the channel is not there.
THandle OpenStdInput();
THandle OpenStdOutput();
void CloseStdHandle(THandle handle);

// The console's current attribute and screen-buffer width; false when Handle is no console.
bool QueryConsole(THandle handle, std::uint8_t& attr, std::int32_t& width);
// Whether Handle is a console (a terminal), not a file, pipe or device.
bool IsConsoleHandle(THandle handle);
// Applies the attribute to the console; does nothing where Handle is no console.
void SetConsoleAttribute(THandle handle, std::uint8_t attr);

// Writes the whole text through the channel's own encoding (the ANSI code page for files
// and pipes). Returns 0, or the platform's error code when the write failed.
int WriteChannel(THandle handle, const String& text);
// Writes bytes to the console as they are; failures and short writes are ignored.
void WriteConsoleBytes(THandle handle, const RawByteString& bytes);
// The process's standard output, whatever the application objects did with theirs.
THandle ProcessStdOut();

const String& LineSeparator();

// Unit state: optional entry points, the control handler (which calls ConsoleCtrlHandler).
void StartUp();
void ShutDown();

TConsoleState HasConsole();
bool ParentHasConsole();
// For a program that does not own its console: attaches to the parent's console, or
// allocates one; and detaches again.
void ObtainConsole(TConsoleState state);
void ReleaseConsole();

}  // namespace ConsolePlatform
