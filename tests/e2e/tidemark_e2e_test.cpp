// The built program, run as a user runs it, its output compared byte for byte.

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
#include "support/RunProgram.h"
#include "support/StdOutRedirection.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const String& text) { return StringToUtf8Bytes(text); }

const std::string Nl = Bytes(LineSeparator());
const std::string Sep = Bytes(String(1, PathDelim));

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + Nl;
  return text;
}

const std::string Banner = Lines({"Tidemark v0.02 (Unicode)                 https://example.org/tidemark",
                                  std::string(79, '-')});

std::string SyntaxScreen(const std::string& errorMessage = {}) {
  const std::string head = errorMessage.empty() ? "" : Lines({errorMessage, ""});
  return head + "Syntax: " + ProgramPath().filename().string() + " " +
         Lines({"<arg> [<arg>] ...", "", " -h, -? ....... Show this help screen.",
                " -r[-] ........ [Don't] Scan directories recursively.",
                " -v <level> ... Set verbosity level to <level>. Possible values: silent, quiet, normal, detailed, "
                "debug",
                "", " <dir> ........ Directory where the scan starts.", "", ""});
}

// The failing pack where no link can be made (Wine): an ordinary pack whose time change
// this file system refuses. The application then runs in a copy of this test binary, whose
// command line is the application's (read from the process as the program reads it).
class TRefusingFileSystem : public TRealEngineFileSystem {
public:
  bool SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                            const TFileTime& LastWriteTime) override {
    return ExtractFileName(FileName) != u"pack-failing.pack" &&
           TRealEngineFileSystem::SetFileLastWriteTime(Directory, FileName, LastWriteTime);
  }
};

// Builds repositories in a test directory: working trees whose .git directory holds one pack.
class ProgramTest : public TempDirTest {
protected:
  // A pack whose time must change (Kind "changed"), may stay ("unchanged"), or cannot be set
  // ("failing").
  void MakeRepository(const fs::path& workTree, const std::string& kind) {
    const fs::path git = Root() / workTree / ".git";
    WriteFile(git / "index");
    WriteFile(git / "HEAD", "ref: refs/heads/main\n");
    const fs::path pack = git / "objects" / "pack" / ("pack-" + kind + ".pack");
    const fs::path idx = fs::path(pack).replace_extension(".idx");
    WriteFile(idx, "idx");
    const fs::file_time_type idxTime = fs::last_write_time(idx) - std::chrono::hours(1);
    fs::last_write_time(idx, idxTime);
    std::error_code error;
    // A link to nowhere: its times read, but cannot be set.
    if (kind == "failing" && (fs::create_symlink("nowhere", pack, error), fs::is_symlink(pack, error))) return;
    fFileSystemRefuses = fFileSystemRefuses || kind == "failing";
    WriteFile(pack, "pack");
    if (kind == "unchanged") fs::last_write_time(pack, idxTime);
  }

  // The full path of a test directory as the program prints it, ending in the separator.
  std::string Dir(const fs::path& relative) const { return Bytes(PathOf(fs::path(relative).make_preferred())) + Sep; }

  bool PackAtIndexTime(const fs::path& workTree, const std::string& kind) const {
    const fs::path pack = Root() / workTree / ".git" / "objects" / "pack" / ("pack-" + kind + ".pack");
    return fs::last_write_time(pack) == fs::last_write_time(fs::path(pack).replace_extension(".idx"));
  }

  // Runs the built program, or, when a failing pack needs the refusing file system, the
  // application in a copy of this binary.
  // A run that hangs fails.
  TProgramRun Run(const std::vector<String>& args) {
    if (!fFileSystemRefuses) {
      TProgramRun run = RunProgram(args);
      EXPECT_FALSE(run.timedOut);
      EXPECT_EQ(run.errors, "") << "standard error is never written";
      return run;
    }
    TProgramRun run = RunExecutable(ToPath(ExecutablePath()), args, TProgramOutput::File,
                                    {"GTEST_FILTER=ApplicationChild.DISABLED_RunsOnARefusingFileSystem",
                                     "GTEST_ALSO_RUN_DISABLED_TESTS=1"});
    EXPECT_FALSE(run.timedOut);
    run.output = std::exchange(run.errors, {});
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
  MakeRepository("repo", "changed");
  const String repo = PathOf("repo");
  struct TCase {
    std::vector<String> args;
    int exitCode;
    std::string afterBanner;
  };
  const TCase cases[] = {
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
  for (const TCase& c : cases) {
    std::string trace;
    for (const String& arg : c.args) trace += Bytes(arg) + " ";
    SCOPED_TRACE(trace);
    const TProgramRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.output, Banner + c.afterBanner);
  }
  EXPECT_FALSE(PackAtIndexTime("repo", "changed")) << "nothing is processed after a command-line error";
}

TEST_F(ProgramTest, EveryVerbosityLevelPrintsItsShareOfTheEvents) {
  const struct {
    const char* value;
    int rank;  // 0 silent ... 4 debug
  } levels[] = {{"silent", 0}, {"quiet", 1}, {"normal", 2}, {"detailed", 3}, {"debug", 4}, {"DeBuG", 4}};
  for (const auto& level : levels) {
    SCOPED_TRACE(level.value);
    // Fresh repositories for each run: the first run aligns the pack that needs it.
    const fs::path base = std::string("level-") + level.value;
    for (const char* kind : {"changed", "unchanged", "failing"}) MakeRepository(base / kind, kind);
    const std::string changed = Dir(base / "changed"), unchanged = Dir(base / "unchanged");
    const std::string failing = Dir(base / "failing");
    const std::string changedGit = changed + ".git" + Sep;

    std::string expected;
    const auto add = [&](int fromRank, const std::string& line) {
      if (level.rank >= fromRank) expected += line + Nl;
    };
    add(4, "Scanning " + changed + "...");
    add(2, "Scanning GIT directory " + changedGit + "...");
    add(2, "Changed time of pack-changed.pack!");
    if (level.rank == 1) add(1, "Changed time of " + changedGit + "pack-changed.pack!");
    add(4, "Scanning " + unchanged + "...");
    add(2, "Scanning GIT directory " + unchanged + ".git" + Sep + "...");
    add(3, "Time of pack-unchanged.pack kept unchanged.");
    add(4, "Scanning " + failing + "...");
    add(2, "Scanning GIT directory " + failing + ".git" + Sep + "...");
    add(0, "Failed to reset time of pack-failing.pack!");
    add(0, "");

    const TProgramRun run = Run({u"-v", Utf8BytesToString(level.value), PathOf(base / "changed"),
                                 PathOf(base / "unchanged"), PathOf(base / "failing")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, Banner + expected);
    EXPECT_TRUE(PackAtIndexTime(base / "changed", "changed"));
  }
}

TEST_F(ProgramTest, DirectoriesAreProcessedInOrderWithTheLastOptions) {
  MakeRepository(fs::path("top") / "inner", "changed");
  MakeDir(fs::path("top") / "inner" / "src");
  const std::string top = Dir("top"), inner = Dir("top/inner"), git = inner + ".git" + Sep;
  const std::string missing = Dir("missing");
  struct TCase {
    std::vector<String> args;
    std::string afterBanner;
  };
  const TCase cases[] = {
      // Recursion named after the directory still applies to it; the working tree below a
      // repository is not walked.
      {{u"-v", u"debug", PathOf("top"), u"-r", PathOf("missing")},
       Lines({"Scanning " + top + "...", "Scanning " + inner + "...", "Scanning GIT directory " + git + "...",
              "Changed time of pack-changed.pack!", "Scanning " + missing + "...", ""})},
      // The last -r- wins; the same directory twice is processed twice.
      {{PathOf(fs::path("top") / "inner"), u"-r", u"-v", u"detailed", PathOf(fs::path("top") / "inner"),
        PathOf("top"), u"-r-"},
       Lines({"Scanning GIT directory " + git + "...", "Time of pack-changed.pack kept unchanged.",
              "Scanning GIT directory " + git + "...", "Time of pack-changed.pack kept unchanged.", ""})},
      // A missing directory is no failure and, below debug, says nothing.
      {{PathOf("missing")}, Lines({""})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Bytes(c.args.back()));
    const TProgramRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, Banner + c.afterBanner);
  }
}
