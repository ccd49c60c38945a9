// The three order moves, on a bare list widget; the window moves through them.
#include "AlbumFixture.h"
#include "AlbumList.h"

#include <QApplication>

class TestAlbumList : public QObject {
    Q_OBJECT

private slots:
    void moves_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("move"); // up, down, or the target of a drop
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("selectedAfter");
        const QStringList same{"A", "B", "C", "D"};
        QTest::newRow("up") << 2 << "up" << QStringList({"A", "C", "B", "D"}) << 1;
        QTest::newRow("down") << 2 << "down" << QStringList({"A", "B", "D", "C"}) << 3;
        QTest::newRow("up at the top") << 0 << "up" << same << 0;
        QTest::newRow("down at the bottom") << 3 << "down" << same << 3;
        QTest::newRow("up without a selection") << -1 << "up" << same << -1;
        QTest::newRow("down without a selection") << -1 << "down" << same << -1;
        QTest::newRow("A onto C") << 0 << "2" << QStringList({"B", "A", "C", "D"}) << 1;
        QTest::newRow("D onto B") << 3 << "1" << QStringList({"A", "D", "B", "C"}) << 1;
        QTest::newRow("B onto A") << 1 << "0" << QStringList({"B", "A", "C", "D"}) << 0;
        QTest::newRow("A past the end") << 0 << "4" << QStringList({"B", "C", "D", "A"}) << 3;
        QTest::newRow("onto itself") << 2 << "2" << same << 2;
        QTest::newRow("below the last") << 1 << "-1" << same << 1;
        QTest::newRow("beyond the end") << 1 << "5" << same << 1;
        QTest::newRow("drop without a selection") << -1 << "2" << same << -1;
    }
    void moves() {
        QFETCH(int, selected);
        QFETCH(QString, move);
        QFETCH(QStringList, expected);
        QFETCH(int, selectedAfter);
        QListWidget l;
        l.addItems({"A", "B", "C", "D"});
        l.setCurrentRow(selected);
        const bool moves = expected != fixture::Texts(&l); // the arrows report whether they moved
        if (move == "up")
            QCOMPARE(album::MoveListItemUp(&l), moves);
        else if (move == "down")
            QCOMPARE(album::MoveListItemDown(&l), moves);
        else
            album::MoveListItemTo(&l, qint16(move.toInt()));
        QCOMPARE(fixture::Texts(&l), expected);
        QCOMPARE(l.currentRow(), selectedAfter);
        if (selectedAfter >= 0)
            QVERIFY(l.item(selectedAfter)->isSelected());
    }
};

SORTI_TEST_MAIN(QApplication, TestAlbumList)
#include "tst_albumlist.moc"
