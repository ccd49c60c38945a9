#pragma once
// The terminal's way into a program that is a window program on Windows.
#include <QString>

#include <cstdio>

namespace platform {

// On Windows, where standard output leads nowhere (a window program started from a
// console), writes go to the console it was started from; elsewhere nothing to do.
void UseParentConsole();

// Writes a line to `to`: to a Windows console as UTF-16, which shows every letter
// whatever its code page; elsewhere (a pipe, a file, Linux) in the local 8-bit encoding.
void PrintLine(FILE *to, const QString &text);

// Says why the program cannot start, before any window exists: in a message box on
// Windows, where a program started from the Start menu has no console; elsewhere on
// the standard error.
void ShowStartError(const QString &text);

} // namespace platform
