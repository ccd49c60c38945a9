// Dragging inside the list: where drops are reported, the insert mark, the pointer,
// and cancelling.
#include "AlbumFixture.h"
#include "DragList.h"

#include <QMouseEvent>
#include <QSignalSpy>

using platform::DragList;

class TestDragList : public QObject {
    Q_OBJECT
    DragList *list = nullptr;

    // A row's centre; row 4 is below the last entry, row 9 below the viewport.
    QPoint At(int row) {
        if (row < list->count() && row < 9)
            return list->visualItemRect(list->item(row)).center();
        return {At(0).x(), row == 9 ? list->viewport()->height() + 10 : list->visualItemRect(list->item(3)).bottom() + 40};
    }
    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, pos, list->viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &e);
    }
    bool PointerIsDefault() { return !list->viewport()->testAttribute(Qt::WA_SetCursor); }

private slots:
    void init() {
        list = new DragList;
        list->addItems({"A", "B", "C", "D"});
        list->resize(200, 300);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list));
    }
    void cleanup() { delete list; }

    void gestures_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<int>>("moves");
        QTest::addColumn<QString>("end"); // release, Escape or the right button
        QTest::addColumn<QList<int>>("reported");
        QTest::addColumn<int>("selected");
        QTest::newRow("onto another entry") << 0 << QList<int>{1, 2} << "release" << QList<int>{2} << 0;
        QTest::newRow("back onto the start") << 1 << QList<int>{3, 1} << "release" << QList<int>{} << 1;
        QTest::newRow("below the last") << 1 << QList<int>{4} << "release" << QList<int>{-1} << 1;
        QTest::newRow("a click") << 2 << QList<int>{} << "release" << QList<int>{} << 2;
        QTest::newRow("Escape") << 0 << QList<int>{3} << "escape" << QList<int>{} << 0;
        QTest::newRow("another button") << 0 << QList<int>{2} << "right" << QList<int>{} << 0;
    }
    void gestures() {
        QFETCH(int, from);
        QFETCH(QList<int>, moves);
        QFETCH(QString, end);
        QFETCH(QList<int>, reported);
        QFETCH(int, selected);
        QSignalSpy spy(list, &DragList::dropped);
        Mouse(QEvent::MouseButtonPress, At(from), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(list->DragStartIndex(), from);
        for (int row : moves) {
            Mouse(QEvent::MouseMove, At(row), Qt::NoButton, Qt::LeftButton);
            QVERIFY(list->IsDragging() && !PointerIsDefault());
            QCOMPARE(list->InsertMark(), row < list->count() ? row : -1);
        }
        const QPoint last = At(moves.isEmpty() ? from : moves.last());
        if (end == "escape")
            QTest::keyClick(list, Qt::Key_Escape);
        if (end == "right")
            Mouse(QEvent::MouseButtonPress, last, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
        QVERIFY(!list->IsDragging() || end == "release");
        Mouse(QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
        QList<int> got;
        for (const auto &args : spy)
            got << args.at(0).toInt();
        QCOMPARE(got, reported);
        // The list itself is not reordered, the selection did not follow the mouse, and
        // nothing of the drag is left.
        QCOMPARE(fixture::Texts(list), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(list->currentRow(), selected);
        QVERIFY(!list->IsDragging() && list->InsertMark() == -1 && PointerIsDefault());
    }
};

SORTI_TEST_MAIN(QApplication, TestDragList)
#include "tst_draglist.moc"
