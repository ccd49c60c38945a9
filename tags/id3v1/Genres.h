#pragma once
#include <cstdint>
#include <string>

namespace tags {

// Name of an ID3v1 genre number; "" for numbers the table lacks (123, 148..255).
std::string GenreTableName(std::uint8_t genre);

} // namespace tags
