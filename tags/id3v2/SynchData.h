#pragma once
#include <cstdint>
#include <string>
#include <optional>
#include <string_view>

// Integer layouts of ID3v2 headers, the unsynchronisation scheme and frame compression.
namespace tags::id3v2 {

// Four 7-bit groups, most significant first. Returns false when a byte has bit 7 set.
bool DecodeSynchsafe(const unsigned char *b, std::uint32_t &value);
// value must be below 2^28.
void EncodeSynchsafe(std::uint32_t value, char *out);

std::uint32_t DecodeBE32(const unsigned char *b);
void EncodeBE32(std::uint32_t value, char *out);
std::uint32_t DecodeBE24(const unsigned char *b);

// What a 2.4 frame carries after its header before its data, in this order: group
// identifier, encryption method, data length.
struct ExtrasV24 {
    std::string group, method;
    std::uint32_t dataLen = 0;
};
// The extras the frame's flags announce, taken off the front of `d`; nothing when they
// do not fit.
std::optional<ExtrasV24> TakeExtrasV24(std::uint16_t flags, std::string_view &d);

// Undoes unsynchronisation: every FF 00 becomes FF.
std::string Resynchronise(std::string_view data);

// The zlib stream of a compressed frame, inflated; nullopt when it is broken or would
// grow past kMaxInflated. expected, when not 0, is the size the frame declares.
constexpr size_t kMaxInflated = 16 * 1024 * 1024;
std::optional<std::string> Inflate(std::string_view data, size_t expected = 0);

} // namespace tags::id3v2
