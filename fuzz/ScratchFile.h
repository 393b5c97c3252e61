#pragma once
// A file of the fuzz target's own, in a temporary directory made for this process and
// removed when the process ends.

#include <cstddef>

#include "rtl/String.h"

// The scratch file's name as the units take it; the file itself may or may not exist.
const String& ScratchFileName();

// Makes the scratch file hold exactly Size bytes from Data.
void WriteScratchFile(const unsigned char* Data, std::size_t Size);

// Removes the scratch file when it exists, and makes the directory again when something
// outside this process has removed it.
void ClearScratchFile();
