#include "TagError.h"

#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tags {

TagError::TagError(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description), number_(number), source_(std::move(source)),
      description_(std::move(description)) {}

std::string ExecutableBaseName() {
    static const std::string name = [] {
        std::filesystem::path exe;
#ifdef _WIN32
        wchar_t buf[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
        if (n > 0) exe = std::filesystem::path(std::wstring(buf, n));
#else
        std::error_code ec;
        exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
        std::string stem = exe.stem().string();
        return stem.empty() ? std::string("sortimentor") : stem;
    }();
    return name;
}

std::string ErrorSource(const char *className) {
    return ExecutableBaseName() + "." + className;
}

TagError SystemError(const std::string &source, int err) {
    return TagError(err, source, std::strerror(err));
}

} // namespace tags
