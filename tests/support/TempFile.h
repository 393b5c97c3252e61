#pragma once
#include <cstdint>
#include <string>

// A temporary file open for reading and writing that vanishes when closed (a descriptor on
// POSIX, an inheritable HANDLE on Windows); aborts when none can be made.
std::intptr_t OpenTemporaryFile();
std::string ReadFromStart(std::intptr_t file);
void CloseTemporaryFile(std::intptr_t file);
