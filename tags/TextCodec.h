#pragma once
#include <string>
#include <string_view>

// Text inside the engine is UTF-8. These convert at the ID3 byte layer.
namespace tags::codec {

// Windows-1252 bytes -> UTF-8. Undefined bytes (0x81, 0x8D, ...) map to U+0081 etc.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 -> Windows-1252; characters it cannot hold become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// True when every character of the UTF-8 text has a Windows-1252 byte.
bool FitsCp1252(std::string_view utf8);

// The 8-bit code page of ID3v1 records and of single-byte ID3v2 text: the user's ANSI
// code page on Windows (GetACP: 1252 on a Western system, 932 on a Japanese one),
// Windows-1252 elsewhere.
bool AnsiIsCp1252();
std::string AnsiToUtf8(std::string_view bytes);
// Characters the code page cannot hold become '?'; at most `width` bytes where given,
// never half a double-byte character.
std::string Utf8ToAnsi(std::string_view utf8, size_t width = std::string::npos);
// True when ID3v2 may carry the text as single-byte text, which every reader takes the
// same: what Windows-1252 holds on a Western system; under another code page (932) only
// ASCII, since other programs read these bytes as Latin-1.
bool FitsSingleByte(std::string_view utf8);

// UTF-16 (with BOM when bigEndianDefault is false and a BOM is present) -> UTF-8.
// Without a BOM the given byte order is used. Invalid sequences become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndianDefault);

// UTF-8 -> UTF-16 little endian with BOM (FF FE), no terminator.
std::string Utf8ToUtf16Bom(std::string_view utf8);

// True when the bytes hold at least one multi-byte UTF-8 sequence and nothing that
// is not UTF-8, but for a sequence cut off at the very end (a fixed-width field).
// Such bytes were written as UTF-8 by their tool, not as a single-byte code page.
bool LooksLikeUtf8(std::string_view bytes);

// Repairs invalid UTF-8 (each bad byte becomes U+FFFD).
std::string SanitizeUtf8(std::string_view bytes);

} // namespace tags::codec
