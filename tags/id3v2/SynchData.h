#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Integer layouts of ID3v2 headers and the unsynchronisation scheme.
namespace tags::id3v2 {

// Four 7-bit groups, most significant first. Returns false when a byte has bit 7 set.
bool DecodeSynchsafe(const unsigned char *b, std::uint32_t &value);
// value must be below 2^28.
void EncodeSynchsafe(std::uint32_t value, char *out);

std::uint32_t DecodeBE32(const unsigned char *b);
void EncodeBE32(std::uint32_t value, char *out);
std::uint32_t DecodeBE24(const unsigned char *b);

// Undoes unsynchronisation: every FF 00 becomes FF.
std::string Resynchronise(std::string_view data);

} // namespace tags::id3v2
