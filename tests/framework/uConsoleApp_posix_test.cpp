#include "framework/uConsoleApp.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

// SGR sequences, back to the terminal's own default; a black background leaves the terminal's.
TEST_F(ConsoleAppTest, TerminalGetsColoursThatAreUndoneAfterEveryColouredWrite) {
  TStdOutRedirection terminal(TStdOutTarget::Terminal);
  EXPECT_EQ(::Run(TestAppClass([](TTestConsoleApp& app) {
              app.WriteColored(14, u"yellow");
              app.Write(u" plain \u00e9 ");
              app.WriteError(u"red");
              app.SetColors(7, 1);
              app.WriteColored(12, u"on blue");
              app.SetColors(7, 0);
              return 0u;
            })), 0u);
  EXPECT_EQ(terminal.Text(), "\x1b[0;97mTest v1.5 (Unicode)" + std::string(22, ' ') +
                                 "\x1b[0;96mhttps://example.org/tidemark\x1b[0;97m\n" + std::string(79, '-') +
                                 "\n\x1b[0m\x1b[0;93myellow\x1b[0m plain \xC3\xA9 \x1b[0;91mred\x1b[0m\n"
                                 "\x1b[0;37;44m\x1b[0;91;44mon blue\x1b[0;37;44m\x1b[0m");
}

// Signals are control events on a thread of their own (but those ignored when the process started);
// one nobody handles ends the process.
TEST_F(ConsoleAppTest, SignalsAreControlEvents) {
  auto app = TConsoleApp::Create<TTestConsoleApp>([](TTestConsoleApp&) { return 0u; });
  std::atomic<std::promise<std::uint32_t>*> event = nullptr;
  app->SetOnConsoleCtrl([&, test = std::this_thread::get_id()](TConsoleApp&, std::uint32_t type, bool& handled) {
    handled = true;
    event.load()->set_value(std::this_thread::get_id() == test ? 99 : type);
  });
  for (const auto& [signal, type] : {std::pair{SIGINT, 0u}, {SIGQUIT, 1u}, {SIGHUP, 2u}, {SIGTERM, 6u}}) {
    if (struct sigaction now {}; sigaction(signal, nullptr, &now) != 0 || now.sa_handler == SIG_IGN) continue;
    std::promise<std::uint32_t> delivered;
    event = &delivered;
    auto future = delivered.get_future();
    ASSERT_EQ(kill(getpid(), signal), 0);
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready) << signal;
    EXPECT_EQ(future.get(), type);
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  app->SetOnConsoleCtrl([](TConsoleApp&, std::uint32_t, bool&) {});
  // Hang-up, as a background job ignores interrupts.
  EXPECT_EXIT({ kill(getpid(), SIGHUP); for (;;) pause(); }, ::testing::KilledBySignal(SIGHUP), "");
  FinalizeConsoleApp();  // after which no application hears of an event, and the signals act as before
  struct sigaction now {};
  EXPECT_TRUE(sigaction(SIGTERM, nullptr, &now) == 0 && now.sa_handler == SIG_DFL && !ConsoleCtrlHandler(6));
  InitializeConsoleApp();
}
