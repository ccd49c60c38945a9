#pragma once
#include <string>
#include <string_view>
#include <vector>

// Frame bodies: text encodings and the layouts of the frames that carry named fields.
// Text outside this layer is UTF-8.
namespace tags::id3v2 {

enum Encoding : unsigned char { kLatin1 = 0, kUtf16 = 1, kUtf16BE = 2, kUtf8 = 3 };

// Bytes of one string up to its terminator (1 zero byte, 2 for UTF-16 at an even
// offset); pos moves past the terminator, or to the end when there is none.
std::string_view TakeString(std::string_view data, size_t &pos, int enc);
std::string Terminator(int enc);

// One string in an encoding -> UTF-8.
std::string DecodeText(int enc, std::string_view bytes);
// Every terminated string of data, decoded and run together (zero characters dropped).
std::string DecodeJoined(int enc, std::string_view data);
// The terminated strings of data, decoded; trailing empty ones dropped.
std::vector<std::string> DecodeValues(int enc, std::string_view data);
// UTF-8 -> encoding 0 (Windows-1252) or 1 (UTF-16 with BOM); no terminator.
std::string EncodeText(int enc, std::string_view utf8);

// The frames that fill a named field; no other body is ever decoded as text.
inline constexpr std::string_view kFieldFrames[] = {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "COMM", "TCON", "TENC", "PCNT",
                                                    "WXXX", "TOPE", "TCOM", "TCOP", "WOAF", "WOAR", "WCOM", "USLT"};
bool IsFieldFrame(std::string_view upperId);

// True for frames whose body is a bare link without an encoding byte (WOAF, WCOM...).
bool IsUrlFrame(std::string_view id);

// The named-field text of a 2.3 frame body: the text part of COMM/USLT, the link of
// WXXX, the counter of PCNT in decimal, the text of a text frame.
std::string FieldText(std::string_view id, std::string_view body);

// The body Update writes for a tag string set by AddTag or a setter. Texts that
// Windows-1252 holds get encoding 0, others UTF-16 with BOM (encoding 1). In a COMM or
// USLT string the first 3 characters are the language and a zero character ends the
// description; in WXXX and TXXX a zero character ends the description.
std::string RenderTagString(std::string_view id, std::string_view tagString);

// Upper-case copy of an identifier (ASCII letters only).
std::string UpperId(std::string_view id);

} // namespace tags::id3v2
