#include "app/Entry.h"

#include <vector>

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

namespace {

class RunMainTest : public ConsoleAppTest {
protected:
  std::vector<String> fReports;
  TLastResortProc fRecordReport = [this](const String& message) { fReports.push_back(message); };
};

}  // namespace

TEST_F(RunMainTest, FailureEscapingRunIsReportedOnceAnd255) {
  const struct {
    TStdOutTarget target;
    String report;
  } cases[] = {{TStdOutTarget::BrokenPipe, u"Exception EInOutError: I/O error "},
               {TStdOutTarget::DiskFull, u"Exception EInOutError: Disk full"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.report));
    fReports.clear();
    std::uint32_t exitCode = 0;
    {
      // The banner cannot be written, and neither can the error line about it.
      TStdOutRedirection redirection(c.target);
      if (!redirection.Supported()) continue;
      exitCode = RunMain(TestAppClass([](TTestConsoleApp&) { return 0u; }), fRecordReport);
    }
    EXPECT_EQ(exitCode, 255u);
    ASSERT_EQ(fReports.size(), 1u);
    EXPECT_TRUE(fReports[0].starts_with(c.report)) << StringToUtf8Bytes(fReports[0]);
  }
}
