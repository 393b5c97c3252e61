// The built program under faults of its surroundings: output that cannot be written, a pack
// whose time is refused, a pack that another process holds open.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/uConsoleApp.h"
#include "rtl/Path.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

const std::string Nl = StringToUtf8Bytes(LineSeparator());
const std::string Sep = StringToUtf8Bytes(String(1, PathDelim));
const std::string BannerTitleLine = "Tidemark v0.02 (Unicode)                 https://example.org/tidemark" + Nl;
const std::string Banner = BannerTitleLine + std::string(79, '-') + Nl;

class FaultTest : public TempDirTest {
protected:
  // A working tree whose .git directory holds the pack "pack-<Name>.pack", an hour younger
  // than its index, so that a run has to set it back.
  fs::path MakeRepository(const fs::path& workTree, const std::string& name) {
    const fs::path git = Root() / workTree / ".git";
    WriteFile(git / "index");
    WriteFile(git / "HEAD", "ref: refs/heads/main\n");
    const fs::path pack = git / "objects" / "pack" / ("pack-" + name + ".pack");
    const fs::path idx = fs::path(pack).replace_extension(".idx");
    WriteFile(idx, "idx");
    WriteFile(pack, "pack");
    fs::last_write_time(idx, fs::last_write_time(pack) - std::chrono::hours(1));
    return pack;
  }

  // The full path of a test directory as the program prints it, ending in the separator.
  std::string Dir(const fs::path& relative) const {
    return StringToUtf8Bytes(PathOf(fs::path(relative).make_preferred())) + Sep;
  }

  static bool AtIndexTime(const fs::path& pack) {
    return fs::last_write_time(pack) == fs::last_write_time(fs::path(pack).replace_extension(".idx"));
  }

  // Runs the program; a hang or a word on standard error fails the test.
  static TProgramRun Run(const std::vector<String>& args, TProgramOutput output = TProgramOutput::File) {
    TProgramRun run = RunProgram(args, output);
    EXPECT_FALSE(run.timedOut) << "still running after " << ProgramTimeLimit.count() << " s";
    EXPECT_EQ(run.errors, "") << "standard error is never written";
    return run;
  }
};

}  // namespace

TEST_F(FaultTest, OutputThatCannotBeWrittenEndsTheRunWithItsExitCode) {
  // Enough debug lines to overfill a pipe's buffer (64 KiB on Linux).
  for (int i = 0; i < 500; ++i) MakeDir(fs::path("many") / (std::string(100, 'd') + std::to_string(i)));
  struct TCase {
    const char* name;
    TProgramOutput output;
    int exitCode;
    bool processed;  // whether the pack is handled
  };
  const TCase cases[] = {
      // Nothing to write to: the processing runs silently and its result stands.
      {"closed", TProgramOutput::Closed, 0, true},
      // The banner fails, and so does the plain error line about it: nothing is processed.
      {"full", TProgramOutput::DiskFull, 255, false},
      {"broken pipe", TProgramOutput::BrokenPipe, 255, false},
      // A reader that leaves after the first line: the processing fails at its next line, and
      // neither the error line nor the last resort can be written.
      {"reader gone", TProgramOutput::OneLineReader, 255, false},
      // An output that its writer may not block on, and a reader that is behind: the writer
      // waits for room instead of failing.
      {"non-blocking", TProgramOutput::NonBlockingPipe, 0, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!ProgramOutputSupported(c.output)) continue;  // Windows: no full device, no pipe that does not block
    const fs::path repo = fs::path("repos") / c.name;
    const fs::path pack = MakeRepository(repo, "moved");
    // The repository comes after the directories, so a reader that leaves early stops the
    // run before it.
    const TProgramRun run = Run({u"-v", u"debug", u"-r", PathOf("many"), PathOf(repo)}, c.output);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(AtIndexTime(pack), c.processed);
    if (c.output == TProgramOutput::OneLineReader) {
      EXPECT_EQ(run.firstLine, BannerTitleLine);
    }
    if (c.output == TProgramOutput::NonBlockingPipe) {
      EXPECT_TRUE(run.output.starts_with(Banner));
      EXPECT_TRUE(run.output.ends_with("Changed time of pack-moved.pack!" + Nl + Nl))
          << run.output.substr(run.output.size() - 200);
    }
  }
}

TEST_F(FaultTest, PackWhoseTimeIsRefusedFailsAtEveryLevelAndTheOthersAreHandled) {
  const struct {
    const char* value;
    int rank;  // 0 silent ... 4 debug
  } levels[] = {{"silent", 0}, {"quiet", 1}, {"normal", 2}, {"detailed", 3}, {"debug", 4}};
  for (const auto& level : levels) {
    SCOPED_TRACE(level.value);
    const fs::path base = level.value;
    const fs::path before = MakeRepository(base / "before", "before");
    const fs::path locked = MakeRepository(base / "locked", "locked");
    const fs::path after = MakeRepository(base / "after", "after");
    const fs::file_time_type lockedTime = fs::last_write_time(locked);
    const TImmutableFile immutable(locked);
    if (!immutable.Holds()) {
      GTEST_SKIP() << "no file can be made immutable here: that takes root on Linux, and on Windows "
                      "Wine with the host's chattr";
    }

    std::string expected;
    const auto add = [&](int fromRank, const std::string& line) {
      if (level.rank >= fromRank) expected += line + Nl;
    };
    for (const char* name : {"before", "locked", "after"}) {
      const std::string workTree = Dir(base / name), git = workTree + ".git" + Sep;
      const std::string pack = "pack-" + std::string(name) + ".pack";
      add(4, "Scanning " + workTree + "...");
      add(2, "Scanning GIT directory " + git + "...");
      if (std::string(name) == "locked") {
        add(0, "Failed to reset time of " + pack + "!");
      } else {
        add(2, "Changed time of " + pack + "!");
        if (level.rank == 1) add(1, "Changed time of " + git + pack + "!");
      }
    }
    add(0, "");

    const TProgramRun run = Run({u"-v", Utf8BytesToString(level.value), PathOf(base / "before"),
                                 PathOf(base / "locked"), PathOf(base / "after")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, Banner + expected);
    EXPECT_TRUE(AtIndexTime(before));
    EXPECT_TRUE(AtIndexTime(after));
    EXPECT_EQ(fs::last_write_time(locked), lockedTime);
  }
}

TEST_F(FaultTest, PackHeldOpenByAnotherProcessIsStillChanged) {
  const fs::path pack = MakeRepository("repo", "held");
  // Read-only, as git leaves its packs.
  fs::permissions(pack, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const TExclusivelyOpenFile held(pack);
  ASSERT_TRUE(held.Holds()) << "cannot open " << pack;

  const TProgramRun run = Run({PathOf("repo")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner + "Scanning GIT directory " + Dir("repo") + ".git" + Sep + "..." + Nl +
                            "Changed time of pack-held.pack!" + Nl + Nl);
  EXPECT_TRUE(AtIndexTime(pack));
}
