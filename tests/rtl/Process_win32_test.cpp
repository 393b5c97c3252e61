#include "rtl/Process.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

TEST(ProcessParameters, AreTheCommandLineWithoutProgramName) {
  // main()'s arguments play no part here; the shell's split agrees with ours for the plain
  // arguments a test run gets.
  const char* const argv[] = {"prog", "ignored"};
  SetProcessArguments(2, argv);
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(arguments, nullptr);
  TStringList expected;
  for (int i = 1; i < count; ++i) expected.emplace_back(arguments[i], arguments[i] + wcslen(arguments[i]));
  LocalFree(arguments);
  EXPECT_EQ(ProcessParameters(), expected);
}
