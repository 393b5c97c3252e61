#pragma once
// Runs the built program as a user would, with its output redirected, for end-to-end tests.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "rtl/String.h"

// Where the program's standard output goes.
enum class TProgramOutput {
  File,           // a file, read back afterwards (standard error always goes to one)
  Closed,         // nowhere: the program starts without it
  BrokenPipe,     // a pipe that nobody reads any more
  DiskFull,       // a device that is always full
  OneLineReader,  // a pipe whose reader takes the first line, then closes it
  // a pipe that its writer may not block on (as when a parent made a shared descriptor
  // non-blocking), read only once it is full; output holds all that was read
  NonBlockingPipe
};

// Whether this platform offers Kind (Windows: the full device only under Wine, from its host;
// no pipe that does not block).
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

// Runs Program with Args, standard input from the null device and Environment ("NAME=value")
// added to ours; waits for its end, at most ProgramTimeLimit.
TProgramRun RunExecutable(const std::filesystem::path& program, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment = {});

// Runs the built program.
TProgramRun RunProgram(const std::vector<String>& args, TProgramOutput output = TProgramOutput::File);
