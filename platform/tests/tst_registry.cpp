// Settings store and file utilities, against a settings folder and files in a
// temporary directory.
#include "FileUtils.h"
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

class TestRegistry : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    const QString key = QStringLiteral("Software\\Varnolt\\Sortimentor");
    const QString maker = QStringLiteral("Software\\Varnolt");

    QVariant Raw(const QString &name) {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnolt"), QStringLiteral("Sortimentor"));
        return s.value(name);
    }
    static void WriteFile(const QString &path, int size) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp.filePath(QStringLiteral("settings")));
    }
    void init() { QDir(m_tmp.filePath(QStringLiteral("settings"))).removeRecursively(); }

    void keysAreCreatedOnceAndOnlyForTheCurrentUser() {
        QVERIFY(!KeyExists(kCurrentUser, maker));
        QVERIFY(!KeyExists(kCurrentUser, key));
        QVERIFY(!SetValue(kCurrentUser, key, QStringLiteral("LastDir"), QStringLiteral("/a/")));
        QVERIFY(!KeyExists(kCurrentUser, key));
        QVERIFY(CreateKey(kCurrentUser, maker, QStringLiteral("1")));
        QVERIFY(KeyExists(kCurrentUser, maker));
        QVERIFY(!KeyExists(kCurrentUser, key));
        QVERIFY(CreateKey(kCurrentUser, key, QStringLiteral("1")));
        QVERIFY(KeyExists(kCurrentUser, key));
        // A second creation reports "not new" and leaves the values alone.
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("LastDir"), QStringLiteral("/a/")));
        QVERIFY(!CreateKey(kCurrentUser, key, QStringLiteral("1")));
        RegValue v;
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("LastDir"), v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("/a/"));
        // Other roots and paths outside "Software\..." are not served.
        QVERIFY(!KeyExists(0x80000002u, key));
        QVERIFY(!SetValue(0x80000002u, key, QStringLiteral("x"), QStringLiteral("y")));
        QVERIFY(!KeyExists(kCurrentUser, QStringLiteral("Varnolt")));
    }

    void valueKindsSurviveTheRoundTrip() {
        CreateKey(kCurrentUser, key, QStringLiteral("1"));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Small"), qint16(5)));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Big"), qint32(5)));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Neg"), qint32(-2)));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Lines"), QStringLiteral("a\r\nb")));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Empty"), QString()));
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Nothing"), RegValue{}));

        // The 32-bit kind is stored as four little-endian bytes.
        QCOMPARE(Raw(QStringLiteral("Big")).toByteArray(), QByteArray("\x05\x00\x00\x00", 4));
        QCOMPARE(Raw(QStringLiteral("Lines")).toString(), QStringLiteral("a\r\nb\r\n"));
        QVERIFY(!Raw(QStringLiteral("Nothing")).isValid());

        RegValue v;
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Small"), v));
        QCOMPARE(std::get<qint32>(v), 5);
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Big"), v));
        QCOMPARE(std::get<qint32>(v), 5);
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Neg"), v));
        QCOMPARE(std::get<qint32>(v), -2);
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Empty"), v));
        QCOMPARE(std::get<QString>(v), QString());
        // A text ending in CR LF keeps just that one ending.
        QVERIFY(SetValue(kCurrentUser, key, QStringLiteral("Lines"), QStringLiteral("x\r\n")));
        QCOMPARE(Raw(QStringLiteral("Lines")).toString(), QStringLiteral("x\r\n"));
    }

    void readingStopsAtZeroAndLeavesOtherKindsAlone() {
        CreateKey(kCurrentUser, key, QStringLiteral("1"));
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnolt"), QStringLiteral("Sortimentor"));
            s.setValue(QStringLiteral("Zero"), QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
            s.setValue(QStringLiteral("Point"), QPoint(1, 2));
            s.setValue(QStringLiteral("Short"), QByteArray("\x01\x02", 2));
        }
        RegValue v = QStringLiteral("keep");
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Zero"), v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("ab"));
        v = QStringLiteral("keep");
        QVERIFY(GetValue(kCurrentUser, key, QStringLiteral("Point"), v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("keep"));
        QVERIFY(!GetValue(kCurrentUser, key, QStringLiteral("Short"), v));
        QVERIFY(!GetValue(kCurrentUser, key, QStringLiteral("Missing"), v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("keep"));
        QVERIFY(!GetValue(kCurrentUser, QStringLiteral("Software\\Varnolt\\Other"), QStringLiteral("Zero"), v));
    }

    void existenceTests() {
        const QString dir = m_tmp.filePath(QStringLiteral("files"));
        QVERIFY(QDir().mkpath(dir));
        WriteFile(dir + QStringLiteral("/Song.MP3"), 10);
        WriteFile(dir + QStringLiteral("/notes.txt"), 10);
        const QString nativeDir = QDir::toNativeSeparators(dir);
        QVERIFY(!PathExists(QString()));
        QVERIFY(PathExists(nativeDir));
        QVERIFY(PathExists(nativeDir + QDir::separator()));
        QVERIFY(PathExists(nativeDir + QDir::separator() + QStringLiteral("Song.MP3")));
        QVERIFY(!PathExists(nativeDir + QDir::separator() + QStringLiteral("gone.mp3")));

        QVERIFY(FileExists(nativeDir + QDir::separator() + QStringLiteral("*.mp3")));
        QVERIFY(FileExists(nativeDir + QDir::separator() + QStringLiteral("S?ng.*")));
        QVERIFY(!FileExists(nativeDir + QDir::separator() + QStringLiteral("*.wav")));
        QVERIFY(FileExists(nativeDir + QDir::separator() + QStringLiteral("notes.txt")));
        QVERIFY(!FileExists(nativeDir + QDir::separator() + QStringLiteral("none.txt")));
        QVERIFY(!FileExists(QString()));
    }

    void recycledFilesGoToTheTrash() {
        // Point the trash at the temporary folder too.
        const QString home = m_tmp.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/share")));
        const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_DATA_HOME", (home + QStringLiteral("/share")).toUtf8());
        QStandardPaths::setTestModeEnabled(false);
        const QString file = home + QStringLiteral("/a.mp3");
        WriteFile(file, 60);
        bool aborted = true;
        const bool ok = RecycleFiles(QDir::toNativeSeparators(file), true, &aborted);
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", oldData);
        if (!ok)
            QSKIP("no trash available here");
        QVERIFY(!aborted);
        QVERIFY(!QFile::exists(file));
        QDir trash(home + QStringLiteral("/share/Trash/files"));
        QVERIFY(trash.exists());
        QCOMPARE(trash.entryList(QDir::Files).size(), 1);

        // A missing file is reported, nothing else happens.
        QVERIFY(!RecycleFiles(QStringList{home + QStringLiteral("/missing.mp3")}, false, &aborted));
        QVERIFY(aborted);
    }
};

QTEST_MAIN(TestRegistry)
#include "tst_registry.moc"
