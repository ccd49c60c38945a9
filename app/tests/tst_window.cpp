// The window on album folders of real MP3 files, one case per behaviour: the album
// run, declining, renaming, a second click, closing mid-run, the panel's fallback and
// the checked-only write. What is written is read back by mutagen.

#include "AlbumFixture.h"
#include "Root.h"
#include "Tooltips_Class.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

using fixture::Texts;

namespace {

QCheckBox *Check(const Root &w, const char *name) { return w.Control<QCheckBox>(QString::fromLatin1(name)); }
QLineEdit *Edit(const Root &w, const char *name) { return w.Control<QLineEdit>(QString::fromLatin1(name)); }
QString Shown(const Root &w, const char *name) {
    if (const auto *e = Edit(w, name))
        return e->text();
    return w.Control<QLabel>(QString::fromLatin1(name))->text();
}

// Runs `fn` on every pass of the event loop while the window is in a run.
struct DuringRun {
    QTimer timer;
    DuringRun(Root &w, std::function<void()> fn) {
        QObject::connect(&timer, &QTimer::timeout, [&w, fn] {
            if (w.IsRunning())
                fn();
        });
        timer.start(0);
    }
};

void Select(Root &w, const QString &entry) {
    w.LDateien()->setCurrentItem(w.LDateien()->findItems(entry, Qt::MatchExactly).value(0));
}

// Moves `entry` to list position `to` with the arrow buttons.
void MoveTo(Root &w, const QString &entry, int to) {
    Select(w, entry);
    while (w.LDateien()->currentRow() > to)
        w.bAufwaertsClick();
    while (w.LDateien()->currentRow() < to)
        w.bAbwaertsClick();
}

// On to the tag page; with a name the renaming is chosen on the way (no name: the present ones).
void ToTagPage(Root &w, const std::optional<QString> &rename = {}) {
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(2)));
    if (rename) {
        Check(w, "bChangeFilename")->click();
        if (rename->isEmpty())
            Check(w, "bUseExistFile")->click();
        else
            Edit(w, "tFilename")->setText(*rename);
    }
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(1)));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_asked = 0;
    QStringList m_notices;

    std::unique_ptr<Root> Open(const QString &folder, bool realQuestion = false) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->SetNotice([this](const QString &title, const QString &text) { m_notices << title + "|" + text; });
        if (!realQuestion)
            w->SetConfirm([this](const QString &, const QString &) { return ++m_asked; });
        w->bOrdnerClick();
        return w;
    }

private slots:
    void initTestCase() { fixture::RequireTools(); }
    void init() {
        m_asked = 0;
        m_notices.clear();
        fixture::TakeTrash();
    }

    // Tracks counted up, titles from the file names, the checked fields the same in
    // every file, the others each file's own; a read-only file made writable; the playlist.
    void albumRunWritesEveryFileInListOrder() {
        const QString folder = fixture::FreshFolder(m_tmp, "album");
        const QStringList names{"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
        QVERIFY(fixture::MakeAlbum(folder, names));
        for (int i = 0; i < names.size(); ++i) {
            const QString own = QString::number(1990 + i);
            QVERIFY(fixture::WriteTags(folder + names[i],
                                       {{"v2", QJsonObject{{"TPE1", "Alt"}, {"COMM", own}, {"TYER", own}}},
                                        {"v1", QJsonObject{{"artist", "Alt"}, {"comment", own}, {"year", own}}}}));
        }
        QVERIFY(QFile::setPermissions(folder + "c.mp3", QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const auto keptMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(folder + "b.mp3", keptMode));
        QVERIFY(fixture::Write(folder + "Best of.m3u", QByteArray(300, 'x')));
        const auto audio = fixture::AudioHashes(folder);

        auto w = Open(folder);
        MoveTo(*w, "d.mp3", 0);
        ToTagPage(*w);
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked());
        for (const char *toggle : {"bArtist", "bAlbum", "bTitel", "bTrack", "bFilesTitel"})
            Check(*w, toggle)->click();
        Edit(*w, "tArtist")->setText("Künstlerin");
        Edit(*w, "tAlbum")->setText("Best of");
        Edit(*w, "tTrack")->setText("5");
        w->bPlayliste()->setChecked(true);
        QStringList progress;
        bool locked = true;
        DuringRun watch(*w, [&] {
            const QString now = w->RunProgress()->isVisible() ? w->RunProgress()->format() : QString();
            if (!now.isEmpty() && progress.value(progress.size() - 1) != now)
                progress << now;
            locked = locked && !w->LDateien()->isEnabled() && !w->bOrdner()->isEnabled();
        });
        w->show();
        w->bStarten()->click();

        QCOMPARE(m_asked, 1);
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().failedSteps, 0);
        QCOMPARE(progress, QStringList({"Datei 1 von 4", "Datei 2 von 4", "Datei 3 von 4", "Datei 4 von 4"}));
        QVERIFY(locked);
        // Reloaded in name order, back on the first page, usable again.
        QCOMPARE(Texts(w->LDateien()), names);
        QVERIFY(Root::PageShown(w->xpFrames(3)));
        QVERIFY(w->LDateien()->isEnabled() && w->bOrdner()->isEnabled() && w->RunProgress()->isHidden());

        const struct {
            const char *name;
            int track, own;
        } want[] = {{"d", 5, 3}, {"a", 6, 0}, {"b", 7, 1}, {"c", 8, 2}};
        for (const auto &f : want) {
            const QString name = QString::fromLatin1(f.name) + ".mp3", own = QString::number(1990 + f.own);
            const QJsonObject t = fixture::ReadTags(folder + name);
            QCOMPARE(t.value("v2").toObject(), QJsonObject({{"TPE1", "Künstlerin"}, {"TALB", "Best of"}, {"TIT2", f.name},
                                                            {"TRCK", QString::number(f.track)}, {"COMM", own}, {"TDRC", own}}));
            QCOMPARE(t.value("v1").toObject(), QJsonObject({{"artist", "Künstlerin"}, {"album", "Best of"}, {"title", f.name},
                                                            {"track", f.track}, {"comment", own}, {"year", own},
                                                            {"genre", 255}}));
            QCOMPARE(fixture::AudioHashes(folder).value(name), audio.value(name));
        }
        QVERIFY(QFileInfo(folder + "c.mp3").permissions().testFlag(QFileDevice::WriteOwner));
        QCOMPARE(QFileInfo(folder + "b.mp3").permissions() & QFileDevice::Permissions(0x7077), keptMode);
        QCOMPARE(fixture::Read(folder + "Best of.m3u"), QByteArray("d.mp3\r\na.mp3\r\nb.mp3\r\nc.mp3\r\n"));
        QVERIFY(fixture::TakeTrash().isEmpty());
    }

    // The real question box: "Nein" is its default, so Enter declines and nothing changes.
    void enterOnTheQuestionDeclines() {
        const QString folder = fixture::FreshFolder(m_tmp, "declined");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        const auto before = fixture::Snapshot(folder);
        auto w = Open(folder, true);
        MoveTo(*w, "c.mp3", 0);
        ToTagPage(*w, QStringLiteral("Urlaub"));
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Nein");
        w->bPlayliste()->setChecked(true);
        QString title, defaultButton;
        QTimer enter;
        connect(&enter, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            enter.stop();
            title = box->windowTitle();
            defaultButton = box->defaultButton() ? box->defaultButton()->text().remove('&') : QString();
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
        });
        enter.start(10);
        w->bStarten()->click();

        QCOMPARE(title, QStringLiteral(" Sortimentor Converter"));
        QCOMPARE(defaultButton, QStringLiteral("Nein"));
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Declined);
        QCOMPARE(fixture::Snapshot(folder), before);
        QVERIFY(fixture::TakeTrash().isEmpty());
        // No reload: the page and the order stay for another try.
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        QCOMPARE(Texts(w->LDateien()), QStringList({"c.mp3", "a.mp3", "b.mp3"}));
    }

    // Numbered in list order after the tags are written, the old names in the trash,
    // the playlist naming the new files; a single-file write renames too and asks nothing.
    void renamingNumbersTheFilesInListOrder() {
        const QString folder = fixture::FreshFolder(m_tmp, "rename");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        auto audio = fixture::AudioHashes(folder);
        auto w = Open(folder);
        MoveTo(*w, "b.mp3", 0);
        ToTagPage(*w, QStringLiteral("Urlaub"));
        Edit(*w, "tAlbum")->setText("Urlaub");
        w->bPlayliste()->setChecked(true);
        w->bStarten()->click();
        QCOMPARE(m_asked, 1);
        const QStringList numbered{"001- Urlaub.mp3", "002- Urlaub.mp3", "003- Urlaub.mp3"};
        QCOMPARE(fixture::Listing(folder), numbered + QStringList{"Urlaub.m3u"});
        auto now = fixture::AudioHashes(folder);
        QCOMPARE(QList({now[numbered[0]], now[numbered[1]], now[numbered[2]]}), QList({audio["b.mp3"], audio["a.mp3"], audio["c.mp3"]}));
        QCOMPARE(fixture::Read(folder + "Urlaub.m3u"), numbered.join("\r\n").toUtf8() + "\r\n");
        QCOMPARE(fixture::Sorted(fixture::TakeTrash().keys()), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        QCOMPARE(Texts(w->LDateien()), numbered);
        QVERIFY(Root::PageShown(w->xpFrames(3)));

        const QString second = fixture::FreshFolder(m_tmp, "rename-exist");
        QVERIFY(fixture::MakeAlbum(second, {"Song.mp3", "Track.MP3"}, 7));
        audio = fixture::AudioHashes(second);
        auto w2 = Open(second);
        MoveTo(*w2, "Track.MP3", 0);
        ToTagPage(*w2, QString());
        QCOMPARE(Edit(*w2, "tFilename")->text(), QString("Track"));
        Check(*w2, "bAlbumRefresh")->click();
        w2->bStarten()->click();
        QCOMPARE(m_asked, 1);
        QCOMPARE(fixture::Listing(second), QStringList({"001- Track.MP3", "002- Song.mp3"}));
        now = fixture::AudioHashes(second);
        QCOMPARE(QList({now["001- Track.MP3"], now["002- Song.mp3"]}), QList({audio["Track.MP3"], audio["Song.mp3"]}));
        QCOMPARE(fixture::TakeTrash().size(), 2);
    }

    void secondClickDuringARunStartsNothing() {
        const QString folder = fixture::FreshFolder(m_tmp, "twice");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        auto w = Open(folder);
        ToTagPage(*w);
        Check(*w, "bTrack")->click();
        Edit(*w, "tTrack")->setText("1");
        int clicks = 0;
        DuringRun again(*w, [&] {
            if (clicks < 3 && ++clicks)
                w->bStarten()->click();
        });
        w->bStarten()->click();
        QCOMPARE(clicks, 3);
        QCOMPARE(m_asked, 1);
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().visited, 3);
        QCOMPARE(fixture::ReadTags(folder + "c.mp3").value("v2").toObject().value("TRCK").toString(), QString("3"));
    }

    // Closing while the second file is written: it is finished, the rest left alone,
    // then the window closes.
    void closeDuringARunStopsAfterTheCurrentFile() {
        const QString folder = fixture::FreshFolder(m_tmp, "close");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
        const auto before = fixture::Snapshot(folder);
        auto w = Open(folder);
        w->show();
        ToTagPage(*w);
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Geschrieben");
        w->bPlayliste()->setChecked(true);
        bool closeRefused = false;
        DuringRun closer(*w, [&] {
            if (w->RunProgress()->value() == 2 && w->isVisible())
                closeRefused = !w->close();
        });
        w->bStarten()->click();
        QVERIFY(closeRefused);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Stopped);
        QCOMPARE(w->LastRun().visited, 2);
        for (const QString name : {"a.mp3", "b.mp3"}) {
            const QJsonObject t = fixture::ReadTags(folder + name);
            QCOMPARE(t["v2"]["TIT2"].toString(), QString("Geschrieben"));
            QCOMPARE(t["v1"]["title"].toString(), QString("Geschrieben"));
        }
        const auto after = fixture::Snapshot(folder);
        QCOMPARE(QList({after["c.mp3"], after["d.mp3"]}), QList({before["c.mp3"], before["d.mp3"]}));
        QCOMPARE(after.size(), 4); // no playlist after a stop
    }

    // ID3v1 fills the panel only when the ID3v2 artist is empty; the track always comes
    // from ID3v2, the genre as a name; the list tip sums it up.
    void panelFallsBackToId3v1WithoutAnId3v2Artist() {
        const QString folder = fixture::FreshFolder(m_tmp, "fallback");
        QVERIFY(fixture::MakeAlbum(folder, {"1.mp3", "2.mp3", "3.mp3"}));
        QVERIFY(fixture::WriteTags(folder + "1.mp3",
                                   {{"v2", QJsonObject{{"TIT2", "V2 Titel"}, {"TALB", "V2 Album"}, {"TRCK", "3/12"}}},
                                    {"v1", QJsonObject{{"artist", "A"}, {"title", "T"}, {"year", "1987"},
                                                       {"comment", "v1 note"}, {"track", 5}, {"genre", 17}}}}));
        QVERIFY(fixture::WriteTags(folder + "2.mp3", {{"v2", QJsonObject{{"TPE1", "Bänd"}, {"TCON", "(17)"}}},
                                                      {"v1", QJsonObject{{"artist", "Other"}, {"album", "V1 Album"}}}}));
        auto w = Open(folder);
        const char *rows[] = {"tArtist", "tTitel", "tAlbum", "tYear", "tKommentar", "tTrack", "tGenre", "cBitrate", "cTimes"};
        const struct {
            const char *entry;
            QStringList shown;
            QString tip;
        } cases[] = {
            {"1.mp3", {"A", "T", "", "1987", "v1 note", "3/12", "Rock", "32", "00:00:00"},
             "Artist: A\n\rAlbum: \n\rTitel: T\n\rTrack: 3/12"},
            {"2.mp3", {"Bänd", "", "", "", "", "", "Rock", "32", "00:00:00"}, "Artist: Bänd\n\rAlbum: \n\rTitel: \n\rTrack: "},
            {"3.mp3", {"", "", "", "", "", "", "", "32", "00:00:00"}, "Artist: \n\rAlbum: \n\rTitel: \n\rTrack: "},
        };
        for (const auto &c : cases) {
            Select(*w, c.entry);
            QStringList shown;
            for (const char *row : rows)
                shown << Shown(*w, row);
            QCOMPARE(shown, c.shown);
            QCOMPARE(w->Tooltips()->ToolText(w->LDateien()), c.tip);
        }
        // While the program selects entries itself, the panel and the tip stay.
        Root::SetTag(w->LDateien(), QStringLiteral("2"));
        Select(*w, "2.mp3");
        QCOMPARE(Shown(*w, "tArtist"), QString());
        Root::SetTag(w->LDateien(), QStringLiteral("1"));
        // A file gone since the listing: the rows are emptied.
        Select(*w, "2.mp3");
        QVERIFY(QFile::remove(folder + "1.mp3"));
        Select(*w, "1.mp3");
        QCOMPARE(QStringList({Shown(*w, "tArtist"), Shown(*w, "cBitrate")}), QStringList({"", "0"}));
    }

    // A single-file write changes the checked fields of the selected file in both tags,
    // nothing else: not the other fields, not the picture, not the other file. The track
    // reaches ID3v2 only when checked and ID3v1 always; the genre ID3v1 only.
    void singleFileWriteChangesOnlyTheCheckedFields() {
        const QString folder = fixture::FreshFolder(m_tmp, "checked");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3"}));
        const QString picture = "89504e470d0a1a0a" + QString(600, '7');
        QVERIFY(fixture::WriteTags(
            folder + "a.mp3",
            {{"v2", QJsonObject{{"TPE1", "Künstler"}, {"TIT2", "Alt"}, {"TALB", "Platte"}, {"TYER", "1999"},
                                {"COMM", "Notiz"}, {"TRCK", "3/12"}, {"TCON", "(17)"}, {"APIC", picture}}},
             {"v1", QJsonObject{{"artist", "Künstler"}, {"title", "Alt"}, {"album", "Platte"}, {"year", "1999"},
                                {"comment", "Notiz"}, {"track", 3}, {"genre", 17}}}}));
        const QByteArray other = fixture::Read(folder + "b.mp3");
        const QJsonObject before = fixture::ReadTags(folder + "a.mp3");
        QJsonObject v2 = before["v2"].toObject(), v1 = before["v1"].toObject();

        auto w = Open(folder);
        Select(*w, "a.mp3");
        ToTagPage(*w);
        Check(*w, "bAlbumRefresh")->click(); // the selected file alone
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Neu");
        Edit(*w, "tArtist")->setText("not written"); // its toggle is unchecked
        Edit(*w, "tGenre")->setText("Pop");          // nor is this one's
        Edit(*w, "tTrack")->setText("4");            // ID3v1 takes the track row always
        w->bStarten()->click();
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().failedSteps, 0);
        v2["TIT2"] = v1["title"] = "Neu";
        v1["track"] = 4;
        QJsonObject after = fixture::ReadTags(folder + "a.mp3");
        QCOMPARE(after["v2"].toObject(), v2);
        QCOMPARE(after["v1"].toObject(), v1);
        QVERIFY(Root::PageShown(w->xpFrames(1))); // no reload after a single-file write

        Check(*w, "bTitel")->click();
        Check(*w, "bTrack")->click();
        Edit(*w, "tTrack")->setText("9");
        Check(*w, "bGenre")->click();
        w->bStarten()->click();
        v2["TRCK"] = "9";
        v1["track"] = 9;
        v1["genre"] = 13;
        after = fixture::ReadTags(folder + "a.mp3");
        QCOMPARE(after["v2"].toObject(), v2);
        QCOMPARE(after["v1"].toObject(), v1);
        QCOMPARE(fixture::Read(folder + "b.mp3"), other);
        QCOMPARE(m_asked, 0);
    }
};

SORTI_TEST_MAIN(QApplication, TestWindow)
#include "tst_window.moc"
