#pragma once
// The terminal's way into a program that is a window program on Windows.

namespace platform {

// On Windows, where standard output leads nowhere (a window program started from a
// console), writes go to the console it was started from; elsewhere nothing to do.
void UseParentConsole();

} // namespace platform
