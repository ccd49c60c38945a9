// Dragging inside the list: where drops are reported, the insert mark and the pointer.
#include "AlbumFixture.h"
#include "DragList.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>

using platform::DragList;

class TestDragList : public QObject {
    Q_OBJECT
    DragList *list = nullptr;

    QPoint Center(int row) { return list->visualItemRect(list->item(row)).center(); }
    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, pos, list->viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &e);
    }
    void Press(QPoint p) { Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void Move(QPoint p) { Mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void Release(QPoint p) { Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton); }
    bool PointerIsDefault() { return !list->viewport()->testAttribute(Qt::WA_SetCursor); }

private slots:
    void init() {
        list = new DragList;
        list->addItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
        list->resize(200, 300);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list));
    }
    void cleanup() { delete list; }

    void dropOnAnotherEntryReportsItAndCleansUp() {
        QSignalSpy spy(list, &DragList::dropped);
        Press(Center(0));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(list->DragStartIndex(), 0);
        Move(Center(1));
        QVERIFY(list->IsDragging());
        QCOMPARE(list->InsertMark(), 1);
        Move(Center(2));
        QCOMPARE(list->InsertMark(), 2);
        QVERIFY(!PointerIsDefault());
        // The list itself is not reordered and the selection did not follow the mouse.
        QCOMPARE(list->item(0)->text(), QStringLiteral("A"));
        QCOMPARE(list->currentRow(), 0);
        Release(Center(2));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 2);
        QVERIFY(!list->IsDragging());
        QCOMPARE(list->InsertMark(), -1);
        QVERIFY(PointerIsDefault());
    }

    void dropsThatMoveNothing() {
        QSignalSpy spy(list, &DragList::dropped);
        // Back onto the start entry: nothing reported.
        Press(Center(1));
        Move(Center(3));
        Move(Center(1));
        Release(Center(1));
        QCOMPARE(spy.size(), 0);
        // Below the last entry: reported as -1, which moves nothing.
        const QPoint below(Center(0).x(), list->visualItemRect(list->item(3)).bottom() + 40);
        Press(Center(1));
        Move(below);
        QCOMPARE(list->InsertMark(), -1);
        Release(below);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), -1);
        // A click without moving is no drag at all.
        Press(Center(2));
        Release(Center(2));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(list->currentRow(), 2);
    }

    void draggingPastTheEdgeScrolls() {
        for (int i = 0; i < 100; ++i)
            list->addItem(QStringLiteral("more %1").arg(i));
        QScrollBar *bar = list->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        QSignalSpy spy(list, &DragList::dropped);
        Press(Center(0));
        const QPoint below(Center(0).x(), list->viewport()->height() + 10);
        Move(Center(2));
        Move(below);
        const int first = bar->value();
        QVERIFY(first > 0);
        QTRY_VERIFY(bar->value() > first); // keeps going while the mouse stays there
        Release(below);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), -1);
        const int stopped = bar->value();
        QTest::qWait(200);
        QCOMPARE(bar->value(), stopped);
    }

    void cancelledDragLeavesNothingBehind() {
        QSignalSpy spy(list, &DragList::dropped);
        Press(Center(0));
        Move(Center(3));
        QVERIFY(list->IsDragging());
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!list->IsDragging());
        QCOMPARE(list->InsertMark(), -1);
        QVERIFY(PointerIsDefault());
        Release(Center(3));
        QCOMPARE(spy.size(), 0);
        // Another button during a drag cancels as well.
        Press(Center(0));
        Move(Center(2));
        Mouse(QEvent::MouseButtonPress, Center(2), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
        QVERIFY(!list->IsDragging());
        Release(Center(2));
        QCOMPARE(spy.size(), 0);
    }
};

SORTI_TEST_MAIN(QApplication, TestDragList)
#include "tst_draglist.moc"
