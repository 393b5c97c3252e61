#pragma once
// Under Wine, the host's file names beside Wine's DOS ones, for tests of the Windows build that
// need a device or a program of the host. Included by Windows sources only.

#include <string>

// The DOS name under which Wine shows the host file UnixName; empty on Windows itself.
std::wstring WineDosFileName(const char* UnixName);
// The host's name of the file that Wine calls DosName; empty on Windows itself.
std::string WineUnixFileName(const std::wstring& DosName);
