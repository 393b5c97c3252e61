#pragma once
// A console application whose name and processing the test chooses; the fixture starts and
// shuts down the unit around each test, as the program entry does.

#include <functional>

#include <gtest/gtest.h>

#include "framework/uConsoleApp.h"

class TTestConsoleApp : public TConsoleApp {
public:
  using TAction = std::function<std::uint32_t(TTestConsoleApp& App)>;
  using TNameFunc = std::function<String()>;

  TTestConsoleApp(TCreationKey key, TAction action, TNameFunc name = [] { return String(u"Test"); })
      : TConsoleApp(key), fAction(std::move(action)), fName(std::move(name)) {}

  using TConsoleApp::AppendLog, TConsoleApp::SetColors, TConsoleApp::ShowSyntax, TConsoleApp::Write,
      TConsoleApp::WriteColored, TConsoleApp::WriteError, TConsoleApp::WriteLn;

protected:
  String GetAppName() override { return fName(); }
  String GetAppVersion() override { return u"1.5"; }
  std::uint32_t DoExecute() override { return fAction(*this); }

private:
  TAction fAction;
  TNameFunc fName;
};

inline TConsoleAppClass TestAppClass(TTestConsoleApp::TAction action,
                                     TTestConsoleApp::TNameFunc name = [] { return String(u"Test"); }) {
  return [action, name] { return TConsoleApp::Create<TTestConsoleApp>(action, name); };
}

class ConsoleAppTest : public ::testing::Test {
protected:
  void SetUp() override { SetIsConsole(true), InitializeConsoleApp(); }
  void TearDown() override { FinalizeConsoleApp(); }
};
