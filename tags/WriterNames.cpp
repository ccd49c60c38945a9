#include "WriterNames.h"

#include <charconv>
#include <iterator>

namespace tags::fileops {
namespace {

constexpr std::string_view kPrefix = ".sortimentor-";
constexpr std::string_view kEndings[] = {".tmp", ".new", ".undo", ".keep"};  // in the order of WriterFile

// A decimal number at the front of `s`, taken off it.
std::optional<std::uint64_t> TakeNumber(std::string_view &s) {
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end == s.data())
        return std::nullopt;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return n;
}

} // namespace

std::string WriterFileName(WriterFile kind, std::uint64_t a, std::uint64_t b) {
    return std::string(kPrefix) + std::to_string(a) + "-" + std::to_string(b) +
           std::string(kEndings[static_cast<int>(kind)]);
}

std::optional<WriterFileId> ParseWriterFileName(std::string_view name) {
    if (!name.starts_with(kPrefix))
        return std::nullopt;
    name.remove_prefix(kPrefix.size());
    const std::optional<std::uint64_t> a = TakeNumber(name);
    if (!a || !name.starts_with('-'))
        return std::nullopt;
    name.remove_prefix(1);
    const std::optional<std::uint64_t> b = TakeNumber(name);
    if (!b)
        return std::nullopt;
    for (size_t k = 0; k < std::size(kEndings); ++k)
        if (name == kEndings[k])
            return WriterFileId{static_cast<WriterFile>(k), *a, *b};
    return std::nullopt;
}

} // namespace tags::fileops
