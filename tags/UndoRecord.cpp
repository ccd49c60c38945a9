#include "UndoRecord.h"

#include "WriterNames.h"

#include "FolderRecovery.h"
#include "TagError.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace tags::fileops {
namespace {

// Layout, in the machine's own byte order (a record is read where it was written):
// magic, the record's length, device, inode, old and new length, name length and name, range count, per range
// position, old length, new length, old bytes, new bytes; then a checksum of all before.
// A record cut short by a kill fails the checksum; its writer had not begun writing. A
// reused file may hold an older record's bytes after the length; a void one has no magic.
// Records of version 1 (left by an older writer) carry the byte-wise checksum.
constexpr char kMagic[8] = {'S', 'O', 'R', 'T', 'U', 'N', 'D', '2'};
constexpr char kMagicV1[8] = {'S', 'O', 'R', 'T', 'U', 'N', 'D', '1'};

std::uint64_t ChecksumV1(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull; // FNV-1a
    for (const unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

// FNV-1a over 8-byte words in four lanes, then the bytes left: a record holds a tag's
// old and new bytes, and the byte-wise chain cost a tenth of an album run.
std::uint64_t Checksum(std::string_view s) {
    constexpr std::uint64_t kPrime = 1099511628211ull;
    std::uint64_t lane[4] = {14695981039346656037ull, 1, 2, 3};
    size_t i = 0;
    for (; i + 32 <= s.size(); i += 32)
        for (int k = 0; k < 4; ++k) {
            std::uint64_t w;
            std::memcpy(&w, s.data() + i + 8 * k, 8);
            lane[k] = (lane[k] ^ w) * kPrime;
        }
    std::uint64_t h = lane[0];
    for (int k = 1; k < 4; ++k) h = (h ^ lane[k]) * kPrime;
    for (; i < s.size(); ++i) h = (h ^ static_cast<unsigned char>(s[i])) * kPrime;
    return h;
}

template <typename T> void Put(std::string &out, T v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); }

struct Reader {
    std::string_view s;
    bool ok = true;
    template <typename T> T Get() {
        T v{};
        if (s.size() < sizeof v) return ok = false, v;
        std::memcpy(&v, s.data(), sizeof v);
        s.remove_prefix(sizeof v);
        return v;
    }
    std::string_view Bytes(size_t n) {
        if (s.size() < n) return ok = false, std::string_view();
        const std::string_view b = s.substr(0, n);
        s.remove_prefix(n);
        return b;
    }
};

struct Parsed {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, newSize = 0;
    std::string_view name;
    std::vector<Change> changes;
};

bool Parse(const std::string &bytes, Parsed &p) {
    std::uint64_t len = 0, sum = 0;
    if (bytes.size() < sizeof kMagic + 16) return false;
    const bool v1 = std::memcmp(bytes.data(), kMagicV1, sizeof kMagic) == 0;
    if (!v1 && std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return false;
    std::memcpy(&len, bytes.data() + sizeof kMagic, 8);
    if (len < sizeof kMagic + 16 || len > bytes.size()) return false;
    const std::string_view body(bytes.data(), static_cast<size_t>(len) - 8);
    std::memcpy(&sum, bytes.data() + body.size(), 8);
    if (sum != (v1 ? ChecksumV1(body) : Checksum(body))) return false;
    Reader r{body.substr(sizeof kMagic + 8)};
    p.device = r.Get<std::uint64_t>();
    p.inode = r.Get<std::uint64_t>();
    p.size = r.Get<std::int64_t>();
    p.newSize = r.Get<std::int64_t>();
    p.name = r.Bytes(r.Get<std::uint32_t>());
    for (std::uint32_t n = r.Get<std::uint32_t>(); r.ok && n > 0; --n) {
        Change c;
        c.at = r.Get<std::int64_t>();
        const auto oldLen = r.Get<std::uint32_t>(), newLen = r.Get<std::uint32_t>();
        c.old = r.Bytes(oldLen);
        c.now = r.Bytes(newLen);
        if (c.at < 0 || (!c.old.empty() && c.old.size() != c.now.size())) return false;
        p.changes.push_back(c);
    }
    return r.ok && r.s.empty();
}

std::string ReadRecord(const std::string &record, const std::string &source) {
    File r(source);
    r.Open(record, File::Mode::Read);
    std::string bytes(static_cast<size_t>(r.Size()), '\0');
    bytes.resize(r.ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// The file UndoRecordReuse keeps: its folder, path and handle.
struct Reused {
    int users = 0;
    std::string folder, path;
    std::unique_ptr<File> file;
};
Reused &Reuse() {
    static Reused r;
    return r;
}

void DropReused() noexcept {
    Reused &r = Reuse();
    r.file.reset();
    if (!r.path.empty()) RemoveQuietly(r.path);
    r.path.clear();
    r.folder.clear();
}

// Whether the bytes at c.at are each the old or the new one: a cut-short write, and not
// a file someone else has rewritten since.
bool HoldsOldOrNew(File &f, const Change &c, std::int64_t size) {
    if (c.old.empty()) {
        const std::int64_t have = std::min<std::int64_t>(size - c.at, static_cast<std::int64_t>(c.now.size()));
        std::string cur(static_cast<size_t>(std::max<std::int64_t>(have, 0)), '\0');
        return cur.size() == f.ReadAt(c.at, cur.data(), cur.size()) && c.now.starts_with(cur);
    }
    std::string cur(c.old.size(), '\0');
    if (f.ReadAt(c.at, cur.data(), cur.size()) != cur.size()) return false;
    for (size_t i = 0; i < cur.size(); ++i)
        if (cur[i] != c.old[i] && cur[i] != c.now[i]) return false;
    return true;
}

} // namespace

unsigned long OwnPid() {
    static const unsigned long pid = static_cast<unsigned long>(getpid());
    return pid;
}

bool UndoRecord::Write(File &f, const std::string &folder, const std::string &name, std::int64_t size,
                       std::int64_t newSize, const std::vector<Change> &changes, const std::string &source) {
    const File::Identity id = f.Identify();
    size_t bytes = sizeof kMagic + 64 + name.size();
    for (const Change &c : changes) bytes += 16 + c.old.size() + c.now.size();
    std::string rec;
    rec.reserve(bytes); // the old and new bytes of a tag with a cover: grown step by step, copied each time
    rec.append(kMagic, sizeof kMagic);
    Put(rec, std::uint64_t{0}); // the length, below
    Put(rec, id.device);
    Put(rec, id.inode);
    Put(rec, size);
    Put(rec, newSize);
    Put(rec, static_cast<std::uint32_t>(name.size()));
    rec += name;
    Put(rec, static_cast<std::uint32_t>(changes.size()));
    for (const Change &c : changes) {
        Put(rec, c.at);
        Put(rec, static_cast<std::uint32_t>(c.old.size()));
        Put(rec, static_cast<std::uint32_t>(c.now.size()));
        rec += c.old;
        rec += c.now;
    }
    const std::uint64_t len = rec.size() + 8;
    std::memcpy(rec.data() + sizeof kMagic, &len, 8);
    Put(rec, Checksum(rec));

    Reused &reuse = Reuse();
    if (reuse.users > 0 && reuse.file && reuse.folder == folder) {
        try {
            reuse.file->Seek(0);
            reuse.file->Write(rec.data(), rec.size());
            path_ = reuse.path;
            reused_ = true;
            return true;
        } catch (const TagError &) {
            DropReused();
        }
    }
    static std::atomic<unsigned> counter{0};
    auto out = std::make_unique<File>(source);
    for (int attempt = 0;; ++attempt) {
        path_ = Utf8FromPath(PathFromUtf8(folder) / WriterFileName(WriterFile::Undo, OwnPid(), counter.fetch_add(1)));
        try {
            out->CreateNew(path_);
            break;
        } catch (const TagError &e) {
            if (e.number() != kErrExists || attempt >= 50) return path_.clear(), false;
        }
    }
    try {
        out->Write(rec.data(), rec.size());
    } catch (const TagError &) {
        out.reset();
        Remove();
        return false;
    }
    if (reuse.users == 0) return true;
    DropReused();
    reuse.folder = folder;
    reuse.path = path_;
    reuse.file = std::move(out);
    reused_ = true;
    return true;
}

void UndoRecord::Remove() noexcept {
    if (reused_) {
        // Void: a kill from here on leaves nothing to roll back.
        try {
            Reused &reuse = Reuse();
            reuse.file->Seek(0);
            reuse.file->Write(std::string(sizeof kMagic, '\0').data(), sizeof kMagic);
        } catch (const TagError &) {
            DropReused();
        }
    } else if (!path_.empty()) {
        RemoveQuietly(path_);
    }
    path_.clear();
    reused_ = false;
}

UndoRecordReuse::UndoRecordReuse() { ++Reuse().users; }

UndoRecordReuse::~UndoRecordReuse() {
    if (--Reuse().users == 0) DropReused();
}

void UndoRecord::Keep(const File::Identity &id) noexcept {
    try {
        // A reused file is left to this record and not written over again.
        if (reused_) Reuse().file.reset(), Reuse().path.clear(), Reuse().folder.clear();
        if (!path_.empty()) AddPending(id.device, id.inode, path_);
    } catch (...) {
    }
    path_.clear();
    reused_ = false;
}

bool ReadUndoTarget(const std::string &record, UndoTarget &target) {
    Parsed p;
    const std::string bytes = ReadRecord(record, "recovery"); // p's views point into it
    if (!Parse(bytes, p)) return false;
    target = UndoTarget{p.device, p.inode, std::string(p.name)};
    return true;
}

bool IsUndoRecord(const std::string &record) {
    const std::optional<WriterFileId> id = ParseWriterFileName(Utf8FromPath(PathFromUtf8(record).filename()));
    return id && id->kind == WriterFile::Undo;
}

void RollBack(File &f, const std::string &record, const std::string &source) {
    Parsed p;
    const std::string bytes = ReadRecord(record, source);
    const File::Identity id = f.Identify();
    const std::int64_t size = f.Size();
    bool ours = Parse(bytes, p) && p.device == id.device && p.inode == id.inode && size >= p.size &&
                size <= std::max(p.size, p.newSize);
    for (const Change &c : p.changes) ours = ours && HoldsOldOrNew(f, c, size);
    if (ours) {
        for (const Change &c : p.changes) {
            if (c.old.empty()) continue;
            f.Seek(c.at);
            f.Write(c.old.data(), c.old.size());
        }
        if (f.Size() != p.size) f.Truncate(p.size);
    }
    RemoveQuietly(record);
}

} // namespace tags::fileops
