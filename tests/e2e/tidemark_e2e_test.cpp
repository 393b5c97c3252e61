// The built program as a user runs it: its screens and its lines at every verbosity level, byte
// for byte, with their exit codes; output that cannot be written; and (POSIX) a tree made by git
// that it leaves as it was but for the packs' last-write times.
#include <cstdio>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "framework/uStrings.h"
#include "rtl/Utf8.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::string Nl = OnWindows ? "\r\n" : "\n", Sep = OnWindows ? "\\" : "/";
const std::string Banner = "Tidemark v0.02 (Unicode)                 https://example.org/tidemark" + Nl + std::string(79, '-') + Nl;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + Nl;
  return text;
}

std::string Syntax(const std::string& error = {}) {
  return (error.empty() ? "" : Lines({error, ""})) + "Syntax: " + ProgramPath().filename().string() + " " +
         Lines({"<arg> [<arg>] ...", "", " -h, -? ....... Show this help screen.", " -r[-] ........ [Don't] Scan directories recursively.",
                " -v <level> ... Set verbosity level to <level>. Possible values: silent, quiet, normal, detailed, debug", "",
                " <dir> ........ Directory where the scan starts.", "", ""});
}

// A text as the program prints it: each control character as '?' (POSIX: also the bytes 0x80 to
// 0x9F of a name that is no UTF-8), Windows in its ANSI code page.
std::string Shown(String text) {
  std::ranges::replace_if(text, [](Char c) { return c < u' ' || (c >= 0x7F && c <= 0x9F) || (c >= 0xDC80 && c <= 0xDC9F); }, u'?');
  return OnWindows ? WideToMultiByte(CodePageAnsi, text.data(), int(text.size())) : StringToUtf8Bytes(text);
}

fs::path IndexOf(const fs::path& pack) { return fs::path(pack).replace_extension(".idx"); }
bool AtIndexTime(const fs::path& pack) { return StoredTimes(pack)->LastWrite == StoredTimes(IndexOf(pack))->LastWrite; }

class Program : public TempDirTest {
protected:
  // A working tree Base/Kind whose repository holds a pack named after its last part, off its
  // index's time but for kind "unchanged".
  fs::path Repository(const std::string& base, const std::string& kind) {
    const fs::path git = ToPath(PathOf(base) + PathDelim + Utf8BytesToString(kind + "/.git"));
    const fs::path pack = git / "objects" / "pack" / ToPath(Utf8BytesToString("pack-" + kind.substr(kind.find('/') + 1) + ".pack"));
    fs::create_directories(pack.parent_path());
    for (const fs::path& file : {git / "index", git / "HEAD", IndexOf(pack), pack}) std::ofstream(file) << "ref: main\n";
    TFileTime time = StoredTimes(IndexOf(pack))->LastWrite;
    time.High -= kind != "unchanged";
    EXPECT_TRUE(SetFileLastWriteTime(ToString(pack), time));
    return pack;
  }

  // What a run at verbosity Rank (0 silent ... 4 debug) prints over the working trees Kinds
  // below Base (each started from its first part), after the banner.
  std::string Output(int rank, const std::string& base, const std::vector<std::string>& kinds) const {
    std::string text;
    const auto add = [&](int fromRank, const std::string& line) { text += rank >= fromRank ? line + Nl : ""; };
    for (const std::string& path : kinds) {
      const std::string kind = path.substr(path.find('/') + 1);
      const String workTree = NativePath(PathOf(base) + PathDelim + Utf8BytesToString(path) + PathDelim), git = workTree + u".git" + PathDelim;
      const std::string pack = Shown(u"pack-" + Utf8BytesToString(kind) + u".pack");
      if (kind != path) add(4, "Scanning " + Shown(PathOf(base) + PathDelim + Utf8BytesToString(path.substr(0, path.find('/')))) + Sep + "...");
      add(4, "Scanning " + Shown(workTree) + "...");
      if (kind != "locked") add(2, "Scanning GIT directory " + Shown(git) + "...");
      if (kind == "unsearchable") add(0, "Failed to reset time of " + pack + "!");
      if (kind == "unchanged") add(3, "Time of " + pack + " kept unchanged.");
      if (kind.starts_with("changed") || kind == "unlisted") add(1, "Changed time of " + (rank == 1 ? Shown(git) : "") + pack + "!");
    }
    return Banner + text + Nl;
  }

  TProgramRun Run(const std::vector<String>& args, TOutput output = TOutput::File, bool lockedOut = false) {
    TProgramRun run = RunProgram(args, output, lockedOut);
    EXPECT_EQ(run.Errors, "") << "standard error is never written";
    return run;
  }
};

}  // namespace

TEST_F(Program, ScreensDirectoriesAndExitCodesFollowTheCommandLine) {
  const fs::path pack = Repository("top", "inner");
  fs::create_directories(Root() / "top/inner/src");
  const String top = PathOf("top"), repo = top + PathDelim + u"inner";
  const std::string inner = Shown(repo) + Sep, git = inner + ".git" + Sep;
  const std::string screen = Syntax(), noArgument = Syntax("Parameter \"-v\" needs an argument.");
  const std::tuple<std::vector<String>, int, std::string> cases[] = {
      {{}, 0, screen}, {{u"-h"}, 0, screen}, {{u"-?"}, 0, screen}, {{repo, u"-r", u"-h", u"-bogus"}, 0, screen}, {{repo, u"-v"}, 2, noArgument},
      {{u"-V", u"debug", repo}, 2, Syntax("Unknown parameter \"-V\".")}, {{u"-R", repo}, 2, Syntax("Unknown parameter \"-R\".")},
      {{u"-v", u"loud", repo}, 2, Syntax("Unknown level value \"loud\" for parameter \"-v\".")},
      {{repo, u"--"}, 2, Syntax("Unknown parameter \"--\".")}, {{u"-r", u"-v", u"quiet", u"-r-"}, 1, Lines({"No directories to process."})},
      // Recursion named after a directory applies to it; a working tree is not searched below its
      // repository; a missing directory is no failure and says nothing below debug.
      {{u"-v", u"debug", top, u"-r", PathOf("missing")}, 0,
       Lines({"Scanning " + Shown(top) + Sep + "...", "Scanning " + inner + "...", "Scanning GIT directory " + git + "...",
              "Changed time of pack-inner.pack!", "Scanning " + Shown(PathOf("missing")) + Sep + "...", ""})},
      // The last -r- wins; the same directory twice is processed twice.
      {{repo, u"-r", u"-v", u"DeTaIlEd", repo, top, u"-r-"}, 0,
       Lines({"Scanning GIT directory " + git + "...", "Time of pack-inner.pack kept unchanged.", "Scanning GIT directory " + git + "...",
              "Time of pack-inner.pack kept unchanged.", ""})},
      {{u"-v", u"detailed", top, PathOf("missing")}, 0, Nl}};  // not recursive unless asked
  for (const auto& [args, exitCode, afterBanner] : cases) {
    EXPECT_TRUE(exitCode == 0 || !AtIndexTime(pack)) << "nothing is processed after a command-line error";
    const TProgramRun run = Run(args);
    EXPECT_TRUE(run.ExitCode == exitCode && run.Output == Banner + afterBanner) << run.ExitCode << "\n" << run.Output;
  }
}

// Names with blanks, signs, letters beyond ASCII and (POSIX) control characters or bytes that are no UTF-8 are printed
// on their lines. POSIX, without root's power over permissions: a pack directory that cannot be searched fails; a
// working tree that cannot be read hides its repository, not one that cannot be listed.
TEST_F(Program, EveryVerbosityLevelPrintsItsShareOfTheLines) {
  std::vector<std::string> kinds = {"changed a b -r", "changed 100% %s %d", "changed na\xC3\xAFve \xE6\x97\xA5 \xF0\x9D\x84\x9E", "unchanged"};
  if (!OnWindows)
    kinds.insert(kinds.end(), {"changed \x80 lead \xC3 \xED\xA0\x80", "changed line\nfeed\r\ttab\x1B[7m\x7F", "changed \xC2\x9F\xC2\xA0\x80\x9F\xA0",
                               "unsearchable", "locked", "nested/changed nested", "unlisted"});  // right after a directory that may not be read, one that is listed
  const char* levels[] = {"silent", "quiet", "normal", "detailed", "debug"};
  for (int rank = 0; rank < 5; ++rank) {
    const std::string level = levels[rank];
    SCOPED_TRACE(level);
    std::vector<String> args = {u"-r", u"-v", Utf8BytesToString(level)};
    std::vector<fs::path> packs;
    for (const std::string& kind : kinds) packs.push_back(Repository(level, kind)), args.push_back(PathOf(level) + PathDelim + Utf8BytesToString(kind.substr(0, kind.find('/'))));
    MakeReadOnly(packs[0]);
#ifndef _WIN32
    chmod(packs[packs.size() - 4].parent_path().c_str(), 0644);
    chmod((Root() / level / "locked").c_str(), 0);
    chmod((Root() / level / "unlisted").c_str(), 0311);
#endif
    const TProgramRun run = Run(args, TOutput::File, true);
    if (run.ExitCode == 125) GTEST_SKIP() << "this root cannot give up its power to pass permission checks";
    EXPECT_EQ(run.ExitCode, OnWindows ? 0 : 3);
    EXPECT_EQ(run.Output, Output(rank, level, kinds));
    EXPECT_TRUE(AtIndexTime(packs[0]) && AtIndexTime(packs[1]));
  }
}

TEST_F(Program, OutputThatCannotBeWrittenEndsTheRunWithItsExitCode) {
  const std::pair<TOutput, int> cases[] = {{TOutput::Closed, 0}, {TOutput::Full, 255}, {TOutput::BrokenPipe, 255}};  // 255: not even that can be reported
  for (const auto& [output, exitCode] : cases) {
    const std::string name = "output" + std::to_string(int(output));
    if (OnWindows && !RunningUnderWine() && output == TOutput::Full) continue;  // no full device but Wine's host's
    const fs::path pack = Repository("repos", name);
    const TProgramRun run = Run({u"-v", u"debug", PathOf("repos/" + name)}, output);
    EXPECT_EQ(run.ExitCode, exitCode) << name;
    EXPECT_EQ(AtIndexTime(pack), exitCode == 0) << name;
  }
}

#ifndef _WIN32

// Working trees with packs from gc and repack, a submodule, a local clone whose packs are hard links and a bare clone
// (no repository to the program: it has no index). Afterwards every entry is as it was, its bytes, inode, mode, owner,
// links, size and times (of access but for directories, which listing moves), but the packs' last-write and change
// times: they are at their index's time. Reading a file would have moved its access time, set before its last-write
// time as "relatime" wants it.
TEST_F(Program, ATreeMadeByGitKeepsAllButItsPacksTimes) {
  const auto shell = [&](const std::string& script) {
    FILE* pipe = popen(("cd '" + Root().string() + "' && export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null && g() { git -c user.name=T "
                        "-c user.email=t@example.org -c init.defaultBranch=main -c protocol.file.allow=always -c gc.auto=0 \"$@\" >/dev/null 2>&1; } && " +
                        script).c_str(), "r");
    std::string output(1 << 16, '\0');
    output.resize(std::fread(output.data(), 1, output.size(), pipe));
    return pclose(pipe) == 0 ? output : "failed: " + output;
  };
  if (shell("git --version").starts_with("failed")) GTEST_SKIP() << "git is not installed";
  ASSERT_EQ(shell("g init -q lib && g -C lib commit -q --allow-empty -m 1 && g -C lib gc -q && g init -q app && g -C app commit -q --allow-empty -m 1 && "
                  "g -C app gc -q && g -C app commit -q --allow-empty -m 2 && g -C app repack -q -d && g -C app submodule add -q \"$PWD/lib\" "
                  "vendor/lib && g -C app commit -q -m 3 && g clone -q app clone && g clone -q --bare --no-local app bare.git"), "");
  const std::string packs = "find . -name 'pack-*.pack' ! -path './bare.git/*'", contents = "find . -type f -exec sha256sum {} + | sort";
  const std::string snapshot = packs + " -printf '%p %i %m %U %G %n %s %A@\\n' -o -type f -printf '%p %i %m %U %G %n %s %A@ %T@ %C@\\n' "
                               "-o -printf '%p %i %m %U %G %n %s %T@ %C@\\n' | sort";
  const std::string bytes = shell(contents);  // before the access times are set: reading moves them
  ASSERT_EQ(shell("find . -type f -exec touch -a -d @1 {} + && find . -name 'pack-*.pack' -exec touch -m -d @100000 {} +"), "");
  const std::string before = shell(snapshot);
  ASSERT_EQ(Run({u"-r", PathOf()}).ExitCode, 0);
  EXPECT_EQ(shell(snapshot), before);
  EXPECT_EQ(shell("for p in $(" + packs + "); do [ $(stat -c %y $p | tr ' ' _) = $(stat -c %y ${p%.pack}.idx | tr ' ' _) ] || echo $p; done"), "");
  EXPECT_GE(std::stoi(shell(packs + " | wc -l")), 5);
  EXPECT_EQ(shell(contents), bytes);
  EXPECT_EQ(shell("for r in lib app app/vendor/lib clone bare.git; do g -C $r fsck --full --strict || echo $r; done"), "");
}

#endif
