// The one-click orders of the album list on files built byte by byte, and the preview
// against what the run then writes, read back through the tag engine.

#include "RunDialogs.h"
#include "RunPreview.h"
#include "WindowFixture.h"

namespace {

using namespace id3bytes;

// An MP3 file: the tag (2.3 unless v4), twenty audio frames, an optional ID3v1 record.
QByteArray Mp3(const std::string &frames, const std::string &v1 = {}, bool v4 = false) {
    const std::string tag = frames.empty() ? std::string() : Tag(v4 ? 4 : 3, frames, 16);
    const std::string bytes = tag + streambytes::Stream(streambytes::Mpeg{}, 20) + v1;
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string T(const char *id, const char *text, bool v4 = false) { return Frame(id, Text(text), 0, v4); }

QString Joined(const QListWidget *list) { return fixture::Texts(list).join(' ').remove(QStringLiteral(".mp3")); }

} // namespace

class TestSortPreview : public WindowTest {
    Q_OBJECT

private slots:
    void init() { Reset(); }

    void ordersWithOneClick_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("order");
        const QByteArray none = Mp3({});
        QTest::newRow("numbers by value") << QStringList{"1 - a.mp3", "10 - c.mp3", "2 - b.mp3"}
                                          << QByteArrayList{none, none, none} << "bNachDateiname" << "1 - a 2 - b 10 - c";
        QTest::newRow("case and accents") << QStringList{"Track 10.mp3", "track 9.mp3", "Über.mp3", "Ähm.mp3", "zu.mp3"}
                                          << QByteArrayList{none, none, none, none, none} << "bNachDateiname"
                                          << "Ähm track 9 Track 10 Über zu";
        // Two discs, n/total, a 2.4 tag, ID3v1 where ID3v2 has no number, unnumbered last by name.
        QTest::newRow("tracks of two discs")
            << QStringList{"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3", "g.mp3"}
            << QByteArrayList{Mp3(T("TRCK", "2/3", true) + T("TPOS", "2/2", true), {}, true),
                              Mp3(T("TRCK", "1/3") + T("TPOS", "2/2")), Mp3(T("TRCK", "03") + T("TPOS", "1/2")),
                              Mp3(T("TIT2", "no number")), Mp3(T("TRCK", "1") + T("TPOS", "1")),
                              Mp3(T("TRCK", "x"), V1("f", "", "", "", "", 2)), none}
            << "bNachTracknummer" << "e f c b a d g";
        QTest::newRow("titles") << QStringList{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}
                                << QByteArrayList{Mp3(T("TIT2", "Zwei")), none, Mp3(T("TIT2", "eins")),
                                                  Mp3(T("TALB", "x"), V1("Drei"))}
                                << "bNachTitel" << "d c a b";
    }
    void ordersWithOneClick() {
        QFETCH(QStringList, names);
        QFETCH(QByteArrayList, files);
        QFETCH(QString, button);
        QFETCH(QString, order);
        const QString folder = fixture::FreshFolder(m_tmp, "sort");
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(fixture::Write(folder + names[i], files[i]));
        auto w = Open(folder);
        w->LDateien()->setCurrentRow(0);
        const QString selected = w->LDateien()->currentItem()->text();
        w->Control<QPushButton>(button)->click();
        // Tag orders are read in the background: the click returns at once.
        QCOMPARE(w->IsSorting(), button != "bNachDateiname");
        QTRY_VERIFY(!w->IsSorting());
        QCOMPARE(Joined(w->LDateien()), order);
        QCOMPARE(w->LDateien()->currentItem()->text(), selected);
    }

    // The preview's rows are what the files hold after the run: track (with the total),
    // title and new name; rows left unchanged keep the file's own.
    // A new name the folder refuses is marked as keeping the old one, and kept; one that only
    // Windows and sticks refuse is marked so and given here (on Windows it is refused here too).
    void previewShowsWhatTheRunWrites_data() {
        QTest::addColumn<bool>("album");
        QTest::addColumn<QString>("name"); // the new names' text; none: no renaming
        QTest::addColumn<int>("fate");
        const int onSticks = int(QSysInfo::productType() == "windows" ? album::NameFate::KeepsOldName : album::NameFate::NotPortable);
        QTest::newRow("album, total, renamed, title from name") << true << "Lied" << int(album::NameFate::Fine);
        QTest::newRow("one file") << false << QString() << int(album::NameFate::Fine);
        QTest::newRow("a separator in the name") << true << "AC/DC Live" << int(album::NameFate::KeepsOldName);
        QTest::newRow("a name sticks refuse") << true << "Live: Köln?" << onSticks;
    }
    void previewShowsWhatTheRunWrites() {
        QFETCH(bool, album);
        QFETCH(QString, name);
        QFETCH(int, fate);
        const QString folder = fixture::FreshFolder(m_tmp, "preview");
        const QStringList names{"b Zwei.mp3", "a Eins.mp3", "c Drei.mp3"};
        for (const QString &n : names)
            QVERIFY(fixture::Write(folder + n, Mp3(T("TRCK", "9") + T("TIT2", "alt"), V1("alt", "", "", "", "", 9))));
        auto w = Open(folder);
        w->LDateien()->setCurrentRow(2);
        w->bStarten()->click();
        if (!name.isNull()) {
            w->Control<QCheckBox>("bChangeFilename")->click();
            w->Control<QLineEdit>("tFilename")->setText(name);
        }
        w->bStarten()->click();
        w->Control<QCheckBox>("bAlbumRefresh")->setChecked(album);
        for (const char *toggle : {"bTrack", "bTitel"})
            w->Control<QCheckBox>(toggle)->click();
        w->Control<QCheckBox>("bGesamtzahl")->setChecked(album);
        w->Control<QCheckBox>("bFilesTitel")->setChecked(album);
        w->Control<QLineEdit>("tTrack")->setText("7");
        w->Control<QLineEdit>("tTitel")->setText("Neu");
        w->bPlayliste()->setChecked(album);
        w->Control<QLineEdit>("tAlbum")->setText(name.contains('/') ? "AC/DC" : "Live");  // the playlist's name
        QCOMPARE(album::PlaylistNote(w->RunPreviewInput()).contains("nicht geschrieben"), name.contains('/'));
        const std::vector<album::PreviewRow> rows = w->RunPreviewRows();
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows[2].track.value_or("-"), album ? "9/3" : "7");
        const std::unique_ptr<QDialog> shown(album::MakePreviewDialog(rows, nullptr));  // as the button shows them
        const auto *table = shown->findChild<QTableWidget *>("LVorschau");
        const int notes = fate ? 1 : 0;
        QCOMPARE(table->item(2, table->columnCount() - 2 - notes)->text(), album ? "9/3" : "7");
        QCOMPARE(table->item(2, table->columnCount() - 1)->text(), notes ? album::FateText(album::NameFate(fate)) : *rows[2].title);
        w->bStarten()->click();
        QTRY_VERIFY(!w->IsRunning());
        for (const album::PreviewRow &r : rows) {
            QCOMPARE(int(r.fate), fate);
            const QString path = folder + (r.newName.isEmpty() || r.fate == album::NameFate::KeepsOldName ? r.presentName : r.newName);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            const QJsonObject t = fixture::ReadTags(path);
            QCOMPARE(t["v2"]["TRCK"].toString() + "|" + t["v2"]["TIT2"].toString(), r.track.value_or("9") + "|" + r.title.value_or("alt"));
            QCOMPARE(t["v1"]["track"].toInt(), r.track ? r.track->section('/', 0, 0).toInt() : 9); // a plain number
            QCOMPARE(fixture::Audio(fixture::Read(path)), Mp3({}));
        }
    }
};

SORTI_TEST_MAIN(QApplication, TestSortPreview)
#include "tst_sortpreview.moc"
