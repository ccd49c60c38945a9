#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testutil {

TempDir::TempDir() {
    static std::mt19937_64 rng{std::random_device{}()};
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("sortitest-" + std::to_string(rng()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadAll(const std::string &path) {
    std::ifstream in(tags::fileops::PathFromUtf8(path), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::set<std::string> Names(const std::filesystem::path &dir) {
    std::set<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir)) names.insert(tags::fileops::Utf8FromPath(e.path().filename()));
    return names;
}

void WriteAll(const std::string &path, const std::string &bytes) {
    std::ofstream out(tags::fileops::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FieldMap Fields(const tags::Mp3TagID3v2 &t) {
    std::string ids;
    for (int i = 1; i <= t.FrameCount(); ++i) ids += (i > 1 ? "," : "") + t.Frame(i) + ":" + std::to_string(t.TagsInFrame(i));
    return {{"Title", t.Title()},         {"Artist", t.Artist()},
            {"Album", t.Album()},         {"Year", t.Year()},
            {"Track", t.Track()},         {"Comment", t.Comment()},
            {"Genre", std::to_string(t.Genre())}, {"OtherGenreName", t.OtherGenreName()},
            {"Lyrics", t.Lyrics()},       {"LinkTo", t.LinkTo()},
            {"EncodedBy", t.EncodedBy()}, {"PlayCounter", t.PlayCounter()},
            {"OriginalArtist", t.OriginalArtist()}, {"Composer", t.Composer()},
            {"Copyright", t.Copyright()}, {"AudioURL", t.AudioURL()},
            {"BuyURL", t.BuyURL()},       {"ArtistURL", t.ArtistURL()},
            {"TagStart", std::to_string(t.TagStart())}, {"TagVersion", std::to_string(t.TagVersion())},
            {"Ids", ids}};
}

FieldMap Fields(const tags::Mp3TagID3v1 &t) {
    return {{"Has", t.HasID3v1Tag() ? "1" : "0"}, {"Title", t.Title()},     {"Artist", t.Artist()},
            {"Album", t.Album()},                 {"Year", t.Year()},       {"Comment", t.Comment()},
            {"Track", std::to_string(t.Track())}, {"Genre", std::to_string(t.Genre())}};
}

void ExpectFields(const FieldMap &got, const Want &want) {
    for (const auto &[key, value] : want) {
        const auto it = got.find(key);
        if (it == got.end()) ADD_FAILURE() << "no field " << key;
        else EXPECT_EQ(it->second, value) << key;
    }
}

::testing::AssertionResult SameBytes(const std::string &got, const std::string &want) {
    if (got == want) return ::testing::AssertionSuccess();
    const size_t at = static_cast<size_t>(std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin());
    return ::testing::AssertionFailure() << got.size() << " bytes where " << want.size() << " were expected, first difference at "
                                         << at;
}

void ExpectTagError(const std::function<void()> &fn, int number, const std::string &source,
                    const std::string &description) {
    try {
        fn();
        ADD_FAILURE() << "no error, expected " << number;
    } catch (const tags::TagError &e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.source(), source);
        if (description.empty()) EXPECT_FALSE(e.description().empty());
        else EXPECT_EQ(e.description(), description);
    }
}

bool SameFile(const std::string &a, const std::string &b) {
    auto id = [](const std::string &path) {
        tags::fileops::File f("test");
        f.Open(path, tags::fileops::File::Mode::Read);
        const auto i = f.Identify();
        return std::make_pair(i.device, i.inode);
    };
    return id(a) == id(b);
}

int AsOrdinaryUser(const std::function<int()> &fn) {
#ifdef _WIN32
    return fn(); // the read-only attribute holds for every user
#else
    if (geteuid() != 0) return fn();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(98);
        _exit(fn());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 99;
    return WEXITSTATUS(status);
#endif
}

} // namespace testutil
