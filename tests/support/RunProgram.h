#pragma once
// Runs the built program as a user would, with its output redirected, for end-to-end tests.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "rtl/String.h"

enum class TProgramOutput {
  File,           // standard output and standard error go to files, read back afterwards
  Closed,         // the program starts without standard output
  BrokenPipe,     // standard output is a pipe that nobody reads any more
  DiskFull,       // standard output is a device that is always full
  OneLineReader,  // standard output is a pipe whose reader takes the first line, then closes it
  // standard output is a pipe that its writer may not block on (as when a parent made a shared
  // descriptor non-blocking), read only once it is full; output holds all that was read
  NonBlockingPipe
};

// Whether this platform can give a program the output Kind (the full device is the host's
// under Wine, and missing on Windows itself; pipes that do not block are POSIX only).
bool ProgramOutputSupported(TProgramOutput kind);

// How long a run may take before it counts as hung and is ended.
constexpr std::chrono::seconds ProgramTimeLimit{60};

struct TProgramRun {
  int exitCode = -1;
  bool timedOut = false;  // the program outlived ProgramTimeLimit and was ended
  std::string output;     // the bytes of standard output (File and NonBlockingPipe)
  std::string errors;     // the bytes of standard error
  std::string firstLine;  // what the OneLineReader read, its line end included
};

// The program beside the test binary, where the build puts it.
std::filesystem::path ProgramPath();

// Runs Program with Args and standard input from the null device, its environment extended
// by Environment ("NAME=value" entries); waits for its end, at most ProgramTimeLimit.
TProgramRun RunExecutable(const std::filesystem::path& program, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment = {});

// Runs the built program.
TProgramRun RunProgram(const std::vector<String>& args, TProgramOutput output = TProgramOutput::File);
