#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Writing changes into a user's only copy of a file: all of them or none.
namespace tags::fileops {

class File;

// One change: the oldLen bytes at position `at` become `bytes`. A planner that has just
// read the old bytes passes them on (kept alive by `keep`), so an in-place write need
// not read them again for its undo.
struct Splice {
    std::int64_t at = 0;
    std::int64_t oldLen = 0;
    std::string bytes;
    std::string_view old = {};
    std::shared_ptr<const void> keep = {};
};

// Applies the splices (in file order, not overlapping) to the file at path, open for
// reading and writing as f; failures are raised with `source`.
//
// When every splice keeps its length or appends at the end, the bytes are written in
// place, and a failure writes the old bytes back and cuts off what was appended.
// Otherwise the new content goes to a temporary file in the file's folder, its length
// is checked, it is flushed, and then either
//  - renamed over the file with its permission bits, owner and group, when the file has
//    one name and the writer may give the temporary file that owner and group; or
//  - renamed to the file's copy record (the commit point) and copied over the file
//    itself, so that every hard link sees the new content and the file stays the user's.
//    A copy that did not finish (an error, a killed process) is finished by the next
//    File::Open of that file.
// Any failure before the commit point leaves the file as it was and no temporary file.
void ApplySplices(File &f, const std::string &path, const std::vector<Splice> &splices, const std::string &source);

} // namespace tags::fileops
