// Listing a folder and the three order moves, on a bare list widget.
#include "AlbumFixture.h"
#include "AlbumList.h"

#include <QApplication>

class TestAlbumList : public QObject {
    Q_OBJECT

    static void Fill(QListWidget &l, int selected) {
        l.clear();
        l.addItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
        l.setCurrentRow(selected);
    }

private slots:
    void listsMp3FilesInCaseInsensitiveOrder() {
        QTemporaryDir tmp;
        for (const char *name : {"c.mp3", "b.mp3", "A.MP3", "d.Mp3", "notes.txt", "x.mp3.bak", "B2.mp3"}) {
            QFile f(tmp.filePath(QString::fromUtf8(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("folder.mp3")));
        QCOMPARE(album::ListMp3Files(QDir::toNativeSeparators(tmp.path()) + QDir::separator()),
                 QStringList({QStringLiteral("A.MP3"), QStringLiteral("b.mp3"), QStringLiteral("B2.mp3"), QStringLiteral("c.mp3"),
                              QStringLiteral("d.Mp3")}));
        QVERIFY(album::ListMp3Files(QString()).isEmpty());
        QVERIFY(album::ListMp3Files(tmp.filePath(QStringLiteral("missing"))).isEmpty());
    }

    void sizeLimit() {
        QVERIFY(album::IsTooShort(0));
        QVERIFY(album::IsTooShort(50));
        QVERIFY(!album::IsTooShort(51));
    }

    void arrowsMoveOnePlaceAndBeepAtTheEnds() {
        QListWidget l;
        Fill(l, 2);
        QVERIFY(album::MoveListItemUp(&l));
        QCOMPARE(fixture::Texts(&l), QStringList({"A", "C", "B", "D"}));
        QCOMPARE(l.currentRow(), 1);
        QVERIFY(album::MoveListItemDown(&l));
        QVERIFY(album::MoveListItemDown(&l));
        QCOMPARE(fixture::Texts(&l), QStringList({"A", "B", "D", "C"}));
        QCOMPARE(l.currentRow(), 3);
        // At the ends and without a selection: nothing moves.
        QVERIFY(!album::MoveListItemDown(&l));
        Fill(l, 0);
        QVERIFY(!album::MoveListItemUp(&l));
        l.setCurrentRow(-1);
        QVERIFY(!album::MoveListItemUp(&l));
        QVERIFY(!album::MoveListItemDown(&l));
        QCOMPARE(fixture::Texts(&l), QStringList({"A", "B", "C", "D"}));
        l.clear();
        QVERIFY(!album::MoveListItemUp(&l));
        QVERIFY(!album::MoveListItemDown(&l));
    }

    void moveToLandsInFrontOfTheTarget_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("target");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("A onto C") << 0 << 2 << QStringList({"B", "A", "C", "D"}) << 1;
        QTest::newRow("D onto B") << 3 << 1 << QStringList({"A", "D", "B", "C"}) << 1;
        QTest::newRow("B onto A") << 1 << 0 << QStringList({"B", "A", "C", "D"}) << 0;
        QTest::newRow("A past the end") << 0 << 4 << QStringList({"B", "C", "D", "A"}) << 3;
        QTest::newRow("onto itself") << 2 << 2 << QStringList({"A", "B", "C", "D"}) << 2;
        QTest::newRow("below the last") << 1 << -1 << QStringList({"A", "B", "C", "D"}) << 1;
        QTest::newRow("beyond the end") << 1 << 5 << QStringList({"A", "B", "C", "D"}) << 1;
        QTest::newRow("no selection") << -1 << 2 << QStringList({"A", "B", "C", "D"}) << -1;
    }
    void moveToLandsInFrontOfTheTarget() {
        QFETCH(int, selected);
        QFETCH(int, target);
        QFETCH(QStringList, expected);
        QFETCH(int, selectedAfter);
        QListWidget l;
        Fill(l, selected);
        album::MoveListItemTo(&l, qint16(target));
        QCOMPARE(fixture::Texts(&l), expected);
        QCOMPARE(l.currentRow(), selectedAfter);
        if (selectedAfter >= 0)
            QVERIFY(l.item(selectedAfter)->isSelected());
    }
};

SORTI_TEST_MAIN(QApplication, TestAlbumList)
#include "tst_albumlist.moc"
