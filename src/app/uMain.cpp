#include "app/uMain.h"

#include <array>

#include "rtl/Process.h"
#include "rtl/TextCompare.h"

namespace {

using enum TTidemarkVerbosityLevel;

constexpr std::uint8_t ColorLightCyan = 11;
constexpr std::uint8_t ColorLightRed = 12;
constexpr std::uint8_t ColorYellow = 14;
constexpr std::uint8_t ColorBrightWhite = 15;

struct TLevelValue {
  const Char* value;
  TTidemarkVerbosityLevel level;
};
// In the order they are compared.
constexpr std::array<TLevelValue, 5> LevelValues = {{
    {u"normal", vlNormal},
    {u"detailed", vlDetailed},
    {u"quiet", vlQuiet},
    {u"silent", vlSilent},
    {u"debug", vlDebug},
}};

std::optional<TTidemarkVerbosityLevel> LevelOf(const String& value) {
  for (const TLevelValue& entry : LevelValues)
    if (SameText(value, entry.value)) return entry.level;
  return std::nullopt;
}

// Names may hold control characters (POSIX allows all but '/' and NUL). Printed as they are,
// a line feed would break the line and an escape sequence would drive the terminal; each such
// character is shown as '?' instead. On POSIX the code units U+DC80 to U+DC9F stand for the
// bytes 0x80 to 0x9F of a name that is not UTF-8, which would be written out as those C1
// controls (0x9B starts a sequence on terminals that take 8-bit controls).
bool IsControl(Char c) {
  return c < u' ' || (c >= u'\x7F' && c <= u'\x9F') || (c >= u'\xDC80' && c <= u'\xDC9F');
}

String Printable(const String& Value) {
  String result = Value;
  for (Char& c : result)
    if (IsControl(c)) c = u'?';
  return result;
}

}  // namespace

String TTidemarkApp::GetAppName() { return u"Tidemark"; }

String TTidemarkApp::GetAppVersion() { return u"" TIDEMARK_VERSION; }

void TTidemarkApp::Reset() {
  TConsoleApp::Reset();
  fDirectories.clear();
  fRecursive = false;
  fVerbosity = vlNormal;
}

std::uint32_t TTidemarkApp::DoExecute() {
  if (ProcessParameters().empty()) {
    ShowSyntax(String());
    return 0;
  }
  Reset();
  String param;
  while (GetNextParam(param)) {
    if (const std::optional<std::uint32_t> exitCode = ReadParam(param)) return *exitCode;
  }
  if (fDirectories.empty()) {
    WriteError(u"No directories to process.");
    return 1;
  }

  std::uint32_t result = 0;
  TTidemark engine = fFileSystem != nullptr ? TTidemark(*fFileSystem) : TTidemark();
  engine.SetOnLogEvent(
      [this](TTidemark& Sender, TLogEvent Event, const String& Value) { LogEvent(Sender, Event, Value); });
  fDirectoryBeingProcessed.clear();
  for (const String& directory : fDirectories) {
    if (!engine.Process(directory, fRecursive)) result = 3;
  }
  WriteLn();
  return result;
}

std::optional<std::uint32_t> TTidemarkApp::ReadParam(const String& Param) {
  if (Param[0] != u'-') {
    fDirectories.push_back(Param);
  } else if (Param == u"-?" || Param == u"-h") {
    ShowSyntax(String());
    return 0;
  } else if (Param == u"-r") {
    fRecursive = true;
  } else if (Param == u"-r-") {
    fRecursive = false;
  } else if (Param == u"-v") {
    String value;
    if (!GetNextParam(value)) {
      ShowSyntax(u"Parameter \"-v\" needs an argument.", {});
      return 2;
    }
    const std::optional<TTidemarkVerbosityLevel> level = LevelOf(value);
    if (!level) {
      ShowSyntax(u"Unknown level value \"%s\" for parameter \"-v\".", {value});
      return 2;
    }
    fVerbosity = *level;
  } else {
    ShowSyntax(u"Unknown parameter \"%s\".", {Param});
    return 2;
  }
  return std::nullopt;
}

void TTidemarkApp::ShowSyntax(const String& ErrorMsg) {
  TConsoleApp::ShowSyntax(ErrorMsg);
  WriteColored(ColorBrightWhite, u"<arg> [<arg>] ...");
  WriteLn();
  WriteLn();
  WriteColored(ColorBrightWhite, u" -h, -?");
  WriteLn(u" ....... Show this help screen.");
  WriteColored(ColorBrightWhite, u" -r[-]");
  WriteLn(u" ........ [Don't] Scan directories recursively.");
  WriteColored(ColorBrightWhite, u" -v <level>");
  WriteLn(u" ... Set verbosity level to <level>. Possible values: silent, quiet, normal, detailed, debug");
  WriteLn();
  WriteColored(ColorBrightWhite, u" <dir>");
  WriteLn(u" ........ Directory where the scan starts.");
  WriteLn();
  WriteLn();
}

void TTidemarkApp::LogEvent(TTidemark&, TLogEvent Event, const String& Value) {
  switch (Event) {
    case TLogEvent::evtDirectoryVisited:
      Log(vlDebug, u"Scanning ", ColorBrightWhite, Value, u"...");
      break;
    case TLogEvent::evtGitDirectoryStart:
      fDirectoryBeingProcessed = Value;
      Log(vlNormal, u"Scanning GIT directory ", ColorYellow, Value, u"...");
      break;
    case TLogEvent::evtGitDirectoryEnd:
      fDirectoryBeingProcessed.clear();
      break;
    case TLogEvent::evtPackFileTimeNotChanged:
      Log(vlDetailed, u"Time of ", ColorBrightWhite, Value, u" kept unchanged.");
      break;
    case TLogEvent::evtPackFileTimeChanged:
      // Without the "Scanning GIT directory" lines, each change names its repository itself.
      if (fVerbosity >= vlNormal)
        Log(vlQuiet, u"Changed time of ", ColorLightCyan, Value, u"!");
      else
        Log(vlQuiet, u"Changed time of ", ColorYellow, fDirectoryBeingProcessed + Value, u"!");
      break;
    case TLogEvent::evtPackFileTimeChangeFailed:
      Log(vlSilent, u"Failed to reset time of ", ColorLightRed, Value, u"!");
      break;
  }
}

void TTidemarkApp::Log(TTidemarkVerbosityLevel Level, const String& Prefix, std::uint8_t Color, const String& Value,
                       const String& Suffix) {
  if (Level > fVerbosity) return;
  if (!Prefix.empty()) Write(Prefix);
  if (!Value.empty()) WriteColored(Color, Printable(Value));
  if (!Suffix.empty()) Write(Suffix);
  WriteLn();
}
