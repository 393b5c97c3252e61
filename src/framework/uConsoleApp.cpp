#include "framework/uConsoleApp.h"

#include <exception>
#include <new>
#include <vector>

#include "framework/uConsoleApp_platform.h"
#include "framework/uFiles.h"
#include "framework/uStrings.h"
#include "rtl/Exceptions.h"
#include "rtl/Path.h"
#include "rtl/Process.h"
#include "rtl/SystemError.h"
#include "rtl/Utf8.h"

namespace {

const String MakerWebAddress = u"https://example.org/tidemark";

constexpr std::uint8_t ColorLightCyan = 11;
constexpr std::uint8_t ColorLightRed = 12;
constexpr std::uint8_t ColorBrightWhite = 15;

constexpr std::uint32_t ExitCodeProcessingFailed = 254;
constexpr std::uint32_t ExitCodeSetupFailed = 255;

bool ConsoleProgram = false;

// The live application objects. The lock is held while a control event is dispatched and
// while objects come and go, so dispatch never meets an object under destruction.
// Re-entrant, because a control handler may itself create or free an application object.
std::recursive_mutex ConsoleAppsLock;
std::unique_ptr<std::vector<TConsoleApp*>> ConsoleApps;

String ErrorLine(const TErrorDescription& error) {
  return Format(u"ERROR %s: %s", {error.ClassName, error.Message});
}

// Runs its action when the scope ends, also when a failure passes.
template <class TAction>
class TFinally {
public:
  explicit TFinally(TAction action) : fAction(std::move(action)) {}
  ~TFinally() { fAction(); }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

private:
  TAction fAction;
};

// The standard channels report their failures in the runtime's words.
void WriteChannelOrRaise(THandle handle, const String& text) {
  const int code = ConsolePlatform::WriteChannel(handle, text);
  if (code == 0) return;
  switch (ClassifySystemError(code)) {
    case SystemFailure::DiskFull: throw EInOutError(u"Disk full", code);
    case SystemFailure::AccessDenied: throw EInOutError(u"File access denied", code);
    default: throw EInOutError(Format(u"I/O error %d", {std::int64_t{code}}), code);
  }
}

// Holds a console for a program that does not own one, for the length of Run.
class TConsoleSession {
public:
  explicit TConsoleSession(TConsoleState state) : fOwnConsole(state == TConsoleState::csOwnConsole) {
    if (!fOwnConsole) ConsolePlatform::ObtainConsole(state);
  }
  ~TConsoleSession() {
    if (!fOwnConsole) ConsolePlatform::ReleaseConsole();
  }
  TConsoleSession(const TConsoleSession&) = delete;
  TConsoleSession& operator=(const TConsoleSession&) = delete;

private:
  bool fOwnConsole;
};

}  // namespace

// --- Construction and destruction ---

TConsoleApp::TConsoleApp(TCreationKey) : FLineSeparator(ConsolePlatform::LineSeparator()) {
  FStdIn = ConsolePlatform::OpenStdInput();
  FStdOut = ConsolePlatform::OpenStdOutput();
  if (!ConsolePlatform::QueryConsole(FStdOut, FTextAttr, FConsoleWidth)) FTextAttr = 7;
  FStdOutRedirected = !ConsolePlatform::IsConsoleHandle(FStdOut);
}

TConsoleApp::~TConsoleApp() {
  FCommandLineParser.reset();
  LeaveConsoleApps();
  ConsolePlatform::CloseStdHandle(FStdOut);
  ConsolePlatform::CloseStdHandle(FStdIn);
}

void TConsoleApp::AfterConstruction() {
  {
    std::lock_guard lock(ConsoleAppsLock);
    if (ConsoleApps) ConsoleApps->push_back(this);
  }
  Reset();
}

void TConsoleApp::LeaveConsoleApps() {
  std::lock_guard lock(ConsoleAppsLock);
  if (ConsoleApps) std::erase(*ConsoleApps, this);
}

void TConsoleAppDeleter::operator()(TConsoleApp* app) const {
  app->LeaveConsoleApps();
  delete app;
}

// --- Processing ---

std::uint32_t TConsoleApp::Execute() {
  ShowBanner();
  try {
    return DoExecute();
  } catch (const EAbort&) {
    throw;
  } catch (...) {
    const String line = ErrorLine(DescribeCurrentException());
    WriteError(line);
    throw EAbort(line);
  }
}

void TConsoleApp::Reset() { CommandLineParser().Reset(); }

void TConsoleApp::DoConsoleCtrl(std::uint32_t CtrlType, bool& Handled) {
  if (FOnConsoleCtrl) FOnConsoleCtrl(*this, CtrlType, Handled);
}

bool TConsoleApp::GetNextParam(String& Param) { return CommandLineParser().GetNext(Param); }

TCommandLineParser& TConsoleApp::CommandLineParser() {
  if (!FCommandLineParser) FCommandLineParser = TBaseCommandLineParser::Create<TCommandLineParser>();
  return *FCommandLineParser;
}

// --- Screens ---

void TConsoleApp::ShowBanner() {
  const TFinally restoreAttr([this, saved = TextAttr()] { SetTextAttr(saved); });
  SetForeground(ColorBrightWhite);
  const String title = GetAppName() + u" v" + GetAppVersion() + u" (Unicode)";
  Write(Format(u"%-41.41s", {title}));
  WriteColored(ColorLightCyan, MakerWebAddress);
  WriteLn();
  WriteLn(String(79, u'-'));
}

void TConsoleApp::ShowSyntax(const String& ErrorMsg) {
  if (!ErrorMsg.empty()) {
    WriteError(ErrorMsg);
    WriteLn();
  }
  Write(u"Syntax: ");
  WriteColored(ColorBrightWhite, ExtractFileName(ExecutablePath()) + u" ");
}

void TConsoleApp::ShowSyntax(const String& FormatText, std::initializer_list<FormatArg> Args) {
  ShowSyntax(Format(FormatText, Args));
}

// --- Output ---

void TConsoleApp::Write(const String& Text) {
  if (FStdOut == 0) return;
  std::lock_guard lock(FOutputLock);
  if (FStdOutRedirected || !FConvertWritesToOEM) {
    WriteChannelOrRaise(FStdOut, Text);
  } else {
    const RawByteString ansi = WideToMultiByte(CodePageAnsi, Text.data(), static_cast<int>(Text.size()));
    ConsolePlatform::WriteConsoleBytes(FStdOut, AnsiToOem(ansi));
  }
}

void TConsoleApp::WriteLn(const String& Text) {
  if (!Text.empty()) Write(Text);
  Write(FLineSeparator);
}

void TConsoleApp::WriteColored(std::uint8_t Color, const String& Text) {
  const TFinally restoreAttr([this, saved = TextAttr()] { SetTextAttr(saved); });
  SetForeground(Color);
  Write(Text);
}

void TConsoleApp::WriteError(const String& Text) {
  WriteColored(ColorLightRed, Text);
  WriteLn();
}

void TConsoleApp::AppendLog(const String& FileName, const String& Msg) {
  try {
    std::lock_guard lock(FOutputLock);
    if (FileName.empty())
      WriteLn(Msg);
    else
      TTextStream::AppendLine(FileName, Msg, TFileEncoding::feAuto);
  } catch (...) {
    // A log line is never worth a failure of the program; the lock is already released.
  }
}

// --- Attributes ---

void TConsoleApp::SetTextAttr(std::uint8_t value) {
  FTextAttr = value;
  ConsolePlatform::SetConsoleAttribute(FStdOut, value);
}

void TConsoleApp::SetColors(std::uint8_t Foreground, std::uint8_t Background) {
  SetTextAttr(static_cast<std::uint8_t>(Background * 16 + Foreground));
}

std::uint8_t TConsoleApp::GetBackground() const { return static_cast<std::uint8_t>(TextAttr() / 16); }

void TConsoleApp::SetForeground(std::uint8_t Color) { SetColors(Color, GetBackground()); }

// --- Console presence ---

TConsoleState TConsoleApp::HasConsole() { return ConsolePlatform::HasConsole(); }

bool TConsoleApp::ParentHasConsole() { return ConsolePlatform::ParentHasConsole(); }

// --- Unit routines ---

void SetIsConsole(bool value) { ConsoleProgram = value; }

bool IsConsole() { return ConsoleProgram; }

std::uint32_t Run(const TConsoleAppClass& AppClass) {
  const TConsoleSession session(IsConsole() ? TConsoleState::csOwnConsole : TConsoleApp::HasConsole());
  try {
    TConsoleAppPtr<> app = AppClass();
    const std::uint32_t exitCode = app->Execute();
    app.reset();
    return exitCode;
  } catch (const EAbort&) {
    return ExitCodeProcessingFailed;
  } catch (...) {
    // The object is gone: a plain line on the process's channel, without colour.
    WriteStdOut(ErrorLine(DescribeCurrentException()) + LineSeparator());
    return ExitCodeSetupFailed;
  }
}

TErrorDescription DescribeCurrentException() {
  try {
    throw;
  } catch (const Exception& error) {
    return {error.ClassName(), error.Message()};
  } catch (const std::bad_alloc&) {
    return {u"EOutOfMemory", u"Out of memory"};
  } catch (const std::exception& error) {
    return {u"Exception", Utf8BytesToString(error.what())};
  } catch (...) {
    return {u"Exception", u"Unknown exception"};
  }
}

void WriteStdOut(const String& Text) { WriteChannelOrRaise(ConsolePlatform::ProcessStdOut(), Text); }

const String& LineSeparator() { return ConsolePlatform::LineSeparator(); }

void InitializeConsoleApp() {
  {
    std::lock_guard lock(ConsoleAppsLock);
    ConsoleApps = std::make_unique<std::vector<TConsoleApp*>>();
  }
  ConsolePlatform::StartUp();
}

void FinalizeConsoleApp() {
  ConsolePlatform::ShutDown();
  // Objects freed later find no list and leave it alone.
  std::lock_guard lock(ConsoleAppsLock);
  ConsoleApps.reset();
}

bool ConsoleCtrlHandler(std::uint32_t CtrlType) {
  bool Handled = false;
  std::lock_guard lock(ConsoleAppsLock);
  if (!ConsoleApps) return false;
  const std::size_t count = ConsoleApps->size();
  // A handler may free objects; the bound against the current size keeps the walk in range.
  for (std::size_t i = 0; i < count && i < ConsoleApps->size(); ++i) {
    TConsoleApp* app = (*ConsoleApps)[i];
    if (app == nullptr) continue;
    try {
      app->DoConsoleCtrl(CtrlType, Handled);
    } catch (...) {
      // This runs on the handler's own thread: a failure must not end the process from there.
    }
  }
  return Handled;
}
