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

std::string Bytes(const String& text) { return StringToUtf8Bytes(text); }

std::string Nl() { return Bytes(LineSeparator()); }

std::string Banner(const std::string& title41) {
  return title41 + "https://example.org/tidemark" + Nl() + std::string(79, '-') + Nl();
}

struct TCapturedRun {
  std::uint32_t exitCode;
  std::string output;
};

TCapturedRun RunCaptured(const TConsoleAppClass& appClass) {
  TStdOutRedirection redirection(TStdOutTarget::File);
  const std::uint32_t exitCode = Run(appClass);
  return {exitCode, redirection.Text()};
}

}  // namespace

TEST_F(ConsoleAppTest, ProcessingOutcomesBecomeExitCodesAndErrorLines) {
  struct TCase {
    const char* name;
    TTestConsoleApp::TAction action;
    std::uint32_t exitCode;
    std::string afterBanner;
  };
  const std::vector<TCase> cases = {
      {"returns", [](TTestConsoleApp& app) {
         app.Write(u"plain ");
         app.WriteColored(14, u"coloured");
         app.WriteLn();
         app.WriteLn(u"line");
         return 3u;
       }, 3, "plain coloured" + Nl() + "line" + Nl()},
      {"aborts", [](TTestConsoleApp&) -> std::uint32_t { throw EAbort(); }, 254, ""},
      {"fails", [](TTestConsoleApp&) -> std::uint32_t { throw EStringError(); }, 254,
       "ERROR EStringError: Conversion failed." + Nl()},
      {"runs out of memory", [](TTestConsoleApp&) -> std::uint32_t { throw std::bad_alloc(); }, 254,
       "ERROR EOutOfMemory: Out of memory" + Nl()},
      {"fails in the library", [](TTestConsoleApp&) -> std::uint32_t { throw std::runtime_error("gone wrong"); },
       254, "ERROR Exception: gone wrong" + Nl()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TCapturedRun run = RunCaptured(TestAppClass(c.action));
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.output, Banner("Test v1.5 (Unicode)" + std::string(22, ' ')) + c.afterBanner);
  }
}

TEST_F(ConsoleAppTest, BannerTitleIsPaddedOrCutToItsField) {
  const std::string longName(50, 'N');
  const TCapturedRun run = RunCaptured(TestAppClass([](TTestConsoleApp&) { return 0u; },
                                                    [&] { return Utf8BytesToString(longName); }));
  EXPECT_EQ(run.output, Banner(std::string(41, 'N')));
}

TEST_F(ConsoleAppTest, FailureWhileBannerIsWrittenGivesPlainLineAnd255) {
  bool processed = false;
  const TCapturedRun run = RunCaptured(TestAppClass([&](TTestConsoleApp&) { processed = true; return 0u; },
                                                    []() -> String { throw EStringError(); }));
  EXPECT_EQ(run.exitCode, 255u);
  EXPECT_EQ(run.output, "ERROR EStringError: Conversion failed." + Nl());
  EXPECT_FALSE(processed);
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
  auto idle = [](TTestConsoleApp&) { return 0u; };
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no live objects";

  auto first = TConsoleApp::Create<TTestConsoleApp>(idle);
  auto second = TConsoleApp::Create<TTestConsoleApp>(idle);
  EXPECT_FALSE(ConsoleCtrlHandler(0)) << "no handler assigned";

  std::vector<std::pair<std::uint32_t, bool>> seen;
  first->SetOnConsoleCtrl([&](TConsoleApp& sender, std::uint32_t ctrlType, bool& handled) {
    EXPECT_EQ(&sender, first.get());
    seen.emplace_back(ctrlType, handled);
    handled = true;
  });
  second->SetOnConsoleCtrl([&](TConsoleApp&, std::uint32_t ctrlType, bool& handled) {
    seen.emplace_back(ctrlType, handled);
  });
  EXPECT_TRUE(ConsoleCtrlHandler(2));
  EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, bool>>{{2, false}, {2, true}}));

  first.reset();
  seen.clear();
  EXPECT_FALSE(ConsoleCtrlHandler(6)) << "the freed object no longer takes part";
  EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, bool>>{{6, false}}));
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
  const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "\xEF\xBB\xBFone\r\ntwo \xC3\xA9\r\n");
  EXPECT_FALSE(std::filesystem::exists(Root() / "missing"));
}
