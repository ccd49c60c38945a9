#include "Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
#endif

namespace platform {

void UseParentConsole() {
#ifdef Q_OS_WIN
    // A handle that leads somewhere (a pipe, a file) was chosen by the caller and stays.
    const auto unset = [](DWORD which) {
        const HANDLE h = GetStdHandle(which);
        return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
    };
    if (!(unset(STD_OUTPUT_HANDLE) || unset(STD_ERROR_HANDLE)) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (unset(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (unset(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
#endif
}

} // namespace platform
