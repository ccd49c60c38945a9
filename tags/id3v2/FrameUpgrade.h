#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Turns frames of 2.2 and 2.4 tags into their 2.3 form on reading, so that the store
// only ever holds what Update can write.
namespace tags::id3v2 {

// 2.3 identifier of a 2.2 frame; "" when the frame has no 2.3 form (CRM, LNK, unknown).
std::string MapFrameIdV22(std::string_view id3);

// A 2.2 frame without a 2.3 name in a 2.3 frame that readers still find: text and links
// as the user-defined frame of their kind (TXXX, WXXX) described by the identifier, any
// other as private data (PRIV) owned by it. nullopt for text in no 2.2 encoding.
std::optional<std::pair<std::string, std::string>> ConvertUnknownV22(std::string_view id3, std::string_view body);

// 2.2 PIC body (image format "JPG"/"PNG"...) -> 2.3 APIC body (MIME type).
std::optional<std::string> ConvertPicV22(std::string_view body);

// A 2.4 frame as 2.3 identifier and body; nullopt when it has no other 2.3 form than
// its own bytes (binary frames, frames only 2.4 defines, strings 2.3 cannot encode),
// so it is kept as it is. TDRC and TDOR are not handled here (see DateFramesV24).
std::optional<std::pair<std::string, std::string>> DowngradeV24(std::string_view id, std::string_view body);

// Whether DowngradeV24 leaves a (non-date) 2.4 frame whose body starts with `first` as
// it is, so its body can be kept without being looked at.
bool SameBodyIn23(std::string_view id, unsigned char first);

// For a 2.4 APIC or GEOB whose strings 2.3 must re-encode: the 2.3 form of the front
// of its body (encoding, MIME type, picture type or file name, description) and how
// many bytes of the 2.4 body it stands for. The rest, the picture or object, is the
// same in both. nullopt when `front` does not hold all of those strings.
std::optional<std::pair<std::string, size_t>> DowngradeFrontV24(std::string_view id, std::string_view front);

// 2.3 text frames for a 2.4 timestamp "yyyy-MM-dd...": TYER and TDAT (or TORY for the
// original release time, TDOR). Each as (identifier, text).
std::vector<std::pair<std::string, std::string>> DateFramesV24(std::string_view id, std::string_view timestamp);

} // namespace tags::id3v2
