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
  auto first = TConsoleApp::Create<TTestConsoleApp>(idle);
  auto second = TConsoleApp::Create<TTestConsoleApp>(idle);
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no handler assigned";
  for (TConsoleApp* app : {first.get(), second.get()})
    app->SetOnConsoleCtrl([&, app](TConsoleApp& sender, std::uint32_t type, bool& handled) {
      seen += (&sender != app ? "?" : app == first.get() ? "first " : "second ") + std::to_string(type) +
              (handled ? "+ " : " ");
      handled = handled || app == first.get();
    });
  EXPECT_TRUE(ConsoleCtrlHandler(2));
  first.reset();
  EXPECT_FALSE(ConsoleCtrlHandler(6));
  EXPECT_EQ(seen, "first 2 second 2+ second 6 ");
}
