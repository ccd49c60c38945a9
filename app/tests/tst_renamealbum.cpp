// The renaming run on album folders of real MP3 files: names, contents, and
// that no file is ever lost, overwritten or moved out of the folder.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <algorithm>
#include <sys/stat.h>

using namespace album;

namespace {

// Content hash of every file of the folder, by name.
QHash<QString, QByteArray> Snapshot(const QString &folder) {
    QHash<QString, QByteArray> out;
    for (const QString &name : fixture::Listing(folder))
        out.insert(name, fixture::Hash(folder + name));
    return out;
}

QList<QByteArray> SortedValues(const QHash<QString, QByteArray> &h) {
    QList<QByteArray> v = h.values();
    std::sort(v.begin(), v.end());
    return v;
}

struct StatId {
    dev_t dev;
    ino_t ino;
    qint64 mtime;
};
StatId Identity(const QString &path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return {st.st_dev, st.st_ino, static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

class TestRenameAlbum : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oldFilesGoToTheTrashOfAFreshHome();
    void numbersInListOrder_data();
    void numbersInListOrder();
    void renumberAfterReorderLosesNothing_data();
    void renumberAfterReorderLosesNothing();
    void nameEqualToItsOwnIsLeftUntouched();
    void unrelatedFileWithTheNewNameStaysUntouched();
    void badCharacterKeepsOldNames();
    void failedFinalRenameKeepsTheOldName();
    void failedFirstPhaseKeepsTheChainInPlace();
    void failingTrashOrHalfCopyKeepsTheOldFile_data();
    void failingTrashOrHalfCopyKeepsTheOldFile();
    void failureThatBlocksTheWayBackUndoesTheRun();
    void strandedFilesAreNamedWithTheirPlace();
    void missingAndDuplicateEntriesAreSkipped();
    void noFolderTouchesNothing();
    void throwingCallbacksLeaveNoTemporaryNames();

private:
    QTemporaryDir *dir_ = nullptr;
    QString folder_;
};

void TestRenameAlbum::init() {
    if (!fixture::HaveLame())
        QSKIP("lame is not installed");
    dir_ = new QTemporaryDir;
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + "/";
}

void TestRenameAlbum::cleanup() {
    // No run leaves temporary names; the trash is emptied for the next case.
    fixture::TakeTrash();
    if (dir_) {
        for (const QString &name : fixture::Listing(folder_))
            QVERIFY2(!name.startsWith('~'), qPrintable(name));
    }
    delete dir_;
    dir_ = nullptr;
}

void TestRenameAlbum::oldFilesGoToTheTrashOfAFreshHome() {
    // A new account without ~/.local/share, the program started from an empty folder.
    QTemporaryDir home, work;
    const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
    const QString cwd = QDir::currentPath();
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DATA_HOME");
    QVERIFY(QDir::setCurrent(work.path()));
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(cwd);
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", oldData);
    });
    const QStringList album{"b.mp3", "Über 50% a.mp3"};
    QVERIFY(fixture::MakeAlbum(folder_, album));
    const QHash<QString, QByteArray> before = Snapshot(folder_);

    const RenameResult r = RenameAlbum(folder_, album, {"", false});

    QCOMPARE(r.renamed, 2);
    QVERIFY(QDir(work.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    const QString trash = home.path() + "/.local/share/Trash";
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(trash).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0700u);
    const QString original = QFileInfo(folder_).canonicalFilePath() + "/";
    for (const QString &name : album) {
        QCOMPARE(fixture::Hash(trash + "/files/" + name), before.value(name));
        const QList<QByteArray> info = fixture::Read(trash + "/info/" + name + ".trashinfo").split('\n');
        QCOMPARE(info.value(0), QByteArray("[Trash Info]"));
        QVERIFY(info.value(1).startsWith("Path=/"));
        QVERIFY2(!info.value(1).contains(' '), info.value(1));  // percent-encoded
        QCOMPARE(QFile::decodeName(QByteArray::fromPercentEncoding(info.value(1).mid(5))), original + name);
        QVERIFY2(QRegularExpression("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$")
                     .match(QString::fromLatin1(info.value(2)))
                     .hasMatch(),
                 info.value(2));
    }

    // A name already in the trash: the next one gets a name of its own.
    QVERIFY(fixture::Write(folder_ + "b.mp3", "again"));
    const platform::TrashOutcome again = platform::MoveToTrash(folder_ + "b.mp3");
    QVERIFY2(again.ok, qPrintable(again.reason));
    QCOMPARE(again.trashedAs, trash + "/files/b.2.mp3");
    QCOMPARE(fixture::Read(again.trashedAs), QByteArray("again"));
    QVERIFY(QFile::exists(trash + "/info/b.2.mp3.trashinfo"));
    QCOMPARE(fixture::Hash(trash + "/files/b.mp3"), before.value("b.mp3"));
}

void TestRenameAlbum::numbersInListOrder_data() {
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("tFilename");
    QTest::addColumn<bool>("useExist");
    QTest::addColumn<QStringList>("expected");
    const QStringList bac{"b.mp3", "a.mp3", "c.mp3"};
    QTest::newRow("common name") << bac << "Urlaub" << false
                                 << QStringList{"001- Urlaub.mp3", "002- Urlaub.mp3", "003- Urlaub.mp3"};
    QTest::newRow("empty name") << bac << "" << false << QStringList{"001.mp3", "002.mp3", "003.mp3"};
    QTest::newRow("present names") << bac << "ignored" << true
                                   << QStringList{"001- b.mp3", "002- a.mp3", "003- c.mp3"};
    QTest::newRow("upper-case extension") << QStringList{"Track.MP3", "Über Straße.mp3", "東京.Mp3"} << "" << true
                                          << QStringList{"001- Track.MP3", "002- Über Straße.mp3", "003- 東京.Mp3"};
}

void TestRenameAlbum::numbersInListOrder() {
    QFETCH(QStringList, present);
    QFETCH(QString, tFilename);
    QFETCH(bool, useExist);
    QFETCH(QStringList, expected);
    QVERIFY(fixture::MakeAlbum(folder_, present));
    QStringList hashes;
    for (const QString &name : present)
        hashes << fixture::Hash(folder_ + name);

    QStringList progress;
    const RenameResult r = RenameAlbum(folder_, present, {tFilename, useExist}, {},
                                       [&](int i, int n, const QString &name) {
                                           progress << QString("%1/%2 %3").arg(i).arg(n).arg(name);
                                       });

    QCOMPARE(r.renamed, 3);
    QCOMPARE(r.FinalNames(), expected);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.entries[i].status, RenameStatus::Renamed);
        QCOMPARE(fixture::Hash(folder_ + expected[i]), hashes[i].toLatin1());
    }
    QStringList sorted = expected;
    sorted.sort();
    QCOMPARE(fixture::Listing(folder_), sorted);
    QCOMPARE(progress, QStringList({"0/3 " + present[0], "1/3 " + present[1], "2/3 " + present[2]}));

    // The old files went to the trash under their old names, contents intact.
    const QHash<QString, QByteArray> trashed = fixture::TakeTrash();
    QCOMPARE(trashed.size(), present.size());
    for (int i = 0; i < present.size(); ++i)
        QCOMPARE(trashed.value(present[i]), hashes[i].toLatin1());
}

void TestRenameAlbum::renumberAfterReorderLosesNothing_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("tFilename");
    QTest::addColumn<bool>("reverse");
    QTest::newRow("rotate three, empty name") << 3 << "" << false;
    QTest::newRow("reverse four, common name") << 4 << "Song" << true;
    QTest::newRow("shuffle twelve, common name") << 12 << "Song" << false;
}

void TestRenameAlbum::renumberAfterReorderLosesNothing() {
    QFETCH(int, count);
    QFETCH(QString, tFilename);
    QFETCH(bool, reverse);
    // An album an earlier run numbered.
    QStringList numbered;
    for (int i = 1; i <= count; ++i)
        numbered << NumberedName(i, "x.mp3", tFilename, false);
    QVERIFY(fixture::MakeAlbum(folder_, numbered));
    const QHash<QString, QByteArray> before = Snapshot(folder_);

    QStringList order = numbered;
    if (reverse) {
        std::reverse(order.begin(), order.end());
    } else if (count == 3) {
        order = {numbered[2], numbered[0], numbered[1]};
    } else {
        QRandomGenerator rng(7);
        std::shuffle(order.begin(), order.end(), rng);
        QVERIFY(order != numbered);
    }

    const RenameResult r = RenameAlbum(folder_, order, {tFilename, false});
    const QHash<QString, QByteArray> after = Snapshot(folder_);

    // The same names, the same contents as a multiset, and each position
    // holding the content of the entry that stood there.
    QCOMPARE(fixture::Listing(folder_), numbered);
    QCOMPARE(SortedValues(after), SortedValues(before));
    for (int i = 0; i < count; ++i) {
        QCOMPARE(after.value(numbered[i]), before.value(order[i]));
        const RenameStatus want = order[i] == numbered[i] ? RenameStatus::Unchanged : RenameStatus::Renamed;
        QCOMPARE(r.entries[i].status, want);
    }
}

void TestRenameAlbum::nameEqualToItsOwnIsLeftUntouched() {
    QVERIFY(fixture::MakeAlbum(folder_, {"001.mp3", "b.mp3"}));
    const StatId id = Identity(folder_ + "001.mp3");
    const QByteArray hash = fixture::Hash(folder_ + "001.mp3");
    QTest::qSleep(20);

    const RenameResult r = RenameAlbum(folder_, {"001.mp3", "b.mp3"}, {"", false});

    QCOMPARE(r.entries[0].status, RenameStatus::Unchanged);
    QCOMPARE(r.entries[1].status, RenameStatus::Renamed);
    QCOMPARE(fixture::Listing(folder_), QStringList({"001.mp3", "002.mp3"}));
    const StatId now = Identity(folder_ + "001.mp3");
    QCOMPARE(now.ino, id.ino);
    QCOMPARE(now.mtime, id.mtime);
    QCOMPARE(fixture::Hash(folder_ + "001.mp3"), hash);
}

void TestRenameAlbum::unrelatedFileWithTheNewNameStaysUntouched() {
    // "001.mp3" is in the folder but not in the album (for example a tiny file
    // the list left out). The entry that would take its name keeps its own,
    // so the entry that would take that one's name keeps its own too, and so on.
    const QStringList album{"002.mp3", "003.mp3", "c.mp3", "d.mp3"};
    QVERIFY(fixture::MakeAlbum(folder_, album));
    QVERIFY(fixture::Write(folder_ + "001.mp3", "not part of the album"));
    const QHash<QString, QByteArray> before = Snapshot(folder_);

    const RenameResult r = RenameAlbum(folder_, album, {"", false});

    QCOMPARE(r.entries[0].status, RenameStatus::Collision);
    QCOMPARE(r.entries[1].status, RenameStatus::Collision);
    QCOMPARE(r.entries[2].status, RenameStatus::Collision);
    QCOMPARE(r.entries[3].status, RenameStatus::Renamed);
    QCOMPARE(r.FinalNames(), QStringList({"002.mp3", "003.mp3", "c.mp3", "004.mp3"}));
    QCOMPARE(fixture::Read(folder_ + "001.mp3"), QByteArray("not part of the album"));
    const QHash<QString, QByteArray> after = Snapshot(folder_);
    QCOMPARE(after.size(), 5);
    for (const char *name : {"001.mp3", "002.mp3", "003.mp3", "c.mp3"})
        QCOMPARE(after.value(QString(name)), before.value(QString(name)));
    QCOMPARE(after.value("004.mp3"), before.value("d.mp3"));
}

void TestRenameAlbum::badCharacterKeepsOldNames() {
    const QStringList album{"b.mp3", "a.mp3"};
    QVERIFY(fixture::MakeAlbum(folder_, album));
    QVERIFY(QDir(folder_).mkdir("001- AC"));
    QVERIFY(QDir(folder_).mkdir("002- AC"));
    const QHash<QString, QByteArray> before = Snapshot(folder_);

    const RenameResult r = RenameAlbum(folder_, album, {"AC/DC", false});

    QCOMPARE(r.renamed, 0);
    QCOMPARE(r.entries[0].status, RenameStatus::BadName);
    QCOMPARE(r.entries[1].status, RenameStatus::BadName);
    QCOMPARE(Snapshot(folder_), before);
    QVERIFY(QDir(folder_ + "001- AC").isEmpty());
    QVERIFY(QDir(folder_ + "002- AC").isEmpty());

    // A name too long for the file system.
    const RenameResult tooLong = RenameAlbum(folder_, album, {QString(300, 'x'), false});
    QCOMPARE(tooLong.renamed, 0);
    QCOMPARE(Snapshot(folder_), before);
}

void TestRenameAlbum::failedFinalRenameKeepsTheOldName() {
    const QStringList album{"b.mp3", "a.mp3", "c.mp3"};
    QVERIFY(fixture::MakeAlbum(folder_, album));
    const QHash<QString, QByteArray> before = Snapshot(folder_);
    // The file system refuses the second file's new name (as a full disk, a
    // read-only medium or a name the medium does not allow would).
    auto refuse = [](const QString &from, const QString &to) {
        if (to.endsWith("/002- Urlaub.mp3"))
            return false;
        return QFile::rename(from, to);
    };

    const RenameResult r = RenameAlbum(folder_, album, {"Urlaub", false}, refuse);

    QCOMPARE(r.entries[0].status, RenameStatus::Renamed);
    QCOMPARE(r.entries[1].status, RenameStatus::Failed);
    QCOMPARE(r.entries[2].status, RenameStatus::Renamed);
    QCOMPARE(r.FinalNames(), QStringList({"001- Urlaub.mp3", "a.mp3", "003- Urlaub.mp3"}));
    QCOMPARE(fixture::Hash(folder_ + "a.mp3"), before.value("a.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "001- Urlaub.mp3"), before.value("b.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "003- Urlaub.mp3"), before.value("c.mp3"));
    QCOMPARE(fixture::Listing(folder_).size(), 3);
}

void TestRenameAlbum::failedFirstPhaseKeepsTheChainInPlace() {
    // 002 -> 001 and 001 -> 002 swap; when the first file cannot move at all,
    // the second must not take its name either.
    QVERIFY(fixture::MakeAlbum(folder_, {"001.mp3", "002.mp3", "x.mp3"}));
    const QHash<QString, QByteArray> before = Snapshot(folder_);
    auto refuse = [](const QString &from, const QString &to) {
        if (from.endsWith("/002.mp3"))
            return false;
        return QFile::copy(from, to);
    };

    const RenameResult r = RenameAlbum(folder_, {"002.mp3", "001.mp3", "x.mp3"}, {"", false}, {}, {}, refuse);

    QCOMPARE(r.entries[0].status, RenameStatus::Failed);
    QCOMPARE(r.entries[1].status, RenameStatus::Collision);
    QCOMPARE(r.entries[2].status, RenameStatus::Renamed);
    QCOMPARE(r.FinalNames(), QStringList({"002.mp3", "001.mp3", "003.mp3"}));
    QCOMPARE(fixture::Hash(folder_ + "001.mp3"), before.value("001.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "002.mp3"), before.value("002.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "003.mp3"), before.value("x.mp3"));
    QCOMPARE(fixture::Listing(folder_).size(), 3);
}

void TestRenameAlbum::failingTrashOrHalfCopyKeepsTheOldFile_data() {
    QTest::addColumn<int>("answer");  // -1: nobody asked, 0: stop, 1: go on
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("listing");
    QTest::addColumn<QStringList>("reported");
    QTest::newRow("nobody asked") << -1 << QStringList() << QStringList{"003- Neu.mp3", "a.mp3", "b.mp3"}
                                  << QStringList{"a.mp3: Papierkorb voll", "b.mp3: Die Kopie"};
    QTest::newRow("go on") << 1 << QStringList{"a.mp3", "b.mp3"} << QStringList{"003- Neu.mp3", "a.mp3", "b.mp3"}
                           << QStringList{"a.mp3: Papierkorb voll", "b.mp3: Die Kopie"};
    QTest::newRow("stop") << 0 << QStringList{"a.mp3"} << QStringList{"a.mp3", "b.mp3", "c.mp3"}
                          << QStringList{"a.mp3: Papierkorb voll", "b.mp3: der Lauf wurde abgebrochen",
                                         "c.mp3: der Lauf wurde abgebrochen"};
}

void TestRenameAlbum::failingTrashOrHalfCopyKeepsTheOldFile() {
    QFETCH(int, answer);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, listing);
    QFETCH(QStringList, reported);
    QVERIFY(fixture::MakeAlbum(folder_, {"a.mp3", "b.mp3", "c.mp3"}));
    const QHash<QString, QByteArray> before = Snapshot(folder_);
    // a: the trash refuses; b: the copy stops halfway, as on a full disk.
    auto trash = [](const QString &path) {
        return path.endsWith("/a.mp3") ? platform::TrashOutcome{false, {}, {}, "Papierkorb voll"}
                                       : platform::MoveToTrash(path);
    };
    auto copy = [](const QString &from, const QString &to) {
        if (!from.endsWith("/b.mp3"))
            return QFile::copy(from, to);
        QFile out(to);
        out.open(QIODevice::WriteOnly);
        out.write(fixture::Read(from).left(1000));
        return false;
    };
    QStringList questions;
    TrashQuestionFn ask;
    if (answer >= 0)
        ask = [&](const QString &name, const QString &reason) {
            questions << name + (reason.isEmpty() ? " without a reason" : "");
            return answer == 1;
        };

    const RenameResult r =
        RenameAlbum(folder_, {"a.mp3", "b.mp3", "c.mp3"}, {"Neu", false}, {}, {}, copy, trash, ask);

    QCOMPARE(questions, asked);
    QCOMPARE(r.stopped, answer == 0);
    QCOMPARE(r.entries[0].status, RenameStatus::Failed);
    QCOMPARE(r.entries[1].status, answer == 0 ? RenameStatus::Stopped : RenameStatus::Failed);
    QCOMPARE(r.entries[2].status, answer == 0 ? RenameStatus::Stopped : RenameStatus::Renamed);
    QCOMPARE(fixture::Listing(folder_), listing);
    QCOMPARE(fixture::Hash(folder_ + "a.mp3"), before.value("a.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "b.mp3"), before.value("b.mp3"));
    QCOMPARE(fixture::Hash(folder_ + listing[answer == 0 ? 2 : 0]), before.value("c.mp3"));
    QCOMPARE(fixture::TakeTrash().keys(), answer == 0 ? QStringList() : QStringList({"c.mp3"}));

    // The end of the run names every file that kept its name, with the reason.
    const QString report = RenameReport(r, folder_);
    for (const QString &line : reported)
        QVERIFY2(report.contains(line), qPrintable(report));
    QVERIFY2(!report.contains("c.mp3") || answer == 0, qPrintable(report));
}

void TestRenameAlbum::failureThatBlocksTheWayBackUndoesTheRun() {
    // The first file of a swap has taken the second's old name when the
    // second cannot reach its new one: the run is undone from the old names.
    QVERIFY(fixture::MakeAlbum(folder_, {"001.mp3", "002.mp3", "x.mp3"}));
    const QHash<QString, QByteArray> before = Snapshot(folder_);
    bool failedOnce = false;
    auto refuse = [&](const QString &from, const QString &to) {
        if (to.endsWith("/002.mp3") && QFileInfo(from).fileName().startsWith('~') && !failedOnce) {
            failedOnce = true;
            return false;
        }
        return QFile::rename(from, to);
    };

    const RenameResult r = RenameAlbum(folder_, {"002.mp3", "001.mp3", "x.mp3"}, {"", false}, refuse);

    QVERIFY(failedOnce);
    QCOMPARE(r.renamed, 0);
    QCOMPARE(r.FinalNames(), QStringList({"002.mp3", "001.mp3", "x.mp3"}));
    for (const RenameEntry &e : r.entries)
        QVERIFY(e.status == RenameStatus::RolledBack || e.status == RenameStatus::Failed);
    QCOMPARE(Snapshot(folder_), before);
}

void TestRenameAlbum::strandedFilesAreNamedWithTheirPlace() {
    // The folder stops taking renames once the old file is in the trash: the
    // file can reach neither name and stays under its temporary one.
    QVERIFY(fixture::MakeAlbum(folder_, {"a.mp3"}));
    const QByteArray hash = fixture::Hash(folder_ + "a.mp3");

    const RenameResult r = RenameAlbum(folder_, {"a.mp3"}, {"", false}, [](const QString &, const QString &) {
        return false;
    });

    const RenameEntry &e = r.entries[0];
    QCOMPARE(e.status, RenameStatus::Stranded);
    QCOMPARE(fixture::Listing(folder_), QStringList{e.finalName});
    QCOMPARE(fixture::Hash(folder_ + e.finalName), hash);
    const QString report = RenameReport(r, folder_);
    QVERIFY2(report.contains(e.finalName + " (war a.mp3) in " + QDir::toNativeSeparators(folder_)), qPrintable(report));
    QVERIFY(QFile::rename(folder_ + e.finalName, folder_ + "a.mp3"));
}

void TestRenameAlbum::missingAndDuplicateEntriesAreSkipped() {
    QVERIFY(fixture::MakeAlbum(folder_, {"a.mp3", "b.mp3"}));
    const QHash<QString, QByteArray> before = Snapshot(folder_);

    const RenameResult r = RenameAlbum(folder_, {"a.mp3", "gone.mp3", "a.mp3", "b.mp3"}, {"", false});

    QCOMPARE(r.entries[0].status, RenameStatus::Renamed);
    QCOMPARE(r.entries[1].status, RenameStatus::Missing);
    QCOMPARE(r.entries[2].status, RenameStatus::Collision);
    QCOMPARE(r.entries[3].status, RenameStatus::Renamed);
    QCOMPARE(fixture::Listing(folder_), QStringList({"001.mp3", "004.mp3"}));
    QCOMPARE(fixture::Hash(folder_ + "001.mp3"), before.value("a.mp3"));
    QCOMPARE(fixture::Hash(folder_ + "004.mp3"), before.value("b.mp3"));
}

void TestRenameAlbum::noFolderTouchesNothing() {
    // An empty folder text must not turn the names into paths relative to
    // the current folder.
    QVERIFY(fixture::MakeAlbum(folder_, {"a.mp3"}));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder_));
    const RenameResult r = RenameAlbum("", {"a.mp3"}, {"", false});
    const bool playlist = WritePlaylist("", "Best of", {"a.mp3"});
    QDir::setCurrent(cwd);

    QCOMPARE(r.entries[0].status, RenameStatus::Missing);
    QVERIFY(!playlist);
    QCOMPARE(fixture::Listing(folder_), QStringList{"a.mp3"});
}

void TestRenameAlbum::throwingCallbacksLeaveNoTemporaryNames() {
    const QStringList album{"002.mp3", "001.mp3"};
    QVERIFY(fixture::MakeAlbum(folder_, album));
    const QHash<QString, QByteArray> before = Snapshot(folder_);
    bool thrown = false;
    auto throwing = [&](const QString &from, const QString &to) {
        if (to.endsWith("/001.mp3") && QFileInfo(from).fileName().startsWith('~') && !thrown) {
            thrown = true;
            throw std::runtime_error("file layer gave up");
        }
        return QFile::rename(from, to);
    };
    auto progress = [](int, int, const QString &) { throw std::runtime_error("window gone"); };

    const RenameResult r = RenameAlbum(folder_, album, {"", false}, throwing, progress);

    // The swap could not finish, so both files keep their old names.
    QVERIFY(thrown);
    QCOMPARE(r.renamed, 0);
    QCOMPARE(r.FinalNames(), album);
    QCOMPARE(Snapshot(folder_), before);
}

ALBUM_TEST_MAIN(QCoreApplication, TestRenameAlbum)
#include "tst_renamealbum.moc"
