#include "FieldWrite.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "TagError.h"

#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <vector>

namespace tags {

namespace {

// Opens the file once for both reading and writing. A file that cannot be opened for
// writing is read through a handle for reading first, so that every failure is reported
// as before: opening fails as ID3v1 reports it, writing as ID3v2 does.
void OpenAndRead(fileops::File &file, const std::string &path, Mp3TagID3v1 &v1, Mp3TagID3v2 &v2) {
    try {
        file.Open(path, fileops::File::Mode::ReadWrite);
    } catch (const TagError &) {
        fileops::File read(Mp3TagID3v1::Source());
        read.Open(path, fileops::File::Mode::Read);
        v1.ReadFrom(read);
        v2.ReadFrom(read);
        read.Close();
        file.SetSource(Mp3TagID3v2::Source());
        file.Open(path, fileops::File::Mode::ReadWrite);
        return;
    }
    v1.ReadFrom(file);
    v2.ReadFrom(file);
    file.SetSource(Mp3TagID3v2::Source());
}

} // namespace

void WriteFields(const std::string &path, const FieldValues &f, Mp3TagID3v1 &v1, Mp3TagID3v2 &v2) {
    fileops::File file(Mp3TagID3v1::Source());
    OpenAndRead(file, path, v1, v2);
    if (f.artist) v1.Artist(*f.artist);
    if (f.title) v1.Title(*f.title);
    if (f.album) v1.Album(*f.album);
    if (f.year) v1.Year(*f.year);
    if (f.comment) v1.Comment(*f.comment);

    if (f.artist) v2.Artist(*f.artist);
    if (f.title) v2.Title(*f.title);
    if (f.album) v2.Album(*f.album);
    if (f.year) v2.Year(*f.year);
    if (f.comment) v2.Comment(*f.comment);
    if (f.track) v2.Track(*f.track);

    // One plan for both tags, so that they change together or not at all.
    std::vector<fileops::Splice> plan;
    const auto record = v1.PlanUpdate(file); // an empty file fails as ID3v1 reports it
    plan.push_back(v2.PlanUpdate(file));
    if (record) plan.push_back(*record);
    fileops::ApplySplices(file, path, plan, Mp3TagID3v2::Source());
}

} // namespace tags
