#pragma once
#include "FileOps.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a killed writer leaves beside a file, and how the next open deals with it.
//
// An in-place write changes bytes in up to two places (ID3v2 at the start, ID3v1 at the
// end). Before the first of them it writes an undo record into the file's folder,
// `.sortimentor-PID-N.undo`, holding the old and the new bytes of every changed range;
// after the last one it removes the record. A record whose writer is gone means the
// write was cut short: the next open of the file (or any open in its folder) puts the
// old bytes back, so both tags are the old ones. The record is not flushed to the disk:
// it guards against a killed process, whose writes the page cache keeps; against a power
// loss it would have to be flushed before every write, and so would the writes it guards.
namespace tags::fileops {

// One changed range: `old` becomes `now` at `at`, same length; an empty `old` appends
// `now` at the file's end.
struct Change {
    std::int64_t at = 0;
    std::string_view old, now;
};

class UndoRecord {
public:
    // Writes the record for changing f, the file `name` in `folder`, from length `size` to
    // `newSize`. False when the folder takes no record (read-only, full): the write then
    // goes ahead without one, as it did before such records existed.
    bool Write(File &f, const std::string &folder, const std::string &name, std::int64_t size,
               std::int64_t newSize, const std::vector<Change> &changes, const std::string &source);
    // The writes are done or undone: the record goes.
    void Remove() noexcept;
    // The writes could not be undone: the record stays, and the next open of the file in
    // this process rolls it back too.
    void Keep(const File::Identity &id) noexcept;

private:
    std::string path_;
    bool reused_ = false;
};

// While one lives, the undo records of in-place writes in one folder go into a single
// file, written over for each write and marked void after it, which costs two small
// writes instead of creating and removing a file each time; the file goes at the end.
// For runs over many files on one thread.
class UndoRecordReuse {
public:
    UndoRecordReuse();
    ~UndoRecordReuse();
    UndoRecordReuse(const UndoRecordReuse &) = delete;
    UndoRecordReuse &operator=(const UndoRecordReuse &) = delete;
};

// What a record names: the file's identity and its name in the record's folder. False
// for a void record, or one cut short before its writer changed anything; throws when
// the record cannot be read.
struct UndoTarget {
    std::uint64_t device = 0, inode = 0;
    std::string name;
};
bool ReadUndoTarget(const std::string &record, UndoTarget &target);
bool IsUndoRecord(const std::string &record);
// Puts the record's old bytes back into f (open for writing) and removes the record. A
// file that holds neither the old nor the new bytes there was changed by someone else
// since: it is left alone, and the record goes. Throws on failure; the record then stays.
void RollBack(File &f, const std::string &record, const std::string &source);
// This process's id, as records name it.
unsigned long OwnPid();

} // namespace tags::fileops
