// A write that fails at any step leaves the file byte for byte as it was and nothing
// beside it; only a failure after the commit point of a copy over a hard-linked file
// leaves the new content, which the next access then finishes.
#include "FieldWrite.h"
#include "TestUtil.h"


using namespace tags;
using namespace id3bytes;
using fileops::Op;
using namespace testutil;
namespace fs = std::filesystem;

namespace {

enum class Kind { V1, V2, Both };
// InPlace: the new ID3v2 tag fits and an ID3v1 record exists; Append: the same without
// the record; Growth: the tag grows; Linked: it grows in a file with a second name.
enum class Route { InPlace, Append, Growth, Linked };
enum class Where { Temp, File };
// OldOnNextRead: the failure sticks, as in a killed writer, so that not even the undo
// gets through; the next open puts the old bytes back.
enum class After { Old, NewOnNextRead, OldOnNextRead };

struct Row {
    const char *name;
    Kind kind;
    Route route;
    Op op;
    Where where;
    int nth; // the nth such call fails
    int err;
    After after = After::Old;
};

std::string Original(Route route) {
    std::string s = Tag(3, Frame("TIT2", Text("alt")) + Frame("TPE1", Text("Band")), 500) + Filler(200000, 7);
    if (route != Route::Append) s += V1("alt", "Band", "Album", "1999", "Kommentar", 3, 17);
    return s;
}

void Write(Kind kind, Route route, const std::string &path) {
    const std::string title = route == Route::InPlace || route == Route::Append ? "neu" : std::string(3000, 'n');
    if (kind == Kind::V1) {
        testutil::WriteTitle<Mp3TagID3v1>(path, title);
    } else if (kind == Kind::V2) {
        testutil::WriteTitle<Mp3TagID3v2>(path, title);
    } else {
        FieldValues v;
        v.title = title;
        v.artist = "Neue Band";
        Mp3TagID3v1 v1;
        Mp3TagID3v2 v2;
        WriteFields(path, v, v1, v2);
    }
}

class WriteFaults : public ::testing::TestWithParam<Row> {};

TEST_P(WriteFaults, FileIsOldOrWholeNewAndNothingIsLeftBeside) {
    const Row &r = GetParam();
    TempDir dir;
    const std::string path = dir.file("a.mp3"), other = dir.file("b.mp3");
    const std::string original = Original(r.route);
    WriteAll(path, original);
    Write(r.kind, r.route, path);
    const std::string fresh = ReadAll(path);
    ASSERT_NE(fresh, original);

    WriteAll(path, original);
    if (r.route == Route::Linked) fs::create_hard_link(path, other);
    {
        int calls = 0;
        FaultHookGuard hook([&](Op op, const std::string &p) {
            const bool temp = p.find(".sortimentor-") != std::string::npos;
            const bool hit = op == r.op && temp == (r.where == Where::Temp) && ++calls >= r.nth;
            return hit && (calls == r.nth || r.after == After::OldOnNextRead) ? r.err : 0;
        });
        ExpectTagError([&] { Write(r.kind, r.route, path); }, r.err,
                       r.kind == Kind::V1 ? Mp3TagID3v1::Source() : Mp3TagID3v2::Source());
    }
    if (r.after != After::Old) Mp3TagID3v2().MP3File(r.route == Route::Linked ? other : path);
    const bool old = r.after != After::NewOnNextRead;
    EXPECT_TRUE(ReadAll(path) == (old ? original : fresh)) << (old ? "not the old content" : "not the new content");
    EXPECT_TRUE(r.route != Route::Linked || SameFile(path, other)) << "the names were split";
    EXPECT_EQ(Names(dir.path()), (r.route == Route::Linked ? std::set<std::string>{"a.mp3", "b.mp3"} : std::set<std::string>{"a.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WriteFaults,
    ::testing::Values(
        Row{"v1_append_disk_full", Kind::V1, Route::Append, Op::Write, Where::File, 1, ENOSPC},
        Row{"v1_open_for_writing", Kind::V1, Route::InPlace, Op::Open, Where::File, 2, EACCES},
        Row{"v1_read_before_writing", Kind::V1, Route::InPlace, Op::Read, Where::File, 2, EIO},
        Row{"both_in_place_v1_fails_after_v2", Kind::Both, Route::InPlace, Op::Write, Where::File, 2, EIO},
        Row{"both_in_place_cut_after_v2", Kind::Both, Route::InPlace, Op::Write, Where::File, 2, EIO,
            After::OldOnNextRead},
        Row{"both_in_place_v2_fails", Kind::Both, Route::InPlace, Op::Write, Where::File, 1, EIO},
        Row{"both_append_disk_full", Kind::Both, Route::Append, Op::Write, Where::File, 2, ENOSPC},
        Row{"v2_growth_create", Kind::V2, Route::Growth, Op::Create, Where::Temp, 1, EACCES},
        Row{"v2_growth_copy_write", Kind::V2, Route::Growth, Op::Write, Where::Temp, 3, ENOSPC},
        Row{"v2_growth_copy_read", Kind::V2, Route::Growth, Op::Read, Where::File, 6, EIO},
        Row{"v2_growth_flush", Kind::V2, Route::Growth, Op::Flush, Where::Temp, 1, EIO},
        Row{"v2_growth_rename", Kind::V2, Route::Growth, Op::Rename, Where::File, 1, EBUSY},
        Row{"both_linked_copy_write", Kind::Both, Route::Linked, Op::Write, Where::Temp, 2, ENOSPC},
        Row{"both_linked_flush", Kind::Both, Route::Linked, Op::Flush, Where::Temp, 1, EIO},
        Row{"both_linked_commit_rename", Kind::Both, Route::Linked, Op::Rename, Where::Temp, 1, ENOSPC},
        Row{"both_linked_copy_back_write", Kind::Both, Route::Linked, Op::Write, Where::File, 1, EIO,
            After::NewOnNextRead},
        Row{"both_linked_copy_back_truncate", Kind::Both, Route::Linked, Op::Truncate, Where::File, 1, EIO,
            After::NewOnNextRead},
        Row{"both_linked_copy_back_flush", Kind::Both, Route::Linked, Op::Flush, Where::File, 1, EIO,
            After::NewOnNextRead}), testutil::RowName);

} // namespace
