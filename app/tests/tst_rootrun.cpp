// The continue button on the tag page, through the window, on album folders of
// real MP3 files: the album run read back by mutagen, the playlist, read-only
// files, renaming with and without the present names, renumbering after
// reordering, declining, a second click and a close in the middle of a run.

#include "AlbumFixture.h"
#include "Root.h"
#include "TagOracle.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QCheckBox *Check(const Root &w, const char *name) { return w.Control<QCheckBox>(QString::fromLatin1(name)); }
QLineEdit *Edit(const Root &w, const char *name) { return w.Control<QLineEdit>(QString::fromLatin1(name)); }

QStringList Entries(const Root &w) {
    QStringList t;
    for (int i = 0; i < w.LDateien()->count(); ++i)
        t << w.LDateien()->item(i)->text();
    return t;
}

// Hash of each file's audio (tags stripped), by name.
QHash<QString, QByteArray> AudioHashes(const QString &folder) {
    QHash<QString, QByteArray> out;
    for (const QString &name : fixture::Listing(folder))
        out.insert(name, QCryptographicHash::hash(oracle::Audio(fixture::Read(folder + name)), QCryptographicHash::Sha256));
    return out;
}

// Runs `fn` on every pass of the event loop while the window is in a run.
struct DuringRun {
    QTimer timer;
    DuringRun(Root &w, std::function<void()> fn) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&w, fn] {
            if (w.IsRunning())
                fn();
        });
        timer.start();
    }
};

} // namespace

class TestRootRun : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_asked = 0;
    QStringList m_question;
    bool m_answer = true;

    QString Folder(const QString &name) { return fixture::FreshFolder(m_tmp, name) + QLatin1Char('/'); }
    std::unique_ptr<Root> Open(const QString &folder) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->SetNotice([](const QString &, const QString &) {});
        w->SetConfirm([this](const QString &title, const QString &text) {
            ++m_asked;
            m_question = {title, text};
            return m_answer;
        });
        w->bOrdnerClick();
        return w;
    }
    // Moves `entry` to list position `to`, as the arrow buttons would.
    static void MoveTo(Root &w, const QString &entry, int to) {
        QListWidget *l = w.LDateien();
        l->setCurrentItem(l->findItems(entry, Qt::MatchExactly).value(0));
        while (l->currentRow() > to)
            w.bAufwaertsClick();
        while (l->currentRow() < to)
            w.bAbwaertsClick();
    }
    static void ToTagPage(Root &w) {
        w.bStarten()->click();
        if (Root::PageShown(w.xpFrames(2)))
            w.bStarten()->click();
        QVERIFY(Root::PageShown(w.xpFrames(1)));
    }
    // Renaming chosen on the file-name page, then on to the tag page.
    static void ChooseRenaming(Root &w, const QString &name, bool useExistFile) {
        w.bStarten()->click();
        QVERIFY(Root::PageShown(w.xpFrames(2)));
        Check(w, "bChangeFilename")->click();
        if (useExistFile)
            Check(w, "bUseExistFile")->click();
        else
            Edit(w, "tFilename")->setText(name);
        w.bStarten()->click();
        QVERIFY(Root::PageShown(w.xpFrames(1)));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp.filePath(QStringLiteral("settings")));
        if (!fixture::HaveLame())
            QSKIP("lame is not installed");
        if (!oracle::Have())
            QSKIP("python3-mutagen is not installed");
    }
    void init() {
        m_asked = 0;
        m_question.clear();
        m_answer = true;
        fixture::TakeTrash();
    }

    // The whole album in list order: tracks counted up, titles from the file
    // names, the checked fields the same everywhere, each file's unchecked
    // fields its own, a read-only file made writable, the playlist.
    void albumRunWritesEveryFileInListOrder() {
        const QString folder = Folder(QStringLiteral("album"));
        const QStringList names{"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
        QVERIFY(fixture::MakeAlbum(folder, names));
        for (int i = 0; i < names.size(); ++i) {
            const QString own = QStringLiteral("eigen %1").arg(i);
            QVERIFY(oracle::Write(folder + names[i],
                                  QJsonObject{{"v2", QJsonObject{{"TPE1", "Alt"}, {"COMM", own}, {"TYER", "19" + QString::number(90 + i)}}},
                                              {"v1", QJsonObject{{"artist", "Alt"}, {"comment", own}, {"year", "19" + QString::number(90 + i)}}}}));
        }
        QVERIFY(QFile::setPermissions(folder + "c.mp3", QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const auto keptMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(folder + "b.mp3", keptMode));
        QVERIFY(fixture::Write(folder + "Best of.m3u", "old playlist, longer than the new one ........................................................................\r\n"));
        const QHash<QString, QByteArray> audio = AudioHashes(folder);

        auto w = Open(folder);
        MoveTo(*w, "d.mp3", 0);
        QCOMPARE(Entries(*w), QStringList({"d.mp3", "a.mp3", "b.mp3", "c.mp3"}));
        ToTagPage(*w);
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked());
        for (const char *toggle : {"bArtist", "bAlbum", "bTitel", "bTrack", "bFilesTitel"})
            Check(*w, toggle)->click();
        QVERIFY(Check(*w, "bTrackChange")->isChecked());
        Edit(*w, "tArtist")->setText("Künstlerin");
        Edit(*w, "tAlbum")->setText("Best of");
        Edit(*w, "tTrack")->setText("5");
        w->bPlayliste()->setChecked(true);

        QStringList progress;
        bool locked = true;
        DuringRun watch(*w, [&] {
            if (w->RunProgress()->isHidden())
                return; // before the first file or after the last
            const QString now = w->RunProgress()->format();
            if (!now.isEmpty() && (progress.isEmpty() || progress.last() != now))
                progress << now;
            locked = locked && !w->LDateien()->isEnabled() && !w->bOrdner()->isEnabled() &&
                     Root::TagNumber(w->LDateien()) == 2;
        });
        w->bStarten()->click();
        watch.timer.stop();

        QCOMPARE(m_asked, 1);
        QCOMPARE(m_question.value(0), QString(" Sortimentor Converter"));
        QCOMPARE(m_question.value(1), QString("ACHTUNG !\nSie verändern die Mp3-Informationen der markierten Felder \n"
                                              "für alle in der Dateiliste enthaltenen Audiodateien. \nDieser Vorgang kann "
                                              "nicht rückgängig gemacht werden.\n\nMöchten Sie wirklich fortfahren ?"));
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().failedSteps, 0);
        QCOMPARE(progress, QStringList({"Datei 1 von 4", "Datei 2 von 4", "Datei 3 von 4", "Datei 4 von 4"}));
        QVERIFY(locked);
        QVERIFY(w->RunProgress()->isHidden());

        // Reloaded: name order, the first page, every state "0", the list usable.
        QCOMPARE(Entries(*w), names);
        QVERIFY(Root::PageShown(w->xpFrames(3)));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(Root::TagOf(w->xpFrames(i)), QString("0"));
        QCOMPARE(Root::TagOf(w->LDateien()), QString("1"));
        QVERIFY(w->LDateien()->isEnabled());
        QVERIFY(w->bOrdner()->isEnabled());

        const QJsonObject tags = oracle::Read({folder + "a.mp3", folder + "b.mp3", folder + "c.mp3", folder + "d.mp3"});
        const struct {
            const char *name, *title, *track;
            int v1track, own;
        } want[] = {{"d.mp3", "d", "5", 5, 3}, {"a.mp3", "a", "6", 6, 0}, {"b.mp3", "b", "7", 7, 1}, {"c.mp3", "c", "8", 8, 2}};
        for (const auto &f : want) {
            const QJsonObject t = tags.value(folder + f.name).toObject();
            const QJsonObject v2 = t.value("v2").toObject();
            const QJsonObject v1 = t.value("v1").toObject();
            QCOMPARE(v2.value("version").toString(), QString("2.3"));
            QCOMPARE(v2.value("TPE1").toString(), QString("Künstlerin"));
            QCOMPARE(v2.value("TALB").toString(), QString("Best of"));
            QCOMPARE(v2.value("TIT2").toString(), QString(f.title));
            QCOMPARE(v2.value("TRCK").toString(), QString(f.track));
            QCOMPARE(v2.value("COMM").toString(), QStringLiteral("eigen %1").arg(f.own));
            QCOMPARE(v2.value("TYER").toString(), QStringLiteral("19%1").arg(90 + f.own));
            QCOMPARE(v1.value("artist").toString(), QString("Künstlerin"));
            QCOMPARE(v1.value("album").toString(), QString("Best of"));
            QCOMPARE(v1.value("title").toString(), QString(f.title));
            QCOMPARE(v1.value("track").toInt(), f.v1track);
            QCOMPARE(v1.value("comment").toString(), QStringLiteral("eigen %1").arg(f.own));
            QCOMPARE(v1.value("year").toString(), QStringLiteral("19%1").arg(90 + f.own));
        }
        QCOMPARE(AudioHashes(folder).value("a.mp3"), audio.value("a.mp3"));
        QCOMPARE(AudioHashes(folder).value("d.mp3"), audio.value("d.mp3"));
        QVERIFY(QFileInfo(folder + "c.mp3").permissions().testFlag(QFileDevice::WriteOwner));
        QCOMPARE(QFileInfo(folder + "b.mp3").permissions() & QFileDevice::Permissions(0x7077), keptMode);
        QCOMPARE(fixture::Read(folder + "Best of.m3u"), QByteArray("d.mp3\r\na.mp3\r\nb.mp3\r\nc.mp3\r\n"));
        QVERIFY(fixture::TrashedFiles().isEmpty());
    }

    // The counter as the user's locale reads it: an empty start and a text
    // that is no number both count on from 2.
    void trackCounterStartsFromWhatTheRowHolds() {
        const QString folder = Folder(QStringLiteral("counter"));
        QVERIFY(fixture::MakeAlbum(folder, {"1.mp3", "2.mp3", "3.mp3"}));
        for (const QString &start : {QString(), QStringLiteral("abc")}) {
            auto w = Open(folder);
            ToTagPage(*w);
            Check(*w, "bTrack")->click();
            Edit(*w, "tTrack")->setText(start);
            w->bStarten()->click();
            const QJsonObject tags = oracle::Read({folder + "1.mp3", folder + "2.mp3", folder + "3.mp3"});
            auto track = [&](const char *n) {
                return tags.value(folder + n).toObject().value("v2").toObject().value("TRCK").toString();
            };
            QCOMPARE(track("1.mp3"), start);
            QCOMPARE(track("2.mp3"), QString("2"));
            QCOMPARE(track("3.mp3"), QString("3"));
        }
    }

    void decliningChangesNothing() {
        const QString folder = Folder(QStringLiteral("declined"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        QHash<QString, QByteArray> before;
        for (const QString &n : fixture::Listing(folder))
            before.insert(n, fixture::Hash(folder + n));
        auto w = Open(folder);
        MoveTo(*w, "c.mp3", 0);
        ChooseRenaming(*w, QStringLiteral("Urlaub"), false);
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Nein");
        Edit(*w, "tAlbum")->setText("Liste");
        w->bPlayliste()->setChecked(true);
        m_answer = false;
        w->bStarten()->click();
        QCOMPARE(m_asked, 1);
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Declined);
        QCOMPARE(fixture::Listing(folder), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        for (const QString &n : fixture::Listing(folder))
            QCOMPARE(fixture::Hash(folder + n), before.value(n));
        QVERIFY(fixture::TrashedFiles().isEmpty());
        // No reload either: the page and the order stay for another try.
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        QCOMPARE(Entries(*w), QStringList({"c.mp3", "a.mp3", "b.mp3"}));
        QVERIFY(w->LDateien()->isEnabled());
    }

    // Renaming after the tag writing: numbered in list order, the old names in
    // the trash, the playlist naming the new files; with the present names
    // kept behind the number; upper-case extensions as they are.
    void renamingThroughTheWindow() {
        const QString folder = Folder(QStringLiteral("rename"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        const QHash<QString, QByteArray> audio = AudioHashes(folder);
        auto w = Open(folder);
        MoveTo(*w, "b.mp3", 0);
        ChooseRenaming(*w, QStringLiteral("Urlaub"), false);
        Edit(*w, "tAlbum")->setText("Urlaub");
        w->bPlayliste()->setChecked(true);
        w->bStarten()->click();
        QCOMPARE(m_asked, 1);
        QCOMPARE(fixture::Listing(folder), QStringList({"001- Urlaub.mp3", "002- Urlaub.mp3", "003- Urlaub.mp3", "Urlaub.m3u"}));
        QHash<QString, QByteArray> now = AudioHashes(folder);
        QCOMPARE(now.value("001- Urlaub.mp3"), audio.value("b.mp3"));
        QCOMPARE(now.value("002- Urlaub.mp3"), audio.value("a.mp3"));
        QCOMPARE(now.value("003- Urlaub.mp3"), audio.value("c.mp3"));
        QCOMPARE(fixture::Read(folder + "Urlaub.m3u"), QByteArray("001- Urlaub.mp3\r\n002- Urlaub.mp3\r\n003- Urlaub.mp3\r\n"));
        QStringList trashed = fixture::TakeTrash().keys();
        trashed.sort();
        QCOMPARE(trashed, QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        QCOMPARE(Entries(*w), QStringList({"001- Urlaub.mp3", "002- Urlaub.mp3", "003- Urlaub.mp3"}));
        QVERIFY(Root::PageShown(w->xpFrames(3)));

        // The present names kept; a single-file write renames too, and asks nothing.
        const QString second = Folder(QStringLiteral("rename-exist"));
        QVERIFY(fixture::MakeAlbum(second, {"Song.mp3", "Track.MP3"}, 7));
        const QHash<QString, QByteArray> audio2 = AudioHashes(second);
        auto w2 = Open(second);
        MoveTo(*w2, "Track.MP3", 0);
        ChooseRenaming(*w2, QString(), true);
        QCOMPARE(Edit(*w2, "tFilename")->text(), QString("Track"));
        Check(*w2, "bAlbumRefresh")->click();
        QVERIFY(!Check(*w2, "bAlbumRefresh")->isChecked());
        m_asked = 0;
        w2->bStarten()->click();
        QCOMPARE(m_asked, 0);
        QCOMPARE(fixture::Listing(second), QStringList({"001- Track.MP3", "002- Song.mp3"}));
        now = AudioHashes(second);
        QCOMPARE(now.value("001- Track.MP3"), audio2.value("Track.MP3"));
        QCOMPARE(now.value("002- Song.mp3"), audio2.value("Song.mp3"));
        QCOMPARE(fixture::TakeTrash().size(), 2);

        // A new name the file system cannot take: every file keeps its name, none is trashed.
        const QString third = Folder(QStringLiteral("rename-bad"));
        QVERIFY(fixture::MakeAlbum(third, {"x.mp3", "y.mp3"}));
        auto w3 = Open(third);
        ChooseRenaming(*w3, QStringLiteral("AC/DC"), false);
        w3->bStarten()->click();
        QCOMPARE(fixture::Listing(third), QStringList({"x.mp3", "y.mp3"}));
        QVERIFY(fixture::TrashedFiles().isEmpty());
        QCOMPARE(Entries(*w3), QStringList({"x.mp3", "y.mp3"}));
    }

    // An album numbered by an earlier run, reordered and numbered again: every
    // new name is some other file's present name, and nothing may be lost.
    void renumberingAfterReorderingLosesNothing() {
        const QString folder = Folder(QStringLiteral("renumber"));
        QVERIFY(fixture::MakeAlbum(folder, {"001.mp3", "002.mp3", "003.mp3", "004.mp3"}, 11));
        const QHash<QString, QByteArray> audio = AudioHashes(folder);
        auto w = Open(folder);
        MoveTo(*w, "004.mp3", 0);
        MoveTo(*w, "001.mp3", 3);
        QCOMPARE(Entries(*w), QStringList({"004.mp3", "002.mp3", "003.mp3", "001.mp3"}));
        ChooseRenaming(*w, QString(), false);
        w->bStarten()->click();
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(fixture::Listing(folder), QStringList({"001.mp3", "002.mp3", "003.mp3", "004.mp3"}));
        const QHash<QString, QByteArray> now = AudioHashes(folder);
        QCOMPARE(now.value("001.mp3"), audio.value("004.mp3"));
        QCOMPARE(now.value("002.mp3"), audio.value("002.mp3")); // same name: left where it is
        QCOMPARE(now.value("003.mp3"), audio.value("003.mp3"));
        QCOMPARE(now.value("004.mp3"), audio.value("001.mp3"));
        // The two that moved have their old copies in the trash, the others none.
        QStringList trashed = fixture::TakeTrash().keys();
        trashed.sort();
        QCOMPARE(trashed, QStringList({"001.mp3", "004.mp3"}));
    }

    void secondClickDuringARunStartsNothing() {
        const QString folder = Folder(QStringLiteral("twice"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        auto w = Open(folder);
        ToTagPage(*w);
        Check(*w, "bTrack")->click();
        Edit(*w, "tTrack")->setText("1");
        int clicks = 0;
        DuringRun again(*w, [&] {
            if (clicks < 3) {
                ++clicks;
                w->bStarten()->click();
            }
        });
        w->bStarten()->click();
        again.timer.stop();
        QCOMPARE(clicks, 3);
        QCOMPARE(m_asked, 1);
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().visited, 3);
        const QJsonObject tags = oracle::Read({folder + "a.mp3", folder + "b.mp3", folder + "c.mp3"});
        QCOMPARE(tags.value(folder + "c.mp3").toObject().value("v2").toObject().value("TRCK").toString(), QString("3"));
        QCOMPARE(Entries(*w), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    }

    // Closing while the second file is written: it is finished, the rest is
    // left alone, and then the window closes.
    void closeDuringARunStopsAfterTheCurrentFile() {
        const QString folder = Folder(QStringLiteral("close"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
        const QByteArray c = fixture::Read(folder + "c.mp3");
        const QByteArray d = fixture::Read(folder + "d.mp3");
        auto w = Open(folder);
        w->show();
        ToTagPage(*w);
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Geschrieben");
        bool closeRefused = false;
        DuringRun closer(*w, [&] {
            if (w->RunProgress()->value() == 2 && w->isVisible())
                closeRefused = !w->close();
        });
        w->bStarten()->click();
        closer.timer.stop();
        QVERIFY(closeRefused); // the close was put off ...
        QVERIFY(!w->isVisible()); // ... and done once the file was finished
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Stopped);
        QCOMPARE(w->LastRun().visited, 2);
        const QJsonObject tags = oracle::Read({folder + "a.mp3", folder + "b.mp3"});
        for (const char *n : {"a.mp3", "b.mp3"}) {
            const QJsonObject t = tags.value(folder + n).toObject();
            QCOMPARE(t.value("v2").toObject().value("TIT2").toString(), QString("Geschrieben"));
            QCOMPARE(t.value("v1").toObject().value("title").toString(), QString("Geschrieben"));
        }
        QCOMPARE(fixture::Read(folder + "c.mp3"), c);
        QCOMPARE(fixture::Read(folder + "d.mp3"), d);
    }
};

ALBUM_TEST_MAIN(QApplication, TestRootRun)
#include "tst_rootrun.moc"
