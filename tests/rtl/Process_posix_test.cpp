#include "rtl/Process.h"

#include <gtest/gtest.h>

TEST(ProcessParameters, AreMainArgumentsWithoutProgramNameAndEmptyOnes) {
  const char* const argv[] = {"/bin/prog", "-r", "", "caf\xC3\xA9", "\xE9", "a b"};
  SetProcessArguments(6, argv);
  EXPECT_EQ(ProcessParameters(), (TStringList{u"-r", u"caf\u00E9", u"\xDCE9", u"a b"}));
  SetProcessArguments(0, nullptr);
  EXPECT_EQ(ProcessParameters(), TStringList());
}
