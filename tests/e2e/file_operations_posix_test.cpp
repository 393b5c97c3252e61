// Proof that a run changes nothing but the last-write time of packs, over a tree that real git
// made: every file operation of the program is recorded by strace and checked, and snapshots
// of the whole tree before and after are compared, as a second check that trusts no trace.

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream entries(path != nullptr ? path : "");
  std::string entry;
  while (std::getline(entries, entry, ':')) {
    const fs::path candidate = fs::path(entry) / name;
    if (!entry.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::vector<String> Args(const std::vector<std::string>& args) {
  std::vector<String> result;
  for (const std::string& arg : args) result.push_back(Utf8BytesToString(arg));
  return result;
}

bool IsPack(const fs::path& path) { return fnmatch("pack-*.pack", path.filename().c_str(), 0) == 0; }

fs::path IndexOf(const fs::path& pack) { return fs::path(pack).replace_extension(".idx"); }

// --- Snapshots ---

struct TTime {
  long long sec = 0;
  long long nsec = 0;
  bool operator==(const TTime&) const = default;
};

TTime TimeOf(const timespec& time) { return {time.tv_sec, time.tv_nsec}; }

std::ostream& operator<<(std::ostream& out, const TTime& time) { return out << time.sec << "." << time.nsec; }

// What a path is, as far as anything can change it.
struct TEntryState {
  struct stat status {};
  std::string content;  // a file's bytes or a link's target
};

// The order in which a snapshot reads contents and takes times.
enum class TSnapshotOrder { ContentsFirst, TimesFirst };

// Every entry below Root, by path. Contents and times are taken in two separate passes, so
// that reading a file (or its hard-linked twin) moves no access time after it was recorded
// (ContentsFirst), or before (TimesFirst).
std::map<fs::path, TEntryState> Snapshot(const fs::path& root, TSnapshotOrder order) {
  std::map<fs::path, TEntryState> snapshot;
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
  if (order == TSnapshotOrder::ContentsFirst) readContents();
  for (auto& [path, state] : snapshot) lstat(path.c_str(), &state.status);
  if (order == TSnapshotOrder::TimesFirst) readContents();
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
  fs::remove(probe);
  return status.st_atim.tv_sec != 1;
}

// Moves every file's access time before its last-write time, where the usual "relatime"
// mount option updates it on the next read.
void AgeAccessTimes(const std::map<fs::path, TEntryState>& snapshot) {
  for (const auto& [path, state] : snapshot) {
    if (!S_ISREG(state.status.st_mode)) continue;
    const timespec times[2] = {{state.status.st_mtim.tv_sec - 3600, 0}, {0, UTIME_OMIT}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
}

// --- The trace ---

// One system call of the trace: its name, its top-level arguments and its result.
struct TSystemCall {
  std::string line;
  std::string name;
  std::vector<std::string> args;
};

// Splits strace's argument text at the commas between arguments, not at those inside quoted
// strings, brackets, braces or the "<path>" that -y appends to descriptors.
std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  std::string current;
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool afterWord = i > 0 && std::isalnum(static_cast<unsigned char>(text[i - 1]));
    if (quoted) {
      current += c;
      if (c == '\\' && i + 1 < text.size()) {
        current += text[++i];
      } else if (c == '"') {
        quoted = false;
      }
    } else if (c == ',' && depth == 0) {
      args.push_back(current);
      current.clear();
      if (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    } else {
      current += c;
      if (c == '"') quoted = true;
      if (c == '(' || c == '[' || c == '{' || (c == '<' && afterWord)) ++depth;
      if (c == ')' || c == ']' || c == '}' || (c == '>' && depth > 0)) --depth;
    }
  }
  if (!current.empty()) args.push_back(current);
  return args;
}

// Reads the trace of "strace -f -y -o", joining calls that other threads interrupted
// ("<unfinished ...>" and "<... name resumed>").
std::vector<TSystemCall> ReadTrace(const fs::path& log) {
  std::vector<TSystemCall> calls;
  std::map<std::string, std::string> pending;  // by thread id
  std::ifstream file(log);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    const std::string thread = line.substr(0, blank);
    std::string call = line.substr(line.find_first_not_of(' ', blank));
    if (const std::size_t cut = call.find(" <unfinished ...>"); cut != std::string::npos) {
      pending[thread] = call.substr(0, cut);
      continue;
    }
    if (call.starts_with("<... ")) {
      const std::size_t resumed = call.find(" resumed>");
      if (resumed == std::string::npos) continue;
      call = pending[thread] + call.substr(resumed + 9);
      pending.erase(thread);
    }
    const std::size_t open = call.find('(');
    const std::size_t close = call.rfind(") = ");
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    calls.push_back({line, call.substr(0, open), SplitArguments(call.substr(open + 1, close - open - 1))});
  }
  return calls;
}

// A string argument as strace quotes it ("..." with C escapes); nothing for NULL and the like.
std::optional<std::string> Unquote(const std::string& arg) {
  if (arg.size() < 2 || arg.front() != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i + 1 < arg.size(); ++i) {
    if (arg[i] != '\\') {
      text += arg[i];
    } else if (arg[i + 1] >= '0' && arg[i + 1] <= '7') {
      int value = 0;
      for (int digits = 0; digits < 3 && i + 1 < arg.size() - 1 && arg[i + 1] >= '0' && arg[i + 1] <= '7'; ++digits)
        value = value * 8 + (arg[++i] - '0');
      text += static_cast<char>(value);
    } else {
      const char escaped = arg[++i];
      text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
    }
  }
  return text;
}

// The path that -y shows for a descriptor argument ("3</a/b>", "AT_FDCWD</cwd>",
// "4</gone>(deleted)").
std::optional<fs::path> DescriptorPath(const std::string& arg) {
  const std::size_t open = arg.find('<'), close = arg.rfind('>');
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
  return fs::path(arg.substr(open + 1, close - open - 1));
}

// The file a call names by a directory descriptor and a path, or by a descriptor alone.
std::optional<fs::path> Target(const std::string& descriptor, const std::string& name) {
  const std::optional<std::string> path = Unquote(name);
  if (path && path->starts_with("/")) return fs::path(*path);
  const std::optional<fs::path> base = DescriptorPath(descriptor);
  if (!base) return std::nullopt;
  return path && !path->empty() ? *base / *path : *base;
}

bool Within(const fs::path& path, const fs::path& root) {
  const std::string text = path.lexically_normal().string(), rootText = root.lexically_normal().string();
  return text == rootText || text.starts_with(rootText + "/");
}

// Calls that change a file system whatever their arguments.
const std::set<std::string> ChangingCalls = {
    "creat",    "truncate",  "ftruncate", "rename",          "renameat",    "renameat2",    "unlink",       "unlinkat",
    "rmdir",    "link",      "linkat",    "symlink",         "symlinkat",   "mkdir",        "mkdirat",      "mknod",
    "mknodat",  "chmod",     "fchmod",    "fchmodat",        "fchmodat2",   "chown",        "fchown",       "lchown",
    "fchownat", "setxattr",  "lsetxattr", "fsetxattr",       "removexattr", "lremovexattr", "fremovexattr", "utime",
    "utimes",   "futimesat", "fallocate", "copy_file_range", "mount",       "umount2",      "chroot"};

// Calls that write through a descriptor.
const std::set<std::string> WritingCalls = {"write",    "pwrite64", "writev", "pwritev",
                                            "pwritev2", "sendfile", "splice", "ioctl"};

// What the call did wrong, or nothing. A pack's time may be set, to its index's last-write
// time (IndexTimes), with the access time left alone.
std::optional<std::string> Violation(const TSystemCall& call, const fs::path& tree,
                                     const std::map<fs::path, TTime>& indexTimes) {
  const auto& args = call.args;
  if (ChangingCalls.contains(call.name)) return "changes the file system";
  if (call.name == "open" || call.name == "openat" || call.name == "openat2") {
    const std::string flags = call.name == "open" ? args.at(1) : args.at(2);
    for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"}) {
      if (flags.find(flag) != std::string::npos) return std::string("opens with ") + flag;
    }
    return std::nullopt;
  }
  if (WritingCalls.contains(call.name)) {
    const std::optional<fs::path> target = DescriptorPath(args.at(0));
    if (target && Within(*target, tree)) return "writes to a file of the tree";
    return std::nullopt;
  }
  if (call.name == "mmap") {
    const std::optional<fs::path> target = DescriptorPath(args.at(4));
    if (target && Within(*target, tree) && args.at(2).find("PROT_WRITE") != std::string::npos &&
        args.at(3).find("MAP_SHARED") != std::string::npos)
      return "maps a file of the tree for writing";
    return std::nullopt;
  }
  if (call.name == "utimensat") {
    const std::optional<fs::path> target = Target(args.at(0), args.at(1));
    if (!target || !IsPack(*target)) return "sets the time of a file that is no pack";
    const std::string& times = args.at(2);
    if (!times.starts_with("[UTIME_OMIT, ")) return "sets an access time";
    const auto index = indexTimes.find(IndexOf(target->lexically_normal()));
    if (index == indexTimes.end()) return "sets the time of a pack without an index";
    std::ostringstream wanted;
    wanted << "{tv_sec=" << index->second.sec << ", tv_nsec=" << index->second.nsec << "}";
    if (times.find(wanted.str()) == std::string::npos) return "sets a time other than the index's " + wanted.str();
    return std::nullopt;
  }
  return std::nullopt;
}

class FileOperationsTest : public TempDirTest {
protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fStrace = FindOnPath("strace");
    fGit = FindOnPath("git");
    if (!fStrace) GTEST_SKIP() << "strace is not installed";
    if (!fGit) GTEST_SKIP() << "git is not installed";
    if (RunExecutable(*fStrace, Args({"-o", "/dev/null", "true"}), TProgramOutput::File).exitCode != 0)
      GTEST_SKIP() << "strace cannot trace here (ptrace not permitted)";
  }

  // Runs git in Directory, unaffected by the user's and the system's settings.
  void Git(const fs::path& directory, std::vector<std::string> args) const {
    std::vector<std::string> all = {
        "-C", directory.string(),        "-c", "user.name=Tidemark Test",    "-c", "user.email=test@example.org",
        "-c", "init.defaultBranch=main", "-c", "protocol.file.allow=always", "-c", "gc.auto=0"};
    all.insert(all.end(), args.begin(), args.end());
    const TProgramRun run =
        RunExecutable(*fGit, Args(all), TProgramOutput::File, {"GIT_CONFIG_NOSYSTEM=1", "GIT_CONFIG_GLOBAL=/dev/null"});
    ASSERT_EQ(run.exitCode, 0) << "git " << args.at(0) << ": " << run.output << run.errors;
  }

  void Commit(const fs::path& workTree, const std::string& file, const std::string& content) const {
    WriteFile(workTree.lexically_relative(Root()) / file, content);
    Git(workTree, {"add", "-A"});
    Git(workTree, {"commit", "-q", "-m", "add " + file});
  }

  // Working trees with packs from gc and repack and loose objects, a submodule, a local
  // clone whose packs are hard links, a bare clone (no repository to the program: it has no
  // index), and a plain directory with a link. Packs in line and out of line.
  void MakeTree(const fs::path& tree) {
    const fs::path lib = tree / "lib", app = tree / "app";
    fs::create_directories(lib);
    fs::create_directories(app);
    Git(lib, {"init", "-q"});
    Commit(lib, "lib.c", "int lib;\n");
    Git(lib, {"gc", "-q"});
    Git(app, {"init", "-q"});
    Commit(app, "main.c", "int main() {}\n");
    Git(app, {"gc", "-q"});
    Commit(app, "README", "app\n");
    Git(app, {"repack", "-q", "-d"});
    Commit(app, "NEWS", "loose objects\n");
    Git(app, {"submodule", "add", "-q", lib.string(), "vendor/lib"});
    Git(app, {"commit", "-q", "-m", "submodule"});
    Git(tree, {"clone", "-q", app.string(), "clone"});
    Git(tree, {"clone", "-q", "--bare", "--no-local", app.string(), "bare.git"});
    WriteFile((tree / "notes" / "todo.txt").lexically_relative(Root()), "nothing\n");
    fs::create_symlink("todo.txt", tree / "notes" / "link");

    // One pack set in line by hand, the others freshened as git does it.
    std::vector<fs::path> packs;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree))
      if (IsPack(entry.path())) packs.push_back(entry.path());
    std::sort(packs.begin(), packs.end());
    ASSERT_GE(packs.size(), 5u) << "gc, repack, the submodule and the clones each make a pack";
    for (const fs::path& pack : packs) {
      const bool inLine = pack == packs.front();
      fs::last_write_time(pack, fs::last_write_time(IndexOf(pack)) - std::chrono::hours(inLine ? 0 : 2));
    }
  }

  std::optional<fs::path> fStrace, fGit;
};

}  // namespace

TEST_F(FileOperationsTest, RunChangesNothingButTheLastWriteTimeOfPacks) {
  const fs::path tree = Root() / "tree";
  ASSERT_NO_FATAL_FAILURE(MakeTree(tree));
  const bool accessTimesTell = ReadingMovesAccessTime(Root() / "probe");
  AgeAccessTimes(Snapshot(tree, TSnapshotOrder::ContentsFirst));
  const std::map<fs::path, TEntryState> before = Snapshot(tree, TSnapshotOrder::ContentsFirst);
  std::map<fs::path, TTime> indexTimes;
  for (const auto& [path, state] : before)
    if (path.extension() == ".idx") indexTimes[path] = TimeOf(state.status.st_mtim);

  const fs::path log = Root() / "trace.log";
  // A sanitized build's leak check needs ptrace itself, which strace holds; the other tests
  // check for leaks.
  const char* sanitizerOptions = std::getenv("ASAN_OPTIONS");
  const std::string noLeakCheck =
      "ASAN_OPTIONS=" + std::string(sanitizerOptions != nullptr ? sanitizerOptions : "") + ":detect_leaks=0";
  const TProgramRun run =
      RunExecutable(*fStrace,
                    Args({"-f", "-qq", "-y", "-e", "signal=none", "-e", "trace=%file,%desc", "-o", log.string(), "-E",
                          noLeakCheck, ProgramPath().string(), "-r", "-v", "debug", tree.string()}),
                    TProgramOutput::File);
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;

  // The trace: no call that writes, and every time set is a pack's, to its index's time.
  const std::vector<TSystemCall> calls = ReadTrace(log);
  ASSERT_GT(calls.size(), 100u) << "the trace is not what strace writes";
  std::vector<std::string> violations;
  int timesSet = 0, execs = 0;
  for (const TSystemCall& call : calls) {
    if (call.name == "execve" && ++execs > 1) violations.push_back("runs another program: " + call.line);
    if (call.name == "utimensat") ++timesSet;
    if (const std::optional<std::string> violation = Violation(call, tree, indexTimes))
      violations.push_back(*violation + ": " + call.line);
  }
  EXPECT_EQ(violations, std::vector<std::string>{});
  EXPECT_GT(timesSet, 0) << "the tree has packs out of line";

  // The snapshots: nothing created, removed or altered; packs at their index's time, and
  // only the packs whose time moved show a new change time.
  const std::map<fs::path, TEntryState> after = Snapshot(tree, TSnapshotOrder::TimesFirst);
  std::vector<fs::path> paths;
  for (const auto& [path, state] : before) paths.push_back(path);
  std::vector<fs::path> afterPaths;
  for (const auto& [path, state] : after) afterPaths.push_back(path);
  ASSERT_EQ(afterPaths, paths) << "entries created or removed";
  for (const fs::path& path : paths) {
    SCOPED_TRACE(path.string());
    const struct stat &was = before.at(path).status, &is = after.at(path).status;
    EXPECT_EQ(after.at(path).content, before.at(path).content);
    EXPECT_EQ(is.st_ino, was.st_ino);
    EXPECT_EQ(is.st_mode, was.st_mode);
    EXPECT_EQ(is.st_uid, was.st_uid);
    EXPECT_EQ(is.st_gid, was.st_gid);
    EXPECT_EQ(is.st_nlink, was.st_nlink);
    EXPECT_EQ(is.st_size, was.st_size);
    // The program reads no file. Listing a directory may move its access time, and following
    // a link the link's.
    if (accessTimesTell && S_ISREG(is.st_mode)) {
      EXPECT_EQ(TimeOf(is.st_atim), TimeOf(was.st_atim)) << "read";
    }
    // Packs of repositories end at their index's time; the bare clone is none to the program
    // (it has no index file), so its pack stays as it was.
    const bool inRepository = path.string().find("/.git/") != std::string::npos;
    if (IsPack(path) && inRepository) {
      EXPECT_EQ(TimeOf(is.st_mtim), indexTimes.at(IndexOf(path))) << "pack not at its index's time";
    }
    if (TimeOf(is.st_mtim) == TimeOf(was.st_mtim)) {
      EXPECT_EQ(TimeOf(is.st_ctim), TimeOf(was.st_ctim)) << "changed beyond its last-write time";
    } else {
      EXPECT_TRUE(IsPack(path) && inRepository) << "last-write time changed";
    }
  }
}
