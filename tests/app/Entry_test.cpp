#include "app/Entry.h"

#include <vector>

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

namespace {

class RunMainTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetIsConsole(true);
    InitializeConsoleApp();
  }
  void TearDown() override { FinalizeConsoleApp(); }

  std::vector<String> fReports;
  TLastResortProc fRecordReport = [this](const String& message) { fReports.push_back(message); };
};

}  // namespace

TEST_F(RunMainTest, ResultOfAnOrdinaryRunPassesThroughUnreported) {
  TStdOutRedirection redirection(TStdOutTarget::File);
  EXPECT_EQ(RunMain(TestAppClass([](TTestConsoleApp&) { return 3u; }), fRecordReport), 3u);
  EXPECT_EQ(RunMain(TestAppClass([](TTestConsoleApp&) -> std::uint32_t { throw EAbort(); }), fRecordReport), 254u);
  redirection.Text();
  EXPECT_TRUE(fReports.empty());
}

TEST_F(RunMainTest, FailureEscapingRunIsReportedOnceAnd255) {
  std::uint32_t exitCode = 0;
  {
    // The banner cannot be written, and neither can the error line about it.
    TStdOutRedirection redirection(TStdOutTarget::BrokenPipe);
    exitCode = RunMain(TestAppClass([](TTestConsoleApp&) { return 0u; }), fRecordReport);
  }
  EXPECT_EQ(exitCode, 255u);
  ASSERT_EQ(fReports.size(), 1u);
  EXPECT_TRUE(fReports[0].starts_with(u"Exception EInOutError: I/O error ")) << StringToUtf8Bytes(fReports[0]);
}
