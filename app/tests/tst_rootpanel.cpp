// The tag panel of the window on real MP3 files: which tag fills the rows, the
// list tip, what a write of the selected file changes (read back by mutagen),
// the toggles, the renaming options and the about button.

#include "AlbumFixture.h"
#include "Info.h"
#include "Root.h"
#include "TagOracle.h"
#include "Tooltips_Class.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>
#include <utility>

namespace {

QString Text(const Root &w, const char *name) {
    if (const auto *e = w.Control<QLineEdit>(QString::fromLatin1(name)))
        return e->text();
    if (const auto *l = w.Control<QLabel>(QString::fromLatin1(name)))
        return l->text();
    return QStringLiteral("<missing>");
}

QCheckBox *Check(const Root &w, const char *name) { return w.Control<QCheckBox>(QString::fromLatin1(name)); }
QLineEdit *Edit(const Root &w, const char *name) { return w.Control<QLineEdit>(QString::fromLatin1(name)); }

// A small PNG-like blob for the cover picture; only its bytes matter.
const QString kPicture = QStringLiteral("89504e470d0a1a0a") + QString(600, QLatin1Char('7'));

} // namespace

class TestRootPanel : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QStringList m_notices;

    QString Folder(const QString &name) { return fixture::FreshFolder(m_tmp, name) + QLatin1Char('/'); }
    std::unique_ptr<Root> Open(const QString &folder) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->SetNotice([this](const QString &title, const QString &text) { m_notices << title << text; });
        w->SetConfirm([](const QString &, const QString &) {
            qWarning("unexpected question");
            return false;
        });
        w->bOrdnerClick();
        return w;
    }
    static void Select(Root &w, const QString &entry) {
        const auto found = w.LDateien()->findItems(entry, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        w.LDateien()->setCurrentItem(found.first());
    }
    static void ToTagPage(Root &w) {
        w.bStarten()->click();
        w.bStarten()->click();
        QVERIFY(Root::PageShown(w.xpFrames(1)));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp.filePath(QStringLiteral("settings")));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.01.0007"));
        if (!fixture::HaveLame())
            QSKIP("lame is not installed");
        if (!oracle::Have())
            QSKIP("python3-mutagen is not installed");
    }
    void init() { m_notices.clear(); }

    // ID3v2 first; ID3v1 only when the ID3v2 artist is empty; the track always
    // from ID3v2; the genre always as a name; the tip sums it up.
    void panelShowsTheTagsByTheFallbackRules() {
        const QString folder = Folder(QStringLiteral("fallback"));
        QVERIFY(fixture::MakeAlbum(folder, {"1 no artist.mp3", "2 no album.mp3", "3 bare.mp3", "4 numbered genre.mp3"}));
        QVERIFY(oracle::Write(folder + "1 no artist.mp3",
                              QJsonObject{{"v2", QJsonObject{{"TIT2", "V2 Titel"}, {"TALB", "V2 Album"}, {"TRCK", "3/12"}}},
                                          {"v1", QJsonObject{{"artist", "A"}, {"title", "T"}, {"year", "1987"},
                                                             {"comment", "v1 note"}, {"track", 5}, {"genre", 17}}}}));
        QVERIFY(oracle::Write(folder + "2 no album.mp3",
                              QJsonObject{{"v2", QJsonObject{{"TPE1", "Bänd"}, {"TCON", "Jazz"}}},
                                          {"v1", QJsonObject{{"artist", "Other"}, {"album", "V1 Album"}, {"genre", 17}}}}));
        QVERIFY(oracle::Write(folder + "4 numbered genre.mp3",
                              QJsonObject{{"v2", QJsonObject{{"TPE1", "X"}, {"TCON", "(17)"}, {"TRCK", "4"}}}}));
        auto w = Open(folder);
        QCOMPARE(w->LDateien()->count(), 4);

        Select(*w, "1 no artist.mp3");
        QCOMPARE(Text(*w, "tArtist"), QString("A"));
        QCOMPARE(Text(*w, "tTitel"), QString("T"));
        QCOMPARE(Text(*w, "tAlbum"), QString()); // the ID3v1 album is empty, and it wins
        QCOMPARE(Text(*w, "tYear"), QString("1987"));
        QCOMPARE(Text(*w, "tKommentar"), QString("v1 note"));
        QCOMPARE(Text(*w, "tTrack"), QString("3/12")); // as ID3v2 stores it, not the ID3v1 5
        QCOMPARE(Text(*w, "tGenre"), QString("Rock"));
        QCOMPARE(Text(*w, "cBitrate"), QString("32"));
        QCOMPARE(Text(*w, "cBitrate"), Text(*w, "sBitrate"));
        QCOMPARE(Text(*w, "cTimes"), QString("00:00:00")); // a quarter second
        QCOMPARE(w->Tooltips()->ToolText(w->LDateien()),
                 QString("Artist: A\n\rAlbum: \n\rTitel: T\n\rTrack: 3/12"));

        Select(*w, "2 no album.mp3");
        QCOMPARE(Text(*w, "tArtist"), QString("Bänd"));
        QCOMPARE(Text(*w, "tAlbum"), QString()); // ID3v2 has an artist: its empty album wins
        QCOMPARE(Text(*w, "tTrack"), QString());
        QCOMPARE(Text(*w, "tGenre"), QString("Jazz"));

        Select(*w, "3 bare.mp3");
        for (const char *row : {"tArtist", "tTitel", "tAlbum", "tYear", "tKommentar", "tTrack", "tGenre"})
            QCOMPARE(Text(*w, row), QString());
        QCOMPARE(Text(*w, "cBitrate"), QString("32"));
        QCOMPARE(w->Tooltips()->ToolText(w->LDateien()), QString("Artist: \n\rAlbum: \n\rTitel: \n\rTrack: "));

        Select(*w, "4 numbered genre.mp3");
        QCOMPARE(Text(*w, "tGenre"), QString("Rock")); // a number in brackets is shown by name
        QCOMPARE(Text(*w, "tTrack"), QString("4"));

        // While the program selects entries itself, the panel and the tip stay.
        Root::SetTag(w->LDateien(), QStringLiteral("2"));
        Select(*w, "1 no artist.mp3");
        QCOMPARE(Text(*w, "tArtist"), QString("X"));
        QCOMPARE(w->Tooltips()->ToolText(w->LDateien()), QString("Artist: X\n\rAlbum: \n\rTitel: \n\rTrack: 4"));
        Root::SetTag(w->LDateien(), QStringLiteral("1"));

        // A file that is not there any more: the rows are emptied, nothing is shown for it.
        QVERIFY(QFile::remove(folder + "2 no album.mp3"));
        Select(*w, "2 no album.mp3");
        QCOMPARE(Text(*w, "tArtist"), QString());
        QCOMPARE(Text(*w, "cBitrate"), QString("0"));

        // An empty list: reading leaves the rows as they are.
        w->LDateien()->clear();
        Edit(*w, "tArtist")->setText("kept");
        w->GetMp3Info();
        QCOMPARE(Text(*w, "tArtist"), QString("kept"));
    }

    // The single-file write changes the checked fields of the selected file in
    // both tags and nothing else: not the other fields, not the cover picture,
    // not the other files.
    void onlyCheckedFieldsChange() {
        const QString folder = Folder(QStringLiteral("checked"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3"}));
        const QJsonObject v2{{"TPE1", "Künstler"}, {"TIT2", "Alt"},     {"TALB", "Platte"}, {"TYER", "1999"},
                             {"COMM", "Notiz"},    {"TRCK", "3/12"},    {"TCON", "(17)"},   {"APIC", kPicture}};
        const QJsonObject v1{{"artist", "Künstler"}, {"title", "Alt"}, {"album", "Platte"}, {"year", "1999"},
                             {"comment", "Notiz"},   {"track", 3},     {"genre", 17}};
        QVERIFY(oracle::Write(folder + "a.mp3", QJsonObject{{"v2", v2}, {"v1", v1}}));
        const QByteArray otherFile = fixture::Read(folder + "b.mp3");
        const QJsonObject before = oracle::ReadOne(folder + "a.mp3");
        QCOMPARE(before.value("v2").toObject().value("TIT2").toString(), QString("Alt"));

        auto w = Open(folder);
        Select(*w, "a.mp3");
        ToTagPage(*w);
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked()); // two entries
        Check(*w, "bAlbumRefresh")->click();                // the selected file alone
        Check(*w, "bTitel")->click();
        QVERIFY(!Edit(*w, "tTitel")->isReadOnly());
        Edit(*w, "tTitel")->setText("Neu");
        Edit(*w, "tArtist")->setText("not written"); // its toggle is unchecked
        w->bStarten()->click();
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().failedSteps, 0);

        QJsonObject after = oracle::ReadOne(folder + "a.mp3");
        QJsonObject expected2 = before.value("v2").toObject();
        expected2["TIT2"] = "Neu";
        QCOMPARE(after.value("v2").toObject(), expected2);
        QJsonObject expected1 = before.value("v1").toObject();
        expected1["title"] = "Neu";
        QCOMPARE(after.value("v1").toObject(), expected1);
        QCOMPARE(fixture::Read(folder + "b.mp3"), otherFile);
        QVERIFY(Root::PageShown(w->xpFrames(1))); // no reload after a single-file write

        // The track goes into ID3v2 only when checked, and into ID3v1 from the
        // row always; a checked genre reaches ID3v1 through the stream writer only.
        Check(*w, "bTitel")->click();
        Check(*w, "bTrack")->click();
        Edit(*w, "tTrack")->setText("9");
        Check(*w, "bGenre")->click();
        Edit(*w, "tGenre")->setText("Pop");
        w->bStarten()->click();
        after = oracle::ReadOne(folder + "a.mp3");
        expected2["TRCK"] = "9";
        QCOMPARE(after.value("v2").toObject(), expected2); // TCON untouched
        expected1["track"] = 9;
        expected1["genre"] = 13;
        QCOMPARE(after.value("v1").toObject(), expected1);
        QCOMPARE(fixture::Read(folder + "b.mp3"), otherFile);
    }

    void togglesLockTheirRowsAndSetTheIcon() {
        const QString folder = Folder(QStringLiteral("toggles"));
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3"}));
        auto w = Open(folder);
        ToTagPage(*w);
        const struct {
            const char *toggle, *edit;
        } rows[] = {{"bArtist", "tArtist"}, {"bTitel", "tTitel"}, {"bAlbum", "tAlbum"},   {"bYear", "tYear"},
                    {"bKommentar", "tKommentar"}, {"bTrack", "tTrack"}, {"bGenre", "tGenre"}};
        // However a box changes: a click, the program, a screen reader's toggle action.
        const std::pair<const char *, std::function<void(QCheckBox *)>> ways[] = {
            {"click", [](QCheckBox *b) { b->click(); }},
            {"setChecked", [](QCheckBox *b) { b->setChecked(!b->isChecked()); }},
            {"accessible toggle", [](QCheckBox *b) {
                 QAccessibleInterface *a = QAccessible::queryAccessibleInterface(b);
                 QVERIFY(a && a->actionInterface());
                 a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
             }},
        };
        for (const auto &[way, toggle] : ways) {
            for (const auto &row : rows) {
                const QByteArray where = QByteArray(way) + " " + row.edit;
                QVERIFY2(Edit(*w, row.edit)->isReadOnly(), where);
                w->SetHelpIcon(7);
                toggle(Check(*w, row.toggle));
                QVERIFY2(!Edit(*w, row.edit)->isReadOnly(), where);
                QCOMPARE(w->HelpIcon(), 8);
                w->SetHelpIcon(7);
                toggle(Check(*w, row.toggle));
                QVERIFY2(Edit(*w, row.edit)->isReadOnly(), where);
                QCOMPARE(w->HelpIcon(), 8);
            }
        }

        // One entry: the album option stays off and the counter option unusable.
        auto *refresh = Check(*w, "bAlbumRefresh");
        auto *trackChange = Check(*w, "bTrackChange");
        QVERIFY(!refresh->isChecked());
        QVERIFY(!trackChange->isEnabled());
        Check(*w, "bTrack")->click();
        QVERIFY(!trackChange->isChecked());
        Check(*w, "bTrack")->click();
        refresh->click();
        QVERIFY(trackChange->isEnabled());
        Check(*w, "bTrack")->click();
        QVERIFY(trackChange->isChecked());
        refresh->click();
        QVERIFY(!trackChange->isEnabled());
        QVERIFY(trackChange->isChecked()); // its value is left alone
    }

    void renamingOptionsKeepThePageState() {
        const QString folder = Folder(QStringLiteral("options"));
        QVERIFY(fixture::MakeAlbum(folder, {"Song.mp3", "Zwei.mp3"}));
        auto w = Open(folder);
        Select(*w, "Song.mp3");
        w->bStarten()->click();
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        auto *name = Edit(*w, "tFilename");
        auto *change = Check(*w, "bChangeFilename");
        auto *useExist = Check(*w, "bUseExistFile");

        change->click();
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("2"));
        w->SetHelpIcon(6);
        change->click();
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("1"));
        QCOMPARE(w->HelpIcon(), 5);

        name->setText("Ab");
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("1"));
        name->setText("Abc");
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("2"));
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 6);
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("1"));

        useExist->click();
        QCOMPARE(name->text(), QString("Song"));
        QVERIFY(!name->isEnabled());
        QCOMPARE(m_notices, QStringList({" Dateien umbenennen",
                                         "Alle Dateien werden nacheinander nummeriert, ohne den restlichen Dateinamen zu "
                                         "ändern.  "}));
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("2"));
        useExist->click();
        QVERIFY(name->isEnabled());
        QCOMPARE(name->text(), QString());
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QString("1"));
        QCOMPARE(m_notices.size(), 2); // asked once only

        // No selection: the name is left as it is, and nothing breaks.
        name->setText("Rest");
        w->LDateien()->setCurrentRow(-1);
        useExist->click();
        QCOMPARE(name->text(), QString("Rest"));
        QVERIFY(!name->isEnabled());
    }

    void aboutDialogFromTheHelpPanel() {
        auto w = std::make_unique<Root>();
        QToolButton *info = w->bInfo();
        QVERIFY(info);
        QCOMPARE(info->accessibleName(), QString("Info über Sortimentor"));
        QVERIFY(w->Control(QStringLiteral("pHelpBackground"))->isAncestorOf(info));
        info->click();
        auto *dialog = w->findChild<Info *>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->RName->text(), QString("Sortimentor 1.01 Build 700"));
        QCOMPARE(dialog->windowTitle(), QString(" Info über Sortimentor"));
        dialog->BAbbrechen->click();
        QTRY_VERIFY(w->findChild<Info *>() == nullptr);
    }
};

ALBUM_TEST_MAIN(QApplication, TestRootPanel)
#include "tst_rootpanel.moc"
