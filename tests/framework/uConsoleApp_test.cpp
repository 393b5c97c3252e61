#include "framework/uConsoleApp.h"

#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TempDir.h"
#include "support/TestConsoleApp.h"

namespace {

std::string Nl() { return StringToUtf8Bytes(LineSeparator()); }

std::string Banner(const std::string& title41) {
  return title41 + "https://example.org/tidemark" + Nl() + std::string(79, '-') + Nl();
}

}  // namespace

TEST_F(ConsoleAppTest, OutcomesBecomeExitCodesAndErrorLines) {
  const std::string banner = Banner("Test v1.5 (Unicode)" + std::string(22, ' '));
  const std::string conversionFailed = "ERROR EStringError: Conversion failed." + Nl();
  const auto idle = [](TTestConsoleApp& app) { app.WriteLn(u"processed"); return 0u; };
  struct TCase {
    const char* name;
    TTestConsoleApp::TAction action;
    std::uint32_t exitCode;
    std::string output;
    TTestConsoleApp::TNameFunc appName = [] { return String(u"Test"); };
  };
  const std::vector<TCase> cases = {
      {"returns", [](TTestConsoleApp& app) {
         app.Write(u"plain ");
         app.WriteColored(14, u"coloured");
         app.WriteLn();
         app.WriteLn(u"line");
         return 3u;
       }, 3, banner + "plain coloured" + Nl() + "line" + Nl()},
      {"aborts", [](TTestConsoleApp&) -> std::uint32_t { throw EAbort(); }, 254, banner},
      {"fails", [](TTestConsoleApp&) -> std::uint32_t { throw EStringError(); }, 254, banner + conversionFailed},
      {"runs out of memory", [](TTestConsoleApp&) -> std::uint32_t { throw std::bad_alloc(); }, 254,
       banner + "ERROR EOutOfMemory: Out of memory" + Nl()},
      {"fails in the library", [](TTestConsoleApp&) -> std::uint32_t { throw std::runtime_error("gone wrong"); },
       254, banner + "ERROR Exception: gone wrong" + Nl()},
      {"has a name too long for the banner", idle, 0, Banner(std::string(41, 'N')) + "processed" + Nl(),
       [] { return String(50, u'N'); }},
      // Without the object, a plain line; processing never starts.
      {"fails in the banner", idle, 255, conversionFailed, []() -> String { throw EStringError(); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TStdOutRedirection redirection(TStdOutTarget::File);
    const std::uint32_t exitCode = ::Run(TestAppClass(c.action, c.appName));
    EXPECT_EQ(redirection.Text(), c.output);  // standard output is back before a failure is printed
    EXPECT_EQ(exitCode, c.exitCode);
  }
}

TEST_F(ConsoleAppTest, WithoutStandardOutputNothingIsWrittenAndNothingFails) {
  TStdOutRedirection redirection(TStdOutTarget::Closed);
  const std::uint32_t exitCode = ::Run(TestAppClass([](TTestConsoleApp& app) {
    app.WriteError(u"error");
    app.ShowSyntax(u"message");
    app.AppendLog(String(), u"log");
    return 7u;
  }));
  redirection.Text();
  EXPECT_EQ(exitCode, 7u);
}

TEST_F(ConsoleAppTest, ControlEventReachesEveryLiveObjectInOrder) {
  using TSeen = std::vector<std::pair<std::uint32_t, bool>>;
  auto idle = [](TTestConsoleApp&) { return 0u; };
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no live objects";
  auto first = TConsoleApp::Create<TTestConsoleApp>(idle);
  auto second = TConsoleApp::Create<TTestConsoleApp>(idle);
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no handler assigned";
  TSeen seen;
  first->SetOnConsoleCtrl([&](TConsoleApp& sender, std::uint32_t ctrlType, bool& handled) {
    EXPECT_EQ(&sender, first.get());
    seen.emplace_back(ctrlType, handled);
    handled = true;
  });
  second->SetOnConsoleCtrl([&](TConsoleApp&, std::uint32_t type, bool& handled) { seen.emplace_back(type, handled); });
  EXPECT_TRUE(ConsoleCtrlHandler(2));
  first.reset();
  EXPECT_FALSE(ConsoleCtrlHandler(6)) << "the freed object no longer takes part";
  EXPECT_EQ(seen, (TSeen{{2, false}, {2, true}, {6, false}}));
}

class AppendLogTest : public TempDirTest {};

TEST_F(AppendLogTest, AppendsLinesToFilesAndDropsEveryFailure) {
  TStdOutRedirection redirection(TStdOutTarget::File);
  {
    auto app = TConsoleApp::Create<TTestConsoleApp>([](TTestConsoleApp&) { return 0u; });
    app->AppendLog(PathOf("log.txt"), u"one");
    app->AppendLog(PathOf("log.txt"), u"two \u00e9");
    app->AppendLog(PathOf("missing/log.txt"), u"lost");
    app->AppendLog(String(), u"to the console");
  }
  EXPECT_EQ(redirection.Text(), "to the console" + Nl());

  std::ifstream file(Root() / "log.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "\xEF\xBB\xBFone\r\ntwo \xC3\xA9\r\n");
  EXPECT_FALSE(std::filesystem::exists(Root() / "missing"));
}
