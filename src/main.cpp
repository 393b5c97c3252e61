// The program entry: the units' start-up, the application's run, the last resort, and the
// units' shutdown in reverse order.

#include "app/Entry.h"
#include "app/uMain.h"
#include "compat/uCompatibility.h"
#include "framework/uConsoleApp.h"
#include "rtl/Process.h"

int main(int argc, char* argv[]) {
  SetIsConsole(true);
  SetProcessArguments(argc, argv);
  InitializeConsoleApp();
  InitializeCompatibility();

  const std::uint32_t exitCode = RunMain([] { return TConsoleApp::Create<TTidemarkApp>(); }, ReportLastResort);
  PauseUnderDebugger();

  FinalizeCompatibility();
  FinalizeConsoleApp();
  return static_cast<int>(exitCode);
}
