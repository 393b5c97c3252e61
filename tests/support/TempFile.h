#pragma once
// Scratch files for capturing output, made with the platform's own calls (support/Capture_*).

#include <cstdint>
#include <string>

// A new temporary file, open for reading and writing, that vanishes when closed: a file
// descriptor on POSIX, an inheritable HANDLE on Windows. Aborts when none can be made.
std::intptr_t OpenTemporaryFile();
// Everything in the file, read from its start.
std::string ReadFromStart(std::intptr_t file);
void CloseTemporaryFile(std::intptr_t file);
