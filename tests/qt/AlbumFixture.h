#pragma once
// What the Qt test programs share: a sandbox for settings and the trash, album
// folders of real small MP3 files (encoded by lame) or of plain bytes, and independent
// readers and a writer of tags (mutagen for ID3v2, plain bytes for ID3v1).

#include <QListWidget>
#include <QtTest>

#include <cmath>

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

// A quarter second of mono tone whose pitch depends on the seed, at 32 kbit/s.
inline QByteArray Mp3(int seed) {
    const int rate = 22050;
    QByteArray pcm;
    for (int i = 0; i < rate / 4; ++i) {
        const auto v = static_cast<qint16>(8000 * std::sin(2 * M_PI * (220.0 + 37.0 * seed) * i / rate));
        pcm.append(static_cast<char>(v & 0xff)).append(static_cast<char>((v >> 8) & 0xff));
    }
    QProcess lame;
    lame.start("lame", QString("-r -s 22.05 -m m --bitwidth 16 --signed --little-endian -b 32 --silent - -")
                           .split(' '));
    lame.write(pcm);
    lame.closeWriteChannel();
    return lame.waitForFinished(30000) && lame.exitCode() == 0 ? lame.readAllStandardOutput() : QByteArray();
}

// Creates the named files, file i from seed i + seedBase; false if lame failed.
inline bool MakeAlbum(const QString &folder, const QStringList &names, int seedBase = 1) {
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray mp3 = Mp3(seedBase + i);
        if (mp3.isEmpty() || !Write(folder + names[i], mp3))
            return false;
    }
    return true;
}

// Names in the home trash (under the sandbox's XDG_DATA_HOME), sorted, with their content
// hashes; the trash is emptied.
inline QMap<QString, QByteArray> TakeTrash() {
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    QMap<QString, QByteArray> out;
    for (const QString &name : Listing(trash + QStringLiteral("/files")))
        out.insert(name, Hash(trash + QStringLiteral("/files/") + name));
    QDir(trash).removeRecursively();
    return out;
}

// ---- The independent readers and writer ---------------------------------------------

// Writes tags with mutagen: ID3v2 frames by identifier, then an ID3v1 record of plain bytes.
inline const char *kTagWriter = R"PY(
import sys, json
import mutagen.id3 as m
path, wanted = sys.argv[1], json.loads(sys.argv[2])
t = m.ID3()
for k, v in wanted.get('v2', {}).items():
    if k == 'COMM':
        t.add(m.COMM(encoding=1, lang='eng', desc='', text=v))
    elif k == 'APIC':
        t.add(m.APIC(encoding=0, mime='image/png', type=3, desc='', data=bytes.fromhex(v)))
    else:
        t.add(getattr(m, k)(encoding=1, text=v))
t.save(path, v2_version=3, v1=0)
r = wanted['v1']
field = lambda s, n: s.encode('cp1252')[:n].ljust(n, b'\0')
with open(path, 'ab') as f:
    f.write(b'TAG' + field(r.get('title', ''), 30) + field(r.get('artist', ''), 30) +
            field(r.get('album', ''), 30) + field(r.get('year', ''), 4) + field(r.get('comment', ''), 28) +
            b'\0' + bytes([r.get('track', 0), r.get('genre', 255)]))
)PY";

inline QProcess *RunPython(QProcess &py, const QStringList &args) {
    py.start(QStringLiteral("/usr/bin/python3"), args);
    return py.waitForFinished(60000) && py.exitStatus() == QProcess::NormalExit && py.exitCode() == 0 ? &py : nullptr;
}

// {"v1": the ID3v1 record as plain bytes {"title", ..., "track", "genre"} or null,
//  "v2": {frame id: its text (or picture data) as mutagen reads it, in version 2.4
//  terms (TDRC for TYER)} or null}, the ID3v2 side from the shared dump script.
inline QJsonObject ReadTags(const QString &path) {
    QJsonObject v2;
    QProcess py;
    if (!RunPython(py, {QStringLiteral(TAGDUMP_PY), path}))
        return {};
    for (const QByteArray &line : py.readAllStandardOutput().split('\n').mid(1)) {
        const QJsonArray frame = QJsonDocument::fromJson(line).array();
        for (int i = 1; i + 1 < frame.size(); i += 2) {
            const QJsonValue v = frame[i + 1];
            if (frame[i] == QLatin1String("text"))
                v2[frame[0].toString()] = v.isArray() ? v.toVariant().toStringList().join(QLatin1Char('/')) : v.toString();
            if (frame[i] == QLatin1String("data"))
                v2[frame[0].toString()] = v;
        }
    }
    const QByteArray data = Read(path), r = data.right(128);
    QJsonValue v1;
    if (data.size() >= 128 && r.startsWith("TAG")) {
        auto text = [&](int at, int n) {
            return QString::fromLatin1(r.mid(at, n).split('\0').first()).remove(QRegularExpression(" +$"));
        };
        v1 = QJsonObject{{"title", text(3, 30)},   {"artist", text(33, 30)}, {"album", text(63, 30)},
                         {"year", text(93, 4)},    {"comment", text(97, 28)},
                         {"track", r[125] == 0 ? static_cast<unsigned char>(r[126]) : -1},
                         {"genre", static_cast<unsigned char>(r[127])}};
    }
    return {{"v1", v1}, {"v2", data.startsWith("ID3") ? QJsonValue(v2) : QJsonValue::Null}};
}

// wanted: {"v2": {"TPE1": "...", "COMM": "...", "APIC": "<hex>"}, "v1": {"artist": ..., "track": 5}}
inline bool WriteTags(const QString &path, const QJsonObject &wanted) {
    QProcess py;
    return RunPython(py, {QStringLiteral("-c"), QString::fromUtf8(kTagWriter), path,
                          QString::fromUtf8(QJsonDocument(wanted).toJson(QJsonDocument::Compact))});
}

// lame and mutagen are installed by scripts/deps.sh: without them the suite fails.
inline void RequireTools() {
    QVERIFY2(!Mp3(1).isEmpty(), "lame is missing (scripts/deps.sh installs it)");
    QProcess py;
    QVERIFY2(RunPython(py, {QStringLiteral("-c"), QStringLiteral("import mutagen")}),
             "python3-mutagen is missing (scripts/deps.sh installs it)");
}

// Settings, the trash and the data folders in a temporary folder; Qt's own texts in
// German as the program shows them.
struct Sandbox {
    QTemporaryDir home;
    QTranslator qtGerman;
    Sandbox() {
        for (const char *var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(var, QDir(home.path()).filePath(QString::fromLatin1(var)).toUtf8());
        // The trash takes the home trash for files on the home's file system, so the
        // home lies beside the test folders.
        qputenv("HOME", home.path().toUtf8());
    }
    void Enter() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qEnvironmentVariable("XDG_CONFIG_HOME"));
        if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtGerman);
    }
};

inline void ClearSettings() { QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively(); }

} // namespace fixture

// main() of every Qt test program: the sandbox is set up before Qt looks at the environment.
#define SORTI_TEST_MAIN(AppClass, TestClass)                                                                           \
    int main(int argc, char **argv) {                                                                                  \
        fixture::Sandbox sandbox;                                                                                      \
        AppClass app(argc, argv);                                                                                      \
        sandbox.Enter();                                                                                               \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
