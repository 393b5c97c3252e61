#pragma once
// The tool's application object: reads the command line, runs the engine once per directory
// and turns its events into console lines by verbosity level.

#include <cstdint>
#include <optional>

#include "engine/uTidemark.h"
#include "framework/uConsoleApp.h"
#include "rtl/String.h"
#include "rtl/StringList.h"

// How much progress output to print, from least to most.
enum class TTidemarkVerbosityLevel : std::uint8_t { vlSilent, vlQuiet, vlNormal, vlDetailed, vlDebug };

class TTidemarkApp : public TConsoleApp {
public:
  // The engine works on FileSystem when given (it must outlive the object), else on the
  // platform's own.
  explicit TTidemarkApp(TCreationKey key, TEngineFileSystem* FileSystem = nullptr)
      : TConsoleApp(key), fFileSystem(FileSystem) {}

protected:
  String GetAppName() override;
  String GetAppVersion() override;
  // Reads every parameter, then processes the directories. Returns 0 after the syntax screen
  // or when every directory was processed, 1 without directories, 2 on a command-line error,
  // 3 when a pack's time could not be read or set.
  std::uint32_t DoExecute() override;
  // The defaults: no directories, not recursive, normal verbosity.
  void Reset() override;
  // The base's head, then the options and their meaning.
  void ShowSyntax(const String& ErrorMsg) override;
  using TConsoleApp::ShowSyntax;

private:
  // Handles one option or directory parameter; returns the exit code that ends the reading,
  // or nothing to go on.
  std::optional<std::uint32_t> ReadParam(const String& Param);
  // The engine's events as console lines.
  void LogEvent(TTidemark& Sender, TLogEvent Event, const String& Value);
  // Prefix, Value in Color and Suffix as one line, when Level is within the verbosity.
  void Log(TTidemarkVerbosityLevel Level, const String& Prefix, std::uint8_t Color, const String& Value,
           const String& Suffix);

  TEngineFileSystem* fFileSystem;
  TStringList fDirectories;
  bool fRecursive = false;
  TTidemarkVerbosityLevel fVerbosity = TTidemarkVerbosityLevel::vlNormal;
  String fDirectoryBeingProcessed;
};
