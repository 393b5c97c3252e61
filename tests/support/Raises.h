#pragma once
// What a unit raised, as "<class>: <message>"; empty when nothing was raised.

#include "rtl/Exceptions.h"

template <typename F>
String Raised(F action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.ClassName() + u": " + error.Message();
  }
  return {};
}
