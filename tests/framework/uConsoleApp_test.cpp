#include "framework/uConsoleApp.h"

#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

namespace {

const std::string Nl = StringToUtf8Bytes(LineSeparator());

std::string Banner(const std::string& title) {
  return title + std::string(41 - title.size(), ' ') + "https://example.org/tidemark" + Nl + std::string(79, '-') + Nl;
}

}  // namespace

// Without the object, a plain error line, and processing never starts.
TEST_F(ConsoleAppTest, OutcomesBecomeExitCodesAndErrorLines) {
  const std::string banner = Banner("Test v1.5 (Unicode)");
  const auto idle = [](TTestConsoleApp& app) { return app.WriteLn(u"idle"), 0u; };
  const auto failing = [](auto error) { return [error](TTestConsoleApp&) -> std::uint32_t { throw error; }; };
  const struct {
    TTestConsoleApp::TAction action;
    std::uint32_t exitCode;
    std::string output;
    TTestConsoleApp::TNameFunc name = [] { return String(u"Test"); };
  } rows[] = {
      {[](TTestConsoleApp& app) {
         app.Write(u"plain ");
         app.WriteColored(14, u"coloured");
         app.WriteLn();
         return app.WriteLn(u"line"), 3u;
       }, 3, banner + "plain coloured" + Nl + "line" + Nl},
      {failing(EAbort()), 254, banner},
      {failing(EStringError()), 254, banner + "ERROR EStringError: Conversion failed." + Nl},
      {failing(std::bad_alloc()), 254, banner + "ERROR EOutOfMemory: Out of memory" + Nl},
      {failing(std::runtime_error("gone")), 254, banner + "ERROR Exception: gone" + Nl},
      {idle, 0, Banner(std::string(41, 'N')) + "idle" + Nl, [] { return String(50, u'N'); }},
      {idle, 255, "ERROR EStringError: Conversion failed." + Nl, []() -> String { throw EStringError(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.exitCode);
    TStdOutRedirection redirection(TStdOutTarget::File);
    const std::uint32_t exitCode = ::Run(TestAppClass(row.action, row.name));
    EXPECT_EQ(redirection.Text(), row.output);
    EXPECT_EQ(exitCode, row.exitCode);
  }
}
