#include "framework/uConsoleApp_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>
#include <thread>

#include "rtl/Utf8.h"

namespace {

// The attribute a terminal is assumed to start with: light grey on black, the terminal's
// default colours.
constexpr std::uint8_t InitialAttr = 7;

int FdOf(THandle handle) { return static_cast<int>(handle); }

// One of the console's 4-bit colours as an SGR colour code. The console keeps blue in bit 0
// and red in bit 2; SGR counts red as 1 and blue as 4. Bit 3 selects the bright range.
int SgrColor(std::uint8_t color, int normalBase, int brightBase) {
  const int rgb = ((color & 4) >> 2) | (color & 2) | ((color & 1) << 2);
  return ((color & 8) != 0 ? brightBase : normalBase) + rgb;
}

// The sequence that puts the terminal into Attr. The initial attribute is the terminal's
// own default, and a black background leaves the terminal's background alone, so a light
// terminal theme keeps its look.
std::string SgrSequence(std::uint8_t attr) {
  if (attr == InitialAttr) return "\x1b[0m";
  const auto foreground = static_cast<std::uint8_t>(attr & 0x0F);
  const auto background = static_cast<std::uint8_t>(attr >> 4);
  // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about "text" + string.
  std::string sequence = "\x1b[0;";
  sequence += std::to_string(SgrColor(foreground, 30, 90));
  if (background != 0) (sequence += ';') += std::to_string(SgrColor(background, 40, 100));
  return sequence += 'm';
}

// Writes all bytes, going on after interruptions and partial writes. Returns 0 or errno.
int WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written >= 0) {
      done += static_cast<std::size_t>(written);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Whoever shares the descriptor made it non-blocking, and the reader is behind: wait
      // for room as a blocking write would. A reader that left shows at the next write.
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, -1) < 0 && errno != EINTR) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// --- Console control events from signals ---
//
// The signal handler only writes the signal's number into a pipe; a thread of its own reads
// it and dispatches, so control handlers run outside signal context and may take locks.

struct TControlSignal {
  int signal;
  std::uint32_t ctrlType;
};
constexpr std::array<TControlSignal, 4> ControlSignals = {{
    {SIGINT, 0},   // as Ctrl+C
    {SIGQUIT, 1},  // as Ctrl+Break
    {SIGHUP, 2},   // as closing the console
    {SIGTERM, 6},  // as shutdown
}};

// A byte that no signal number takes; tells the dispatch thread to end.
constexpr unsigned char StopDispatch = 0;

struct TSignalDispatch {
  int pipeRead = -1;
  int pipeWrite = -1;
  std::thread thread;
  // What each control signal did before; a signal that was ignored stays ignored.
  std::array<struct sigaction, ControlSignals.size()> previous{};
  std::array<bool, ControlSignals.size()> installed{};
  struct sigaction previousPipe {};
};

TSignalDispatch Dispatch;
// Read by the signal handler; set before any handler is installed.
volatile std::sig_atomic_t SignalPipeWrite = -1;

extern "C" void OnControlSignal(int signal) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signal);
  // Nothing to do when the pipe is full: the events still waiting stand for this one.
  [[maybe_unused]] const ssize_t written = write(SignalPipeWrite, &byte, 1);
  errno = savedErrno;
}

// Nobody handled the signal: let it do what it would have done without us.
void EndAsSignalWould(std::size_t index) {
  struct sigaction ours {};
  sigaction(ControlSignals[index].signal, &Dispatch.previous[index], &ours);
  raise(ControlSignals[index].signal);
  // Still alive: the earlier disposition did not end the process.
  sigaction(ControlSignals[index].signal, &ours, nullptr);
}

void DispatchSignals(int pipeRead) {
  for (;;) {
    unsigned char byte = StopDispatch;
    const ssize_t count = read(pipeRead, &byte, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0 || byte == StopDispatch) return;
    for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
      if (ControlSignals[i].signal == byte && !ConsoleCtrlHandler(ControlSignals[i].ctrlType)) EndAsSignalWould(i);
    }
  }
}

// Moves a descriptor of ours above the standard three: a process started without standard
// output would otherwise find our pipe where its output should be.
int AboveStandardFds(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  return moved;
}

void StartSignalDispatch() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  fds[0] = AboveStandardFds(fds[0]);
  fds[1] = AboveStandardFds(fds[1]);
  if (fds[0] < 0 || fds[1] < 0) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  // The handler must never block, whatever the state of the dispatch thread.
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  try {
    Dispatch.thread = std::thread(DispatchSignals, fds[0]);
  } catch (const std::system_error&) {
    // No thread to dispatch on: the signals keep their usual effect.
    close(fds[0]);
    close(fds[1]);
    return;
  }
  Dispatch.pipeRead = fds[0];
  Dispatch.pipeWrite = fds[1];
  SignalPipeWrite = fds[1];

  struct sigaction action {};
  action.sa_handler = OnControlSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
    sigaction(ControlSignals[i].signal, nullptr, &Dispatch.previous[i]);
    // Ignored at start (nohup, a background job): the caller wants it ignored.
    if (Dispatch.previous[i].sa_handler == SIG_IGN) continue;
    Dispatch.installed[i] = sigaction(ControlSignals[i].signal, &action, nullptr) == 0;
  }
}

void StopSignalDispatch() {
  for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
    if (Dispatch.installed[i]) sigaction(ControlSignals[i].signal, &Dispatch.previous[i], nullptr);
    Dispatch.installed[i] = false;
  }
  if (Dispatch.thread.joinable()) {
    const unsigned char stop = StopDispatch;
    while (write(Dispatch.pipeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    Dispatch.thread.join();
  }
  SignalPipeWrite = -1;
  if (Dispatch.pipeRead >= 0) close(Dispatch.pipeRead);
  if (Dispatch.pipeWrite >= 0) close(Dispatch.pipeWrite);
  Dispatch.pipeRead = Dispatch.pipeWrite = -1;
}

}  // namespace

namespace ConsolePlatform {

// A channel of our own, numbered above the standard three, so that 0 can stand for "not
// there" and a closed standard descriptor is never mistaken for another file.
THandle OpenStdInput() {
  const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  return fd < 0 ? 0 : static_cast<THandle>(fd);
}

THandle OpenStdOutput() {
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  return fd < 0 ? 0 : static_cast<THandle>(fd);
}

void CloseStdHandle(THandle handle) {
  if (handle != 0) close(FdOf(handle));
}

bool QueryConsole(THandle handle, std::uint8_t& attr, std::int32_t& width) {
  winsize size{};
  if (handle == 0 || ioctl(FdOf(handle), TIOCGWINSZ, &size) != 0) return false;
  // A terminal's colours cannot be read back; it starts in its defaults.
  attr = InitialAttr;
  width = size.ws_col;
  return true;
}

bool IsConsoleHandle(THandle handle) { return handle != 0 && isatty(FdOf(handle)) == 1; }

void SetConsoleAttribute(THandle handle, std::uint8_t attr) {
  if (IsConsoleHandle(handle)) WriteAll(FdOf(handle), SgrSequence(attr));
}

int WriteChannel(THandle handle, const String& text) { return WriteAll(FdOf(handle), StringToUtf8Bytes(text)); }

void WriteConsoleBytes(THandle handle, const RawByteString& bytes) { WriteAll(FdOf(handle), bytes); }

THandle ProcessStdOut() { return STDOUT_FILENO; }

const String& LineSeparator() {
  static const String separator = u"\n";
  return separator;
}

void StartUp() {
  // A reader that went away must show as a write error, not end the process.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &Dispatch.previousPipe);
  StartSignalDispatch();
}

void ShutDown() {
  StopSignalDispatch();
  sigaction(SIGPIPE, &Dispatch.previousPipe, nullptr);
}

// A terminal is never attached or detached: every process counts as owning its own.
TConsoleState HasConsole() { return TConsoleState::csOwnConsole; }

bool ParentHasConsole() { return false; }

void ObtainConsole(TConsoleState) {}

void ReleaseConsole() {}

}  // namespace ConsolePlatform
