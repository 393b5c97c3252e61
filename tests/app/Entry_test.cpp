#include "app/Entry.h"

#include <vector>

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

using RunMainTest = ConsoleAppTest;

TEST_F(RunMainTest, FailureEscapingRunIsReportedOnceAnd255) {
  const struct {
    TStdOutTarget target;
    String report;
  } cases[] = {{TStdOutTarget::BrokenPipe, u"Exception EInOutError: I/O error "},
               {TStdOutTarget::DiskFull, u"Exception EInOutError: Disk full"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.report));
    std::vector<String> reports;
    std::uint32_t exitCode = 0;
    {
      // The banner cannot be written, and neither can the error line about it.
      TStdOutRedirection redirection(c.target);
      if (!redirection.Supported()) continue;
      exitCode = RunMain(TestAppClass([](TTestConsoleApp&) { return 0u; }),
                         [&](const String& message) { reports.push_back(message); });
    }
    EXPECT_EQ(exitCode, 255u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].starts_with(c.report)) << StringToUtf8Bytes(reports[0]);
  }
}
