#pragma once
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tags {

// The one error type of the tag classes: a number, a source and a description.
class TagError : public std::runtime_error {
public:
    TagError(std::int32_t number, std::string source, std::string description);

    std::int32_t number() const noexcept { return number_; }
    const std::string &source() const noexcept { return source_; }
    const std::string &description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// "ID3v1: is not a valid MP3 file" and the store's "invalid argument".
constexpr std::int32_t kErrNotValidMp3 = static_cast<std::int32_t>(0x80041001u);
constexpr std::int32_t kErrInvalidArgument = 5;

// The running executable's full path; empty when the system does not tell.
std::filesystem::path ExecutablePath();
// Base name of the running executable without extension ("sortimentor").
std::string ExecutableBaseName();

// Source text of a class: executable base name + "." + className.
std::string ErrorSource(const char *className);

// The system's message for an error number (errno on POSIX, a Windows error code on
// Windows), in UTF-8.
std::string SystemErrorText(int err);

// The error for the last failed file operation (errno on POSIX, GetLastError on
// Windows), passed through with the system's message.
TagError SystemError(const std::string &source, int err);

} // namespace tags
