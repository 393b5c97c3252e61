// The built program, run as a user runs it and under faults of its surroundings (output that
// cannot be written, a pack whose time is refused or that another process holds open), its
// output compared byte for byte.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/uMain.h"
#include "framework/uConsoleApp.h"
#include "rtl/Path.h"
#include "rtl/Process.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/RunProgram.h"
#include "support/StdOutRedirection.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const String& text) { return StringToUtf8Bytes(text); }

const std::string Nl = Bytes(LineSeparator()), Sep = Bytes(String(1, PathDelim));
const std::string Title = "Tidemark v0.02 (Unicode)                 https://example.org/tidemark" + Nl;
const std::string Banner = Title + std::string(79, '-') + Nl;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + Nl;
  return text;
}

std::string SyntaxScreen(const std::string& errorMessage = {}) {
  const std::string head = errorMessage.empty() ? "" : Lines({errorMessage, ""});
  return head + "Syntax: " + ProgramPath().filename().string() + " " +
         Lines({"<arg> [<arg>] ...", "", " -h, -? ....... Show this help screen.",
                " -r[-] ........ [Don't] Scan directories recursively.",
                " -v <level> ... Set verbosity level to <level>. Possible values: silent, quiet, normal, detailed, "
                "debug",
                "", " <dir> ........ Directory where the scan starts.", "", ""});
}

const struct {
  const char* value;
  int rank;  // 0 silent ... 4 debug
} Levels[] = {{"silent", 0}, {"quiet", 1}, {"normal", 2}, {"detailed", 3}, {"debug", 4}, {"DeBuG", 4}};

fs::path IndexOf(const fs::path& pack) { return fs::path(pack).replace_extension(".idx"); }

bool AtIndexTime(const fs::path& pack) { return fs::last_write_time(pack) == fs::last_write_time(IndexOf(pack)); }

// For a failing pack: an ordinary pack whose time change this
// file system refuses. The application then runs in a copy of this test binary, whose command
// line is the application's (read from the process as the program reads it).
class TRefusingFileSystem : public TRealEngineFileSystem {
public:
  bool SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                            const TFileTime& LastWriteTime) override {
    return ExtractFileName(FileName) != u"pack-failing.pack" &&
           TRealEngineFileSystem::SetFileLastWriteTime(Directory, FileName, LastWriteTime);
  }
};

class ProgramTest : public TempDirTest {
protected:
  // A working tree whose .git directory holds pack-<Kind>.pack, an hour younger than its index
  // so that a run sets it back; or already at its index's time ("unchanged"); or one whose time
  // cannot be set ("failing": a pack the refusing file system refuses).
  fs::path MakeRepository(const fs::path& workTree, const std::string& kind) {
    const fs::path git = Root() / workTree / ".git", pack = git / "objects" / "pack" / ("pack-" + kind + ".pack");
    WriteFile(git / "index");
    WriteFile(git / "HEAD", "ref: refs/heads/main\n");
    WriteFile(IndexOf(pack), "idx");
    fs::last_write_time(IndexOf(pack), fs::last_write_time(IndexOf(pack)) - std::chrono::hours(1));
    fFileSystemRefuses = fFileSystemRefuses || kind == "failing";
    WriteFile(pack, "pack");
    if (kind == "unchanged") fs::last_write_time(pack, fs::last_write_time(IndexOf(pack)));
    return pack;
  }

  // The full path of a test directory as the program prints it, ending in the separator.
  std::string Dir(const fs::path& relative) const { return Bytes(PathOf(fs::path(relative).make_preferred())) + Sep; }

  // What a run at verbosity Rank prints after the banner over the repositories Kinds below Base;
  // the "failing" and "locked" packs are refused.
  std::string Events(int rank, const fs::path& base, const std::vector<std::string>& kinds) const {
    std::string text;
    const auto add = [&](int fromRank, const std::string& line) {
      if (rank >= fromRank) text += line + Nl;
    };
    for (const std::string& kind : kinds) {
      const std::string workTree = Dir(base / kind), git = workTree + ".git" + Sep, pack = "pack-" + kind + ".pack";
      add(4, "Scanning " + workTree + "...");
      add(2, "Scanning GIT directory " + git + "...");
      if (kind == "failing" || kind == "locked") {
        add(0, "Failed to reset time of " + pack + "!");
      } else if (kind == "unchanged") {
        add(3, "Time of " + pack + " kept unchanged.");
      } else {
        add(2, "Changed time of " + pack + "!");
        if (rank == 1) add(1, "Changed time of " + git + pack + "!");
      }
    }
    add(0, "");
    return text;
  }

  // Runs the built program, or, when a failing pack needs the refusing file system, the
  // application in a copy of this binary. A hang or a word on standard error fails.
  TProgramRun Run(const std::vector<String>& args, TProgramOutput output = TProgramOutput::File) {
    const std::vector<std::string> child = {"GTEST_FILTER=ApplicationChild.DISABLED_RunsOnARefusingFileSystem",
                                            "GTEST_ALSO_RUN_DISABLED_TESTS=1"};
    TProgramRun run =
        fFileSystemRefuses ? RunExecutable(ToPath(ExecutablePath()), args, output, child) : RunProgram(args, output);
    EXPECT_FALSE(run.timedOut) << "still running after " << ProgramTimeLimit.count() << " s";
    if (fFileSystemRefuses) run.output = std::exchange(run.errors, {});
    EXPECT_EQ(run.errors, "") << "standard error is never written";
    return run;
  }

private:
  bool fFileSystemRefuses = false;
};

// Runs only inside ProgramTest::Run, with the application's command line; hands the
// application's output on through standard error, its exit code as its own.
TEST(ApplicationChild, DISABLED_RunsOnARefusingFileSystem) {
  TRefusingFileSystem fileSystem;
  SetIsConsole(true);
  std::uint32_t exitCode = 0;
  std::string output;
  {
    TStdOutRedirection redirection(TStdOutTarget::File);
    exitCode = ::Run([&] { return TConsoleApp::Create<TTidemarkApp>(&fileSystem); });
    output = redirection.Text();
  }
#ifdef _WIN32
  _setmode(_fileno(stderr), _O_BINARY);  // the bytes as the application wrote them
#endif
  std::fwrite(output.data(), 1, output.size(), stderr);
  std::fflush(stderr);
  std::exit(static_cast<int>(exitCode));
}

}  // namespace

TEST_F(ProgramTest, CommandLineScreensAndTheirExitCodes) {
  const fs::path pack = MakeRepository("repo", "changed");
  const String repo = PathOf("repo");
  const struct {
    std::vector<String> args;
    int exitCode;
    std::string afterBanner;
  } cases[] = {
      {{}, 0, SyntaxScreen()},
      {{u"-h"}, 0, SyntaxScreen()},
      {{u"-?"}, 0, SyntaxScreen()},
      {{repo, u"-r", u"-h", u"-bogus"}, 0, SyntaxScreen()},
      {{repo, u"-v"}, 2, SyntaxScreen("Parameter \"-v\" needs an argument.")},
      {{u"-V", u"debug", repo}, 2, SyntaxScreen("Unknown parameter \"-V\".")},
      {{u"-R", repo}, 2, SyntaxScreen("Unknown parameter \"-R\".")},
      {{u"-v", u"-r", repo}, 2, SyntaxScreen("Unknown level value \"-r\" for parameter \"-v\".")},
      {{u"-v", u"loud", repo}, 2, SyntaxScreen("Unknown level value \"loud\" for parameter \"-v\".")},
      {{repo, u"--"}, 2, SyntaxScreen("Unknown parameter \"--\".")},
      {{u"-r", u"-v", u"quiet", u"-r-"}, 1, Lines({"No directories to process."})},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const String& arg : c.args) trace += Bytes(arg) + " ";
    SCOPED_TRACE(trace);
    const TProgramRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.output, Banner + c.afterBanner);
  }
  EXPECT_FALSE(AtIndexTime(pack)) << "nothing is processed after a command-line error";
}

TEST_F(ProgramTest, EveryVerbosityLevelPrintsItsShareOfTheEvents) {
  for (const auto& [value, rank] : Levels) {
    SCOPED_TRACE(value);
    // Fresh repositories for each run: the first run sets back the pack that needs it.
    const fs::path base = std::string("level-") + value;
    const fs::path changed = MakeRepository(base / "changed", "changed");
    MakeRepository(base / "unchanged", "unchanged");
    MakeRepository(base / "failing", "failing");
    const TProgramRun run = Run({u"-v", Utf8BytesToString(value), PathOf(base / "changed"),
                                 PathOf(base / "unchanged"), PathOf(base / "failing")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, Banner + Events(rank, base, {"changed", "unchanged", "failing"}));
    EXPECT_TRUE(AtIndexTime(changed));
  }
}

// A pack the file system really refuses: the built program reports it and goes on.
TEST_F(ProgramTest, PackWhoseTimeIsRefusedFailsAtEveryLevelAndTheOthersAreHandled) {
  for (const auto& [value, rank] : Levels) {
    SCOPED_TRACE(value);
    const fs::path base = value;
    const fs::path before = MakeRepository(base / "before", "before"), after = MakeRepository(base / "after", "after");
    const fs::path locked = MakeRepository(base / "locked", "locked");
    const fs::file_time_type lockedTime = fs::last_write_time(locked);
    const TImmutableFile immutable(locked);
    if (!immutable.Holds()) {
      GTEST_SKIP() << "no file can be made immutable here: that takes root on Linux, and on Windows "
                      "Wine with the host's chattr";
    }
    const TProgramRun run = Run({u"-v", Utf8BytesToString(value), PathOf(base / "before"), PathOf(base / "locked"),
                                 PathOf(base / "after")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, Banner + Events(rank, base, {"before", "locked", "after"}));
    EXPECT_TRUE(AtIndexTime(before));
    EXPECT_TRUE(AtIndexTime(after));
    EXPECT_EQ(fs::last_write_time(locked), lockedTime);
  }
}

TEST_F(ProgramTest, DirectoriesAreProcessedInOrderWithTheLastOptions) {
  MakeRepository(fs::path("top") / "inner", "changed");
  MakeDir(fs::path("top") / "inner" / "src");
  const std::string top = Dir("top"), inner = Dir("top/inner"), git = inner + ".git" + Sep, missing = Dir("missing");
  const String innerArg = PathOf(fs::path("top") / "inner");
  const struct {
    std::vector<String> args;
    std::string afterBanner;
  } cases[] = {
      // Recursion named after the directory still applies to it; the working tree below a
      // repository is not walked.
      {{u"-v", u"debug", PathOf("top"), u"-r", PathOf("missing")},
       Lines({"Scanning " + top + "...", "Scanning " + inner + "...", "Scanning GIT directory " + git + "...",
              "Changed time of pack-changed.pack!", "Scanning " + missing + "...", ""})},
      // The last -r- wins; the same directory twice is processed twice.
      {{innerArg, u"-r", u"-v", u"detailed", innerArg, PathOf("top"), u"-r-"},
       Lines({"Scanning GIT directory " + git + "...", "Time of pack-changed.pack kept unchanged.",
              "Scanning GIT directory " + git + "...", "Time of pack-changed.pack kept unchanged.", ""})},
      // A missing directory is no failure and, below debug, says nothing.
      {{PathOf("missing")}, Lines({""})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Bytes(c.args.back()));
    const TProgramRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, Banner + c.afterBanner);
  }
}

TEST_F(ProgramTest, OutputThatCannotBeWrittenEndsTheRunWithItsExitCode) {
  // Enough debug lines to overfill a pipe's buffer (64 KiB on Linux).
  for (int i = 0; i < 500; ++i) MakeDir(fs::path("many") / (std::string(100, 'd') + std::to_string(i)));
  const struct {
    const char* name;
    TProgramOutput output;
    int exitCode;
    bool processed;  // whether the pack is set back
  } cases[] = {
      // Nothing to write to: the processing runs silently and its result stands.
      {"closed", TProgramOutput::Closed, 0, true},
      // The banner fails, and so does the plain error line about it: nothing is processed.
      {"full", TProgramOutput::DiskFull, 255, false},
      {"broken pipe", TProgramOutput::BrokenPipe, 255, false},
      // A reader that leaves after the first line: the processing fails at its next line, and
      // neither the error line nor the last resort can be written.
      {"reader gone", TProgramOutput::OneLineReader, 255, false},
      // An output its writer may not block on, and a reader that is behind: the writer waits
      // for room instead of failing.
      {"non-blocking", TProgramOutput::NonBlockingPipe, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!ProgramOutputSupported(c.output)) continue;  // Windows: no full device, no pipe that does not block
    const fs::path repo = fs::path("repos") / c.name, pack = MakeRepository(repo, "moved");
    // The repository comes after the directories, so a reader that leaves early stops the run before it.
    const TProgramRun run = Run({u"-v", u"debug", u"-r", PathOf("many"), PathOf(repo)}, c.output);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(AtIndexTime(pack), c.processed);
    if (c.output == TProgramOutput::OneLineReader) {
      EXPECT_EQ(run.firstLine, Title);
    }
    if (c.output == TProgramOutput::NonBlockingPipe) {
      EXPECT_TRUE(run.output.starts_with(Banner));
      EXPECT_TRUE(run.output.ends_with("Changed time of pack-moved.pack!" + Nl + Nl))
          << run.output.substr(run.output.size() - 200);
    }
  }
}

TEST_F(ProgramTest, PackHeldOpenByAnotherProcessIsStillChanged) {
  const fs::path pack = MakeRepository("held", "held");
  // Read-only, as git leaves its packs.
  fs::permissions(pack, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const TExclusivelyOpenFile held(pack);
  ASSERT_TRUE(held.Holds()) << "cannot open " << pack;
  const TProgramRun run = Run({PathOf("held")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner + Events(2, "", {"held"}));
  EXPECT_TRUE(AtIndexTime(pack));
}
