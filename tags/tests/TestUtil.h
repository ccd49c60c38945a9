#pragma once
#include "FileOps.h"
#include "Id3Bytes.h"
#include "StreamBytes.h"
#include "TagError.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testutil {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return tags::fileops::Utf8FromPath(path_ / tags::fileops::PathFromUtf8(name)); }

private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::string &path);
// The names in a folder, as UTF-8.
std::set<std::string> Names(const std::filesystem::path &dir);
void WriteAll(const std::string &path, const std::string &bytes);
// n bytes of pseudo audio that hold neither "ID3" nor "TAG" nor FF FB.
inline std::string Filler(size_t n, unsigned seed = 1) { return streambytes::Fill(n, seed); }
// Reads the file, sets the title and writes the tag.
template <class Tag> void WriteTitle(const std::string &path, const std::string &title) {
    Tag t;
    t.MP3File(path);
    t.Title(title);
    t.Update();
}
// Test names from the rows' names.
inline constexpr auto RowName = [](const auto &info) { return std::string(info.param.name); };
// Installs a fault hook for the life of the guard.
struct FaultHookGuard {
    explicit FaultHookGuard(tags::fileops::FaultHook h) { tags::fileops::SetFaultHook(std::move(h)); }
    ~FaultHookGuard() { tags::fileops::SetFaultHook(nullptr); }
    FaultHookGuard(const FaultHookGuard &) = delete;
    FaultHookGuard &operator=(const FaultHookGuard &) = delete;
};

// What a reader of the tag sees, by getter name; "Ids" lists the frames as "ID:count,...".
using FieldMap = std::map<std::string, std::string>;
FieldMap Fields(const tags::Mp3TagID3v2 &t);
FieldMap Fields(const tags::Mp3TagID3v1 &t);
// Expected values of some fields; the others are not looked at.
using Want = std::vector<std::pair<std::string, std::string>>;
void ExpectFields(const FieldMap &got, const Want &want);

// Equal bytes; otherwise where they first differ, without printing them.
::testing::AssertionResult SameBytes(const std::string &got, const std::string &want);

// fn must throw a TagError with this number and source, and a description (this one
// when given).
void ExpectTagError(const std::function<void()> &fn, int number, const std::string &source,
                    const std::string &description = {});

// True when both names lead to one file (hard links), by the file layer's identity.
bool SameFile(const std::string &a, const std::string &b);

// Runs fn in a child process that gave up root (as "nobody") where the tests run as
// root, else in this process; returns fn's result, or 99 when the child failed.
int AsOrdinaryUser(const std::function<int()> &fn);

} // namespace testutil
