// The directory order on a FAT image mounted with fusefat: after the rewrite the
// folder lists the album in album order, every byte of every file is unchanged and
// fsck finds the image clean. Skips itself where FUSE or the FAT tools are missing.

#include "AlbumFixture.h"
#include "DirectoryOrder.h"
#include "Id3Bytes.h"

#include <QScopeGuard>

using album::DirectoryOrder;

namespace {

QString Tool(const char *name) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    return found.isEmpty() ? QStandardPaths::findExecutable(QString::fromLatin1(name), {"/usr/sbin", "/sbin"}) : found;
}

int Run(const QString &program, const QStringList &args, QByteArray *out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray Mp3(int seed) {
    const std::string s = id3bytes::Tag(3, id3bytes::Frame("TIT2", id3bytes::Text("t"))) +
                          streambytes::Stream(streambytes::Mpeg{}, 8, static_cast<unsigned>(seed));
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TestDirOrder : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

private slots:
    void otherFileSystemsNeedNothing() { QVERIFY(!DirectoryOrder::Matters(m_tmp.path())); }

    void fatListsTheAlbumInOrder_data() {
        QTest::addColumn<QStringList>("created"); // in this order; not .mp3: not in the album
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("under"); // the album folder in the image; "": its top
        QTest::newRow("reversed, long names") << QStringList{"01 Zebra.mp3", "Track 2 mit einem langen Namen.mp3", "a.mp3", "cover.jpg"}
                                             << QStringList{"a.mp3", "Track 2 mit einem langen Namen.mp3", "01 Zebra.mp3"}
                                             << "Album/";
        QTest::newRow("another file between") << QStringList{"a.mp3", "cover.jpg", "Ein sehr langer Dateiname fuer drei.mp3", "b.mp3"}
                                              << QStringList{"Ein sehr langer Dateiname fuer drei.mp3", "b.mp3", "a.mp3"}
                                              << "Album/";
        QTest::newRow("top of the device") << QStringList{"a.mp3", "cover.jpg", "Ein sehr langer Dateiname fuer drei.mp3", "b.mp3"}
                                           << QStringList{"Ein sehr langer Dateiname fuer drei.mp3", "b.mp3", "a.mp3"} << "";
    }
    void fatListsTheAlbumInOrder() {
        QFETCH(QStringList, created);
        QFETCH(QStringList, order);
        QFETCH(QString, under);
        if (!QFileInfo::exists("/dev/fuse"))
            QSKIP("/dev/fuse is missing: no FAT image can be mounted here");
        const QString fusefat = Tool("fusefat"), mkfs = Tool("mkfs.vfat"), fsck = Tool("fsck.vfat");
        if (fusefat.isEmpty() || mkfs.isEmpty() || fsck.isEmpty() || Tool("fusermount").isEmpty())
            QSKIP("fusefat, fuse3 or dosfstools is missing (scripts/deps.sh installs them)");
        const QString image = m_tmp.filePath("fat.img"), mount = fixture::FreshFolder(m_tmp, "mnt");
        QFile::remove(image);
        QVERIFY(Run("truncate", {"-s", "8M", image}) == 0 && Run(mkfs, {image}) == 0);
        QCOMPARE(Run(fusefat, {"-o", "rw+", image, mount}), 0);
        auto unmount = qScopeGuard([&] { Run("fusermount", {"-u", mount}); });
        QVERIFY(DirectoryOrder::Matters(mount));

        const QString album = mount + under;
        QVERIFY(QDir().mkpath(album));
        QHash<QString, QByteArray> bytes;
        for (int i = 0; i < created.size(); ++i)
            QVERIFY(fixture::Write(album + created[i], bytes[created[i]] = Mp3(i)));
        const album::DirectoryOrderResult r = DirectoryOrder::Apply(album, order);
        QVERIFY2(r.done && r.stranded.isEmpty(), qPrintable(r.error));
        // The order as another reader of the directory sees it.
        QByteArray listing;
        QCOMPARE(Run("ls", {"-f", album}, &listing), 0);
        QStringList listed;
        for (const QByteArray &line : listing.split('\n'))
            if (order.contains(QString::fromUtf8(line)))
                listed << QString::fromUtf8(line);
        QCOMPARE(listed, order);
        QVERIFY(r.inOrder);
        for (const QString &name : created)
            QCOMPARE(fixture::Read(album + name), bytes[name]);
        QCOMPARE(fixture::Listing(album).size(), created.size()); // the holding folder is gone
        QVERIFY(!QFileInfo::exists(DirectoryOrder::HoldingFolder(album)));
        unmount.dismiss();
        QCOMPARE(Run("fusermount", {"-u", mount}), 0);
        QCOMPARE(Run(fsck, {"-n", image}), 0);
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestDirOrder)
#include "tst_dirorder.moc"
