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

void PrintLine(FILE *to, const QString &text) {
    std::fflush(to);
#ifdef Q_OS_WIN
    const HANDLE h = GetStdHandle(to == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if ((to == stdout || to == stderr) && GetConsoleMode(h, &mode)) {
        const QString line = text + QLatin1Char('\n');
        WriteConsoleW(h, line.utf16(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
#endif
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

void ShowStartError(const QString &text) {
#ifdef Q_OS_WIN
    MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text.utf16()), L"Sortimentor", MB_OK | MB_ICONERROR);
#else
    PrintLine(stderr, text);
#endif
}

} // namespace platform
