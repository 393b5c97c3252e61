#pragma once
// Checks on the errors that units raise.

#include <gtest/gtest.h>

#include "rtl/String.h"

// Runs Action, which must raise E; returns the error's message (empty, with a test
// failure, when nothing or something else was raised).
template <typename E, typename F>
String MessageOfRaised(F action) {
  try {
    action();
  } catch (const E& error) {
    return error.Message();
  }
  ADD_FAILURE() << "the expected error was not raised";
  return {};
}
