#include "framework/uConsoleApp.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

TEST_F(ConsoleAppTest, TerminalGetsColoursThatAreUndoneAfterEveryColouredWrite) {
  TStdOutRedirection terminal(TStdOutTarget::Terminal);
  const std::uint32_t exitCode = ::Run(TestAppClass([](TTestConsoleApp& app) {
    app.WriteColored(14, u"yellow");
    app.Write(u" plain ");
    app.WriteError(u"red");
    app.SetColors(7, 1);
    app.WriteColored(12, u"on blue");
    app.SetColors(7, 0);
    return 0u;
  }));
  const std::string text = terminal.Text();
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(text,
            "\x1b[0;97mTest v1.5 (Unicode)" + std::string(22, ' ') +
                "\x1b[0;96mhttps://example.org/tidemark\x1b[0;97m\n" + std::string(79, '-') + "\n\x1b[0m" +
                "\x1b[0;93myellow\x1b[0m plain \x1b[0;91mred\x1b[0m\n" +
                "\x1b[0;37;44m\x1b[0;91;44mon blue\x1b[0;37;44m\x1b[0m");
}

TEST_F(ConsoleAppTest, HandledSignalIsAControlEventOnAThreadOfItsOwn) {
  auto app = TConsoleApp::Create<TTestConsoleApp>([](TTestConsoleApp&) { return 0u; });
  std::promise<std::pair<std::uint32_t, std::thread::id>> event;
  app->SetOnConsoleCtrl([&](TConsoleApp&, std::uint32_t ctrlType, bool& handled) {
    handled = true;
    event.set_value({ctrlType, std::this_thread::get_id()});
  });
  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
  auto delivered = event.get_future();
  ASSERT_EQ(delivered.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [ctrlType, thread] = delivered.get();
  EXPECT_EQ(ctrlType, 6u);
  EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(ConsoleAppTest, UnhandledSignalEndsTheProcessAsItWouldHave) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto app = TConsoleApp::Create<TTestConsoleApp>([](TTestConsoleApp&) { return 0u; });
        app->SetOnConsoleCtrl([](TConsoleApp&, std::uint32_t, bool&) {});
        kill(getpid(), SIGINT);
        for (;;) pause();
      },
      ::testing::KilledBySignal(SIGINT), "");
}
