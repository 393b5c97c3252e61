#include "app/Entry.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/StdOutRedirection.h"
#include "support/TestConsoleApp.h"

using RunMainTest = ConsoleAppTest;

// Neither the banner nor its error line can be written: the last resort gets the failure once.
TEST_F(RunMainTest, FailureEscapingRunIsReportedOnceAnd255) {
  const std::pair<TStdOutTarget, std::string> rows[] = {{TStdOutTarget::Closed, "Exception EInOutError: I/O error "},
                                                        {TStdOutTarget::DiskFull, "Exception EInOutError: Disk full|"}};
  for (const auto& row : rows) {
    const TStdOutTarget target = row.first;  // a copy: clang 14 captures no structured binding
    const std::string& report = row.second;
    std::string reports;
    std::uint32_t exitCode = 0;
    {
      TStdOutRedirection redirection(target);
      if (!redirection.Supported()) continue;  // no full device on Windows
      const auto name = [target]() -> String {
        return target == TStdOutTarget::Closed ? throw EStringError() : u"Test";
      };
      exitCode = RunMain(TestAppClass([](TTestConsoleApp&) { return 0u; }, name),
                         [&](const String& message) { reports += StringToUtf8Bytes(message) + "|"; });
    }
    EXPECT_EQ(exitCode, 255u);
    EXPECT_EQ(reports.substr(0, report.size()), report);
    EXPECT_EQ(reports.find('|'), reports.size() - 1);
  }
}
