#include "framework/uConsoleApp.h"

#include <fstream>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TempDir.h"
#include "support/TestConsoleApp.h"

namespace {

const std::string Nl = StringToUtf8Bytes(LineSeparator());

std::string Banner(const std::string& title) {
  return title + std::string(41 - title.size(), ' ') + "https://example.org/tidemark" + Nl + std::string(79, '-') + Nl;
}

}  // namespace

// Standard output is a file, put back before the test looks at it and before a failure is
// printed. Without the object, a plain line, and processing never starts.
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
  // Without standard output nothing is written, and nothing fails.
  TStdOutRedirection closed(TStdOutTarget::Closed);
  EXPECT_EQ(::Run(TestAppClass([](TTestConsoleApp& app) {
              app.WriteError(u"error");
              app.ShowSyntax(u"message");
              app.AppendLog(String(), u"log");
              return 7u;
            })), 7u);
}

TEST_F(ConsoleAppTest, ControlEventReachesEveryLiveObjectInOrder) {
  std::string seen;
  const auto idle = [](TTestConsoleApp&) { return 0u; };
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no live objects";
  auto first = TConsoleApp::Create<TTestConsoleApp>(idle);
  auto second = TConsoleApp::Create<TTestConsoleApp>(idle);
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no handler assigned";
  first->SetOnConsoleCtrl([&](TConsoleApp& sender, std::uint32_t type, bool& handled) {
    seen += "first " + std::to_string(type) + (handled ? "+ " : " ") + (&sender == first.get() ? "" : "(sender?) ");
    handled = true;
  });
  second->SetOnConsoleCtrl([&](TConsoleApp&, std::uint32_t type, bool& handled) {
    seen += "second " + std::to_string(type) + (handled ? "+ " : " ");
  });
  EXPECT_TRUE(ConsoleCtrlHandler(2));
  first.reset();
  EXPECT_FALSE(ConsoleCtrlHandler(6)) << "the freed object no longer takes part";
  EXPECT_EQ(seen, "first 2 second 2+ second 6 ");
}

using AppendLogTest = TempDirTest;

// A log file gets lines in its own encoding, UTF-8 with a mark when new; every failure is dropped.
TEST_F(AppendLogTest, AppendsLinesToFilesOrTheConsole) {
  TStdOutRedirection redirection(TStdOutTarget::File);
  {
    auto app = TConsoleApp::Create<TTestConsoleApp>([](TTestConsoleApp&) { return 0u; });
    for (const char16_t* line : {u"one", u"two \u00e9"}) app->AppendLog(PathOf("log.txt"), line);
    app->AppendLog(PathOf("missing/log.txt"), u"lost");
    app->AppendLog(String(), u"to the console");
  }
  EXPECT_EQ(redirection.Text(), "to the console" + Nl);
  std::ifstream file(Root() / "log.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "\xEF\xBB\xBFone\r\ntwo \xC3\xA9\r\n");
}
