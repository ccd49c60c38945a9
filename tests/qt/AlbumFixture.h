#pragma once
// What the Qt test programs share: a sandbox for settings and the trash, album
// folders of MP3 files built byte by byte or of plain bytes, a writer of tags from the
// byte builders and a reader of them through the tag engine.

#include "Id3Bytes.h"
#include "StreamBytes.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QListWidget>
#include <QtTest>

#include <cstring>
#include <map>
#include <optional>

namespace fixture {

// An empty folder of that name under tmp (emptied if it exists), with a trailing '/'.
inline QString FreshFolder(const QTemporaryDir &tmp, const QString &name) {
    const QString dir = tmp.filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir + QLatin1Char('/');
}

inline bool Write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray Read(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray Hash(const QString &path) { return QCryptographicHash::hash(Read(path), QCryptographicHash::Sha256); }

// The folder's file names, sorted, hidden ones included.
inline QStringList Listing(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The audio of an MP3 file: without a leading ID3v2 tag and a trailing ID3v1 record.
inline QByteArray Audio(QByteArray bytes) {
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        const auto b = [&](int i) { return static_cast<quint32>(static_cast<unsigned char>(bytes[i]) & 0x7f); };
        bytes = bytes.mid(10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)));
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

// Hash of every file of the folder (or of its audio alone), by name.
inline QHash<QString, QByteArray> Snapshot(const QString &folder, bool audioOnly = false) {
    QHash<QString, QByteArray> out;
    for (const QString &name : Listing(folder)) {
        const QByteArray bytes = Read(folder + QLatin1Char('/') + name);
        out.insert(name, QCryptographicHash::hash(audioOnly ? Audio(bytes) : bytes, QCryptographicHash::Sha256));
    }
    return out;
}

inline QStringList Texts(const QListWidget *l) {
    QStringList t;
    for (int i = 0; i < l->count(); ++i)
        t << l->item(i)->text();
    return t;
}

// Files of `size` bytes made of their own name (so that any mix-up shows): enough for
// the list and the renaming, not for a tag reader. A name ending in '/' is a folder.
inline void FakeAlbum(const QString &folder, const QStringList &names, int size = 2000) {
    for (const QString &n : names) {
        if (n.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(folder).mkdir(n));
        else
            QVERIFY(Write(folder + n, (n.toUtf8() + '|').repeated(size).left(size)));
    }
}

// Files of twenty MPEG frames whose bytes depend on the seed, file i from seed i +
// seedBase, without tags; false if one could not be written.
inline bool MakeAlbum(const QString &folder, const QStringList &names, int seedBase = 1) {
    for (int i = 0; i < names.size(); ++i)
        if (!Write(folder + names[i], QByteArray::fromStdString(streambytes::Stream({}, 20, 100u * (seedBase + i)))))
            return false;
    return true;
}

// The trash the program's files go to: the home trash under the sandbox's XDG_DATA_HOME;
// under wine, the Recycle Bin is the Linux home trash of the one the test's runner names.
inline QString TrashDir() {
    return qEnvironmentVariable("SORTI_TEST_TRASH", qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash"));
}

// Names in the trash, sorted, with their content hashes; the trash is emptied.
inline QMap<QString, QByteArray> TakeTrash() {
    const QString trash = TrashDir();
    QMap<QString, QByteArray> out;
    for (const QString &name : Listing(trash + QStringLiteral("/files")))
        out.insert(name, Hash(trash + QStringLiteral("/files/") + name));
    QDir(trash).removeRecursively();
    // wine looks for its trash's folders once per process.
    QDir().mkpath(trash + QStringLiteral("/files")) && QDir().mkpath(trash + QStringLiteral("/info"));
    return out;
}

// What the tag engine reads: {"v1": {"title", ..., "track", "genre"} or null,
//  "v2": {frame id: its field, "" for frames without one} or null}.
inline QJsonObject ReadTags(const QString &path) {
    const auto q = [](const std::string &s) { return QString::fromStdString(s); };
    QJsonValue v1 = QJsonValue::Null, v2 = QJsonValue::Null;
    try {
        tags::Mp3TagID3v2 t;
        t.MP3File(path.toStdString());
        if (t.HasID3v2Tag()) {
            const std::map<std::string, std::string> fields{{"TPE1", t.Artist()}, {"TIT2", t.Title()}, {"TALB", t.Album()},
                                                            {"TYER", t.Year()},   {"COMM", t.Comment()}, {"TRCK", t.Track()},
                                                            {"TCON", std::to_string(t.Genre())}};
            QJsonObject frames;
            for (int i = 1; i <= t.FrameCount(); ++i) {
                const auto f = fields.find(t.Frame(i));
                frames[q(t.Frame(i))] = f == fields.end() ? QString() : q(f->second);
            }
            v2 = frames;
        }
        tags::Mp3TagID3v1 r;
        r.MP3File(path.toStdString());
        if (r.HasID3v1Tag())
            v1 = QJsonObject{{"title", q(r.Title())},     {"artist", q(r.Artist())}, {"album", q(r.Album())}, {"year", q(r.Year())},
                             {"comment", q(r.Comment())}, {"track", r.Track()},      {"genre", r.Genre()}};
    } catch (const std::exception &) {
        return {};
    }
    return {{"v1", v1}, {"v2", v2}};
}

// Puts a 2.3 tag of Latin-1 frames before the audio and an ID3v1 record after it.
// wanted: {"v2": {"TPE1": "...", "COMM": "...", "APIC": "<hex>"}, "v1": {"artist": ..., "track": 5}}
inline bool WriteTags(const QString &path, const QJsonObject &wanted) {
    const auto latin1 = [](const QJsonValue &v) { return v.toString().toLatin1().toStdString(); };
    std::string frames;
    const QJsonObject v2 = wanted["v2"].toObject(), v1 = wanted["v1"].toObject();
    for (auto it = v2.begin(); it != v2.end(); ++it) {
        const std::string id = it.key().toStdString(), text = latin1(it.value());
        if (id == "COMM")
            frames += id3bytes::Frame(id, std::string("\0eng\0", 5) + text);
        else if (id == "APIC")
            frames += id3bytes::Frame(id, std::string("\0image/png\0\3\0", 14) + QByteArray::fromHex(text.c_str()).toStdString());
        else
            frames += id3bytes::Frame(id, id3bytes::Text(text));
    }
    const std::string record = id3bytes::V1(latin1(v1["title"]), latin1(v1["artist"]), latin1(v1["album"]), latin1(v1["year"]),
                                            latin1(v1["comment"]), v1["track"].toInt(), static_cast<unsigned char>(v1["genre"].toInt(255)));
    return Write(path, QByteArray::fromStdString(id3bytes::Tag(3, frames)) + Audio(Read(path)) + QByteArray::fromStdString(record));
}

// Settings, the trash and the data folders in a temporary folder; Qt's own texts in
// German as the program shows them.
struct Sandbox {
    QTemporaryDir home;
    QTranslator qtGerman;
    Sandbox() {
#ifdef Q_OS_WIN
        // Settings in the registry of wine's own prefix, the trash as the runner sets it.
        // wine passes no QT_ variable from Linux, so the platform is named here.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return;
#endif
        for (const char *var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(var, QDir(home.path()).filePath(QString::fromLatin1(var)).toUtf8());
        // The trash takes the home trash for files on the home's file system, so the
        // home lies beside the test folders.
        qputenv("HOME", home.path().toUtf8());
    }
    static void EnterSettings() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qEnvironmentVariable("XDG_CONFIG_HOME"));
    }
    void Enter() {
        EnterSettings();
        if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtGerman);
    }
};

inline void ClearSettings() {
#ifdef Q_OS_WIN
    QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat).remove(QStringLiteral("Varnolt"));
#else
    QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
#endif
}

} // namespace fixture

namespace fixture {

// main() of every Qt test program: the sandbox is set up before Qt looks at the
// environment. A child process of the test ("PROGRAM --child ARGS...") runs
// `child(args)` in its parent's sandbox instead.
template <class AppClass, class TestClass> int Main(int argc, char **argv, int (*child)(const QStringList &) = nullptr) {
    const bool isChild = child && argc > 1 && std::strcmp(argv[1], "--child") == 0;
    std::optional<Sandbox> sandbox = isChild ? std::optional<Sandbox>() : std::optional<Sandbox>(std::in_place);
    AppClass app(argc, argv);
    if (isChild) {
        Sandbox::EnterSettings();
        return child(QCoreApplication::arguments().mid(2));
    }
    sandbox->Enter();
    TestClass tc;
    return QTest::qExec(&tc, argc, argv);
}

} // namespace fixture

#define SORTI_TEST_MAIN(AppClass, TestClass)                                                                           \
    int main(int argc, char **argv) { return fixture::Main<AppClass, TestClass>(argc, argv); }
