#pragma once
// What the Windows halves of the units share of the file services; included by *_win32.cpp
// files only.

#include "rtl/String.h"

// Path in the \\?\ form, in which the W calls take a path of any length and reach each entry
// by its exact name: a trailing dot or blank stays, "NUL" or "CON" names no device. A full
// path without "/", "." or ".." components or empty ones is taken as it is; any other is
// first made full as GetFullPathNameW makes it, which resolves those. Network paths take
// the \\?\UNC\ form. A path already in the \\?\ or \\.\ form, one that cannot be made full
// and one that the system makes a device path come back as they are.
String ExtendedPath(const String& path);
