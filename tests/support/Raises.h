#pragma once
#include "rtl/Exceptions.h"

// What the action raised, as "<class>: <message>"; empty when nothing was.
template <typename F>
String Raised(F action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.ClassName() + u": " + error.Message();
  }
  return {};
}
