#include "support/RunProgram.h"

#include "rtl/Process.h"
#include "support/TestPlatform.h"

std::filesystem::path ProgramPath() {
  // The build passes the program's place relative to the test binary.
  return (ToPath(ExecutablePath()).parent_path() / TIDEMARK_PROGRAM_FROM_TESTS).lexically_normal();
}

TProgramRun RunProgram(const std::vector<String>& args, TProgramOutput output) {
  return RunExecutable(ProgramPath(), args, output);
}
