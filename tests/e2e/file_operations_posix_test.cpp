// Proof that a run changes nothing but the last-write time of packs, over a tree that real git
// made: every file operation of the program is recorded by strace and checked, and snapshots
// of the whole tree before and after are compared, as a second check that trusts no trace.

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

using TTime = std::pair<long long, long long>;  // seconds, nanoseconds

TTime TimeOf(const timespec& time) { return {time.tv_sec, time.tv_nsec}; }

bool IsPack(const fs::path& path) { return fnmatch("pack-*.pack", path.filename().c_str(), 0) == 0; }

fs::path IndexOf(const fs::path& pack) { return fs::path(pack).replace_extension(".idx"); }

// Runs a program found on the PATH (by env, which also takes NAME=value settings first).
TProgramRun RunTool(const std::vector<std::string>& args) {
  std::vector<String> strings;
  for (const std::string& arg : args) strings.push_back(Utf8BytesToString(arg));
  return RunExecutable("/usr/bin/env", strings, TProgramOutput::File);
}

// What a path is, as far as anything can change it.
struct TEntryState {
  struct stat status {};
  std::string content;  // a file's bytes or a link's target
};
using TSnapshot = std::map<fs::path, TEntryState>;

// Every entry below Root. Contents and times are taken in two passes, so that reading a file (or
// its hard-linked twin) moves no access time after it was taken (ContentsFirst), or before.
TSnapshot Snapshot(const fs::path& root, bool contentsFirst) {
  TSnapshot snapshot;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) snapshot[entry.path()];
  const auto readContents = [&] {
    for (auto& [path, state] : snapshot) {
      if (fs::is_symlink(path)) {
        state.content = fs::read_symlink(path).string();
      } else if (fs::is_regular_file(path)) {
        std::ifstream file(path, std::ios::binary);
        state.content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      }
    }
  };
  if (contentsFirst) readContents();
  for (auto& [path, state] : snapshot) lstat(path.c_str(), &state.status);
  if (!contentsFirst) readContents();
  return snapshot;
}

// Whether reading a file moves its access time on this file system (not on noatime mounts):
// only then does an unchanged access time show that nothing was read.
bool ReadingMovesAccessTime(const fs::path& probe) {
  std::ofstream(probe) << "probe";
  const timespec old[2] = {{1, 0}, {0, UTIME_OMIT}};
  utimensat(AT_FDCWD, probe.c_str(), old, 0);
  std::string content;
  std::ifstream(probe) >> content;
  struct stat status {};
  lstat(probe.c_str(), &status);
  return status.st_atim.tv_sec != 1;
}

// Calls that change a file system whatever their arguments.
const std::set<std::string> ChangingCalls = {
    "creat",    "truncate",  "ftruncate", "rename",          "renameat",    "renameat2",    "unlink",       "unlinkat",
    "rmdir",    "link",      "linkat",    "symlink",         "symlinkat",   "mkdir",        "mkdirat",      "mknod",
    "mknodat",  "chmod",     "fchmod",    "fchmodat",        "fchmodat2",   "chown",        "fchown",       "lchown",
    "fchownat", "setxattr",  "lsetxattr", "fsetxattr",       "removexattr", "lremovexattr", "fremovexattr", "utime",
    "utimes",   "futimesat", "fallocate", "copy_file_range", "mount",       "umount2",      "chroot"};

// Calls that write through a descriptor, or set its file's flags (ioctl).
const std::set<std::string> WritingCalls = {"write",   "pwrite64", "writev", "pwritev",
                                            "pwritev2", "sendfile", "splice", "ioctl"};

// What a traced call (its name and argument text) did wrong, or nothing. A pack's time may be
// set, to its index's last-write time (IndexTimes), with the access time left alone. A file
// mapped for writing needs a descriptor opened for writing, so no mmap is looked at.
std::optional<std::string> Violation(const std::string& name, const std::string& args, const fs::path& tree,
                                     const std::map<fs::path, TTime>& indexTimes) {
  if (ChangingCalls.contains(name)) return "changes the file system";
  static const std::regex writingFlag(R"((^|[^A-Z_])O_(WRONLY|RDWR|CREAT|TRUNC|APPEND)\b)");
  if (name.starts_with("open") && std::regex_search(args, writingFlag)) return "opens for writing";
  // -y shows a descriptor's path: "3</a/b>".
  if (WritingCalls.contains(name) && args.find('<' + tree.string()) < args.find('>'))
    return "writes to a file of the tree";
  if (name != "utimensat") return std::nullopt;
  // A directory's descriptor and a name ("AT_FDCWD</cwd>, \"a/b\"") or a file's alone ("3</a/b>, NULL"),
  // then the times, the last-write time perhaps followed by a comment that spells it out.
  static const std::regex packTime(R"re(^[^<]*<([^>]*)>, (?:"([^"\\]*)"|NULL), )re"
                                   R"re(\[UTIME_OMIT, \{tv_sec=(-?\d+), tv_nsec=(\d+)\}(?: /\*[^*]*\*/)?\], .*)re");
  std::smatch match;
  if (!std::regex_match(args, match, packTime)) return "sets an access time, or a time not shown plainly";
  const fs::path target = (match[2].matched ? fs::path(match[1].str()) / match[2].str() : fs::path(match[1].str()));
  const auto index = indexTimes.find(IndexOf(target.lexically_normal()));
  if (!IsPack(target) || index == indexTimes.end()) return "sets the time of a file that is no pack with an index";
  if (index->second != TTime{std::stoll(match[3]), std::stoll(match[4])}) return "sets a time other than its index's";
  return std::nullopt;
}

class FileOperationsTest : public TempDirTest {
protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (RunTool({"git", "--version"}).exitCode != 0) GTEST_SKIP() << "git is not installed";
    if (RunTool({"strace", "-o", "/dev/null", "true"}).exitCode != 0)
      GTEST_SKIP() << "strace is not installed, or cannot trace here (ptrace not permitted)";
  }

  // Runs git in Directory, unaffected by the user's and the system's settings.
  void Git(const fs::path& directory, const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"GIT_CONFIG_NOSYSTEM=1", "GIT_CONFIG_GLOBAL=/dev/null", "git", "-C",
                                    directory.string(), "-c", "user.name=Tidemark Test", "-c",
                                    "user.email=test@example.org", "-c", "init.defaultBranch=main", "-c",
                                    "protocol.file.allow=always", "-c", "gc.auto=0"};
    all.insert(all.end(), args.begin(), args.end());
    const TProgramRun run = RunTool(all);
    ASSERT_EQ(run.exitCode, 0) << "git " << args.at(0) << ": " << run.output << run.errors;
  }

  void Commit(const fs::path& workTree, const std::string& file) const {
    WriteFile(workTree / file, file + "\n");
    Git(workTree, {"add", "-A"});
    Git(workTree, {"commit", "-q", "-m", "add " + file});
  }
};

}  // namespace

TEST_F(FileOperationsTest, RunChangesNothingButTheLastWriteTimeOfPacks) {
  // Working trees with packs from gc and repack and loose objects, a submodule, a local clone
  // whose packs are hard links, a bare clone (no repository to the program: it has no index),
  // and a plain directory with a link.
  const fs::path tree = Root() / "tree", lib = tree / "lib", app = tree / "app";
  fs::create_directories(lib);
  fs::create_directories(app);
  Git(lib, {"init", "-q"});
  Commit(lib, "lib.c");
  Git(lib, {"gc", "-q"});
  Git(app, {"init", "-q"});
  Commit(app, "main.c");
  Git(app, {"gc", "-q"});
  Commit(app, "README");
  Git(app, {"repack", "-q", "-d"});
  Commit(app, "NEWS");
  Git(app, {"submodule", "add", "-q", lib.string(), "vendor/lib"});
  Git(app, {"commit", "-q", "-m", "submodule"});
  Git(tree, {"clone", "-q", app.string(), "clone"});
  Git(tree, {"clone", "-q", "--bare", "--no-local", app.string(), "bare.git"});
  WriteFile(tree / "notes" / "todo.txt", "nothing\n");
  fs::create_symlink("todo.txt", tree / "notes" / "link");
  ASSERT_FALSE(HasFatalFailure());
  // One pack in line by hand, the others freshened as git does it.
  std::vector<fs::path> packs;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree))
    if (IsPack(entry.path())) packs.push_back(entry.path());
  std::sort(packs.begin(), packs.end());
  ASSERT_GE(packs.size(), 5u) << "gc, repack, the submodule and the clones each make a pack";
  for (const fs::path& pack : packs)
    fs::last_write_time(pack, fs::last_write_time(IndexOf(pack)) - std::chrono::hours(pack == packs.front() ? 0 : 2));

  const bool accessTimesTell = ReadingMovesAccessTime(Root() / "probe");
  // Access times before last-write times, where the usual "relatime" moves them on the next read.
  for (const auto& [path, state] : Snapshot(tree, true)) {
    const timespec times[2] = {{state.status.st_mtim.tv_sec - 3600, 0}, {0, UTIME_OMIT}};
    if (S_ISREG(state.status.st_mode)) utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  const TSnapshot before = Snapshot(tree, true);
  std::map<fs::path, TTime> indexTimes;
  for (const auto& [path, state] : before)
    if (path.extension() == ".idx") indexTimes[path] = TimeOf(state.status.st_mtim);

  // A sanitized build's leak check needs ptrace itself, which strace holds; the other tests
  // check for leaks. -ff gives each thread a file of its own, so that no call is cut in two.
  const char* sanitizerOptions = std::getenv("ASAN_OPTIONS");
  const TProgramRun run = RunTool(
      {"strace", "-ff", "-qq", "-y", "-e", "signal=none", "-e", "trace=%file,%desc", "-o", (Root() / "trace").string(),
       "-E", "ASAN_OPTIONS=" + std::string(sanitizerOptions != nullptr ? sanitizerOptions : "") + ":detect_leaks=0",
       ProgramPath().string(), "-r", "-v", "debug", tree.string()});
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;

  // The trace: no call that writes, and every time set is a pack's, to its index's time.
  std::vector<std::string> violations;
  int calls = 0, timesSet = 0, execs = 0;
  for (const fs::directory_entry& log : fs::directory_iterator(Root())) {
    if (!log.path().filename().string().starts_with("trace.")) continue;
    std::ifstream file(log.path());
    for (std::string line; std::getline(file, line);) {
      static const std::regex call(R"(^(\w+)\((.*)\) += .*)");
      std::smatch match;
      if (!std::regex_match(line, match, call)) continue;
      ++calls;
      if (match[1] == "execve" && ++execs > 1) violations.push_back("runs another program: " + line);
      if (match[1] == "utimensat") ++timesSet;
      if (const auto violation = Violation(match[1], match[2], tree, indexTimes))
        violations.push_back(*violation + ": " + line);
    }
  }
  ASSERT_GT(calls, 100) << "the trace is not what strace writes";
  EXPECT_EQ(violations, std::vector<std::string>{});
  EXPECT_GT(timesSet, 0) << "the tree has packs out of line";

  // The snapshots: nothing created, removed or altered; packs at their index's time, and only
  // the packs whose time moved show a new change time.
  const TSnapshot after = Snapshot(tree, false);
  const auto paths = [](const TSnapshot& snapshot) {
    std::vector<fs::path> result;
    for (const auto& entry : snapshot) result.push_back(entry.first);
    return result;
  };
  ASSERT_EQ(paths(after), paths(before)) << "entries created or removed";
  const auto unchangeable = [](const TEntryState& e) {
    return std::tuple(e.content, e.status.st_ino, e.status.st_mode, e.status.st_uid, e.status.st_gid,
                      e.status.st_nlink, e.status.st_size);
  };
  for (const auto& [path, entry] : before) {
    SCOPED_TRACE(path.string());
    const struct stat &was = entry.status, &is = after.at(path).status;
    EXPECT_EQ(unchangeable(after.at(path)), unchangeable(entry));
    // The program reads no file. Listing a directory may move its access time, and following
    // a link the link's.
    if (accessTimesTell && S_ISREG(is.st_mode)) {
      EXPECT_EQ(TimeOf(is.st_atim), TimeOf(was.st_atim)) << "read";
    }
    // Packs of repositories end at their index's time; the bare clone's stays as it was.
    const bool repositoryPack = IsPack(path) && path.string().find("/.git/") != std::string::npos;
    if (repositoryPack) {
      EXPECT_EQ(TimeOf(is.st_mtim), indexTimes.at(IndexOf(path))) << "pack not at its index's time";
    }
    if (TimeOf(is.st_mtim) == TimeOf(was.st_mtim)) {
      EXPECT_EQ(TimeOf(is.st_ctim), TimeOf(was.st_ctim)) << "changed beyond its last-write time";
    } else {
      EXPECT_TRUE(repositoryPack) << "last-write time changed";
    }
  }
}
