#pragma once
// Facts about the running process: its parameters and its executable.

#include <string_view>

#include "rtl/String.h"
#include "rtl/StringList.h"

// Keeps main()'s arguments for ProcessParameters. Only POSIX needs them: there the
// arguments arrive already split. Windows reads the process's command-line text itself.
void SetProcessArguments(int argc, const char* const argv[]);

// The program's parameters in order, without the program name and never empty. POSIX:
// the arguments given to SetProcessArguments (none before it is called), decoded from
// UTF-8 with the lossless escape, empty ones skipped. Windows: the command-line text
// split by SplitCommandLine.
TStringList ProcessParameters();

// Splits a command-line text into parameters, the program name first. Before each
// parameter, characters 1 to 32 and pairs of double quotes are skipped; a parameter is the
// run of characters above 32 that follows, in which a double quote opens a stretch (without
// the quotes) that ends at the next double quote or at the end and may hold blanks. A
// backslash is an ordinary character. The list ends before the first parameter that comes
// out empty; a NUL ends the text.
TStringList SplitCommandLine(std::u16string_view commandLine);

// The full path of the running executable; empty when the platform cannot tell.
String ExecutablePath();
