#pragma once
// The base of console programs: the run routine, the banner, coloured output under one
// re-entrant lock, uniform error lines and exit codes for failures, console presence, and
// console control events.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

#include "framework/hvCommandLine.h"
#include "rtl/Format.h"
#include "rtl/String.h"

// Whether the process, or its parent, has a console.
enum class TConsoleState : std::uint8_t {
  csNoConsole,     // neither the process nor its parent has one (or the platform cannot tell)
  csOwnConsole,    // the process is attached to a console
  csParentConsole  // the process has none, but could attach to its parent's
};

class TConsoleApp;

// A console control event: CtrlType is the platform's code (0 Ctrl+C, 1 Ctrl+Break, 2 close,
// 5 logoff, 6 shutdown; on POSIX the signals SIGINT, SIGQUIT, SIGHUP and SIGTERM arrive as
// 0, 1, 2 and 6). Setting Handled keeps the process alive. Runs on a thread of its own.
using TConsoleCtrlEvent = std::function<void(TConsoleApp& Sender, std::uint32_t CtrlType, bool& Handled)>;

// Deletes an application object after taking it out of the list of live objects, so that a
// control event never reaches an object under destruction.
struct TConsoleAppDeleter {
  void operator()(TConsoleApp* app) const;
};
template <class T = TConsoleApp>
using TConsoleAppPtr = std::unique_ptr<T, TConsoleAppDeleter>;

// What Run constructs: a factory standing for the application's class.
using TConsoleAppClass = std::function<TConsoleAppPtr<>()>;

// An operating-system handle; 0 when the channel could not be opened.
using THandle = std::uintptr_t;

class TConsoleApp {
protected:
  // Only Create can make one, so that no object exists without its post-construction step.
  class TCreationKey {
    friend class TConsoleApp;
    TCreationKey() = default;
  };

public:
  // Opens the standard channels and reads the console's attribute and width.
  explicit TConsoleApp(TCreationKey);
  virtual ~TConsoleApp();
  TConsoleApp(const TConsoleApp&) = delete;
  TConsoleApp& operator=(const TConsoleApp&) = delete;

  // Constructs a T, then, with the object complete, adds it to the live objects and calls
  // Reset, which thus reaches T's override. Passes Args on to T's constructor after the key.
  template <class T, class... Args>
  static TConsoleAppPtr<T> Create(Args&&... args) {
    TConsoleAppPtr<T> app(new T(TCreationKey(), std::forward<Args>(args)...));
    app->AfterConstruction();
    return app;
  }

  // Shows the banner and runs DoExecute; returns its result. A failure of DoExecute other
  // than EAbort is written as one light-red "ERROR <class>: <message>" line and then raised
  // again as an EAbort carrying that line.
  std::uint32_t Execute();

  // csOwnConsole when the process has a console window; csParentConsole when only its parent
  // has one; csNoConsole otherwise. POSIX processes always count as owning their terminal.
  static TConsoleState HasConsole();
  // Whether the parent process has a console; attaches to find out and detaches again.
  static bool ParentHasConsole();

  const TConsoleCtrlEvent& OnConsoleCtrl() const { return FOnConsoleCtrl; }
  void SetOnConsoleCtrl(TConsoleCtrlEvent value) { FOnConsoleCtrl = std::move(value); }

protected:
  // The program name and version for the banner.
  virtual String GetAppName() = 0;
  virtual String GetAppVersion() = 0;
  // The application's processing; the result is the exit code.
  virtual std::uint32_t DoExecute() = 0;
  // Restores the defaults before the command line is read: reloads the parameters and
  // rewinds them. Overrides call the base first.
  virtual void Reset();
  // Calls OnConsoleCtrl when assigned; otherwise leaves Handled as it is.
  virtual void DoConsoleCtrl(std::uint32_t CtrlType, bool& Handled);
  // The head of the syntax screen: ErrorMsg (when not empty) as an error line and an empty
  // line, then "Syntax: " and the program's file name, without a line end. Overrides call the
  // base first and go on with their usage text.
  virtual void ShowSyntax(const String& ErrorMsg);
  // Formats the message with Format and passes it to the virtual ShowSyntax.
  void ShowSyntax(const String& FormatText, std::initializer_list<FormatArg> Args);

  // Writes the text to standard output in the current attribute, no line end. Raises
  // EInOutError when a redirected output refuses it; does nothing when there is no output.
  void Write(const String& Text);
  // Text (when not empty), then the line separator.
  void WriteLn(const String& Text = {});
  // Text in the foreground Color on the current background; the attribute is restored after.
  void WriteColored(std::uint8_t Color, const String& Text);
  // Text in light red, then the line separator.
  void WriteError(const String& Text);
  // The two banner lines: name, version and the maker's web address; then a rule.
  void ShowBanner();
  // Sends Msg as one line to standard output when FileName is empty, else appends it to the
  // file in the file's own encoding. Never fails: every error is dropped.
  void AppendLog(const String& FileName, const String& Msg);

  // The next command-line parameter; false and an empty Param when none is left.
  bool GetNextParam(String& Param);
  // The parser over the process's parameters, created on first use.
  TCommandLineParser& CommandLineParser();

  // The console attribute: foreground in the low four bits, background in the high four.
  // Setting it applies it to the console at once (ignored where output is no console).
  std::uint8_t TextAttr() const { return FTextAttr; }
  void SetTextAttr(std::uint8_t value);
  void SetColors(std::uint8_t Foreground, std::uint8_t Background);
  std::uint8_t GetBackground() const;
  void SetForeground(std::uint8_t Color);

  // Whether text for a real console goes out in the OEM code page (the default).
  bool ConvertWritesToOEM() const { return FConvertWritesToOEM; }
  void SetConvertWritesToOEM(bool value) { FConvertWritesToOEM = value; }

private:
  friend struct TConsoleAppDeleter;
  friend bool ConsoleCtrlHandler(std::uint32_t CtrlType);

  void AfterConstruction();
  void LeaveConsoleApps();

  std::unique_ptr<TCommandLineParser> FCommandLineParser;
  THandle FStdIn = 0;
  THandle FStdOut = 0;
  bool FStdOutRedirected = false;
  std::int32_t FConsoleWidth = 0;
  std::uint8_t FTextAttr = 7;
  String FLineSeparator;
  TConsoleCtrlEvent FOnConsoleCtrl;
  bool FConvertWritesToOEM = true;
  std::recursive_mutex FOutputLock;
};

// Whether the program is built as a console program; the entry marks it before Run.
void SetIsConsole(bool value);
bool IsConsole();

// The whole life of one application object: makes sure there is a console, creates the
// object, executes it and frees it. Returns DoExecute's result; 254 when processing failed
// or was aborted; 255 after a plain "ERROR <class>: <message>" line when construction or the
// banner failed. A failure to write that line passes on to the caller.
std::uint32_t Run(const TConsoleAppClass& AppClass);

// The class name and message of the exception being handled (call only inside a catch).
// Exceptions of the standard library get a fitting name: std::bad_alloc is "EOutOfMemory"
// with "Out of memory", any other one "Exception" with its what() text.
struct TErrorDescription {
  String ClassName;
  String Message;
};
TErrorDescription DescribeCurrentException();

// Writes text to the process's standard output channel, in plain text, and flushes it.
// Raises EInOutError when the channel refuses it.
void WriteStdOut(const String& Text);
// The line end of console output: LF on POSIX, CR LF on Windows.
const String& LineSeparator();

// Unit start-up and shutdown: the list of live application objects, the console control
// handler, and the platform's optional console entry points.
void InitializeConsoleApp();
void FinalizeConsoleApp();

// Hands a console control event to every live application object, in creation order; each
// sees the Handled value the previous ones left. Returns whether one of them handled it.
bool ConsoleCtrlHandler(std::uint32_t CtrlType);
