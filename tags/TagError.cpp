#include "TagError.h"

#include "FileOps.h"

#include <cstring>
#include <filesystem>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace tags {

TagError::TagError(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description), number_(number), source_(std::move(source)),
      description_(std::move(description)) {}

std::filesystem::path ExecutablePath() {
    std::filesystem::path exe;
#ifdef _WIN32
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH) exe = std::filesystem::path(std::wstring(buf, n));
#else
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
    return exe;
}

std::string ExecutableBaseName() {
    static const std::string name = [] {
        std::string stem = fileops::Utf8FromPath(ExecutablePath().stem());
        return stem.empty() ? std::string("sortimentor") : stem;
    }();
    return name;
}

std::string ErrorSource(const char *className) {
    return ExecutableBaseName() + "." + className;
}

std::string SystemErrorText(int err) {
#ifdef _WIN32
    wchar_t *buf = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(err), 0, reinterpret_cast<wchar_t *>(&buf), 0, nullptr);
    std::wstring w(buf ? buf : L"", n);
    LocalFree(buf);
    while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ')) w.pop_back();
    if (w.empty()) return "Windows error " + std::to_string(err);
    const int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), text.data(), len, nullptr, nullptr);
    return text;
#else
    return std::strerror(err);
#endif
}

TagError SystemError(const std::string &source, int err) {
    return TagError(err, source, SystemErrorText(err));
}

} // namespace tags
