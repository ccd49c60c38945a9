#pragma once
// The names of the files a writer keeps beside the user's file while it works, built
// and read here alone: hidden, short whatever the file's own name, and telling whose
// they are, so that whoever finds one after a crash knows what to do with it.
//   .sortimentor-PID-N.tmp       a new content being written (FileEdit.h)
//   .sortimentor-DEV-INODE.new   a copy over a hard-linked file, waiting to be finished
//   .sortimentor-PID-N.undo      the undo record of an in-place write (UndoRecord.h)
//   .sortimentor-PID-N.keep      a second name that holds a file while the Windows
//                                shell moves it to the Recycle Bin
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tags::fileops {

enum class WriterFile { Temp, Copy, Undo, Guard };

std::string WriterFileName(WriterFile kind, std::uint64_t a, std::uint64_t b);

struct WriterFileId {
    WriterFile kind;
    std::uint64_t a = 0, b = 0;  // PID and counter, or device and inode for a copy
};
// Nothing for any other name.
std::optional<WriterFileId> ParseWriterFileName(std::string_view name);

} // namespace tags::fileops
