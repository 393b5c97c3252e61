#pragma once
// Runs the built program as a user would, with its output redirected, for end-to-end tests.

#include <filesystem>
#include <string>
#include <vector>

#include "rtl/String.h"

enum class TProgramOutput {
  File,       // standard output and standard error go to files, read back afterwards
  Closed,     // the program starts without standard output
  BrokenPipe  // standard output is a pipe that nobody reads any more
};

struct TProgramRun {
  int exitCode = -1;
  std::string output;  // the bytes of standard output
  std::string errors;  // the bytes of standard error
};

// The program beside the test binary, where the build puts it.
std::filesystem::path ProgramPath();

// Runs Program with Args and standard input from the null device, its environment extended
// by Environment ("NAME=value" entries); waits for its end.
TProgramRun RunExecutable(const std::filesystem::path& program, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment = {});

// Runs the built program.
TProgramRun RunProgram(const std::vector<String>& args, TProgramOutput output = TProgramOutput::File);
