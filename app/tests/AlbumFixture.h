#pragma once
// Album folders of real small MP3 files for the workflow tests. The files are
// encoded by lame from a short tone whose pitch depends on a seed, so every
// file has its own content.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>

namespace fixture {

// An empty folder of that name under tmp (emptied if it exists), without a trailing separator.
inline QString FreshFolder(const QTemporaryDir &tmp, const QString &name) {
    const QString dir = tmp.filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

inline bool HaveLame() { return !QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty(); }

// A quarter second of mono 16-bit tone, encoded at 32 kbit/s.
inline QByteArray Mp3(int seed) {
    static QHash<int, QByteArray> cache;
    if (cache.contains(seed))
        return cache.value(seed);
    const int rate = 22050;
    const int samples = rate / 4;
    QByteArray pcm(samples * 2, '\0');
    const double freq = 220.0 + 37.0 * seed;
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * freq * i / rate));
        pcm[2 * i] = static_cast<char>(v & 0xff);
        pcm[2 * i + 1] = static_cast<char>((v >> 8) & 0xff);
    }
    QProcess lame;
    lame.start(QStringLiteral("lame"), {QStringLiteral("-r"), QStringLiteral("-s"), QStringLiteral("22.05"),
                                        QStringLiteral("-m"), QStringLiteral("m"), QStringLiteral("--bitwidth"),
                                        QStringLiteral("16"), QStringLiteral("--signed"), QStringLiteral("--little-endian"),
                                        QStringLiteral("-b"), QStringLiteral("32"), QStringLiteral("--silent"),
                                        QStringLiteral("-"), QStringLiteral("-")});
    if (!lame.waitForStarted())
        return {};
    lame.write(pcm);
    lame.closeWriteChannel();
    if (!lame.waitForFinished(30000) || lame.exitCode() != 0)
        return {};
    const QByteArray out = lame.readAllStandardOutput();
    cache.insert(seed, out);
    return out;
}

inline bool Write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray Read(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray Hash(const QString &path) {
    return QCryptographicHash::hash(Read(path), QCryptographicHash::Sha256).toHex();
}

// The folder's file names, sorted, hidden ones included.
inline QStringList Listing(const QString &folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.sort();
    return names;
}

// Creates the named files, file i from seed i + seedBase; false if lame failed.
inline bool MakeAlbum(const QString &folder, const QStringList &names, int seedBase = 1) {
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray mp3 = Mp3(seedBase + i);
        if (mp3.isEmpty() || !Write(QDir(folder).filePath(names[i]), mp3))
            return false;
    }
    return true;
}

// Files left in the trash under XDG_DATA_HOME (which main() points at a
// temporary folder).
inline QStringList TrashedFiles() {
    const QString files = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files");
    return QDir(files).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// Names in the trash with the content hash of each, then an empty trash.
inline QHash<QString, QByteArray> TakeTrash() {
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    QHash<QString, QByteArray> out;
    for (const QString &name : TrashedFiles())
        out.insert(name, Hash(trash + QStringLiteral("/files/") + name));
    QDir(trash).removeRecursively();
    return out;
}

} // namespace fixture

// main() for the workflow tests: the trash goes to a temporary XDG_DATA_HOME,
// set before Qt looks at it.
#define ALBUM_TEST_MAIN(AppClass, TestClass)                                                                           \
    int main(int argc, char **argv) {                                                                                  \
        QTemporaryDir dataHome;                                                                                        \
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());                                                            \
        AppClass app(argc, argv);                                                                                      \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
