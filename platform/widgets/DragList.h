#pragma once
// A list box whose entries the user reorders by dragging one entry onto another.
// The widget only reports where the drop happened (`dropped`); the move itself is the
// owner's business, so the list model is never changed behind the owner's back.
// While dragging, an insert mark is drawn in front of the entry under the mouse and
// the pointer shows a move; both are gone after a drop or a cancel (Escape, or another
// mouse button).
#include <QListWidget>
#include <QPoint>
#include <QTimer>

namespace platform {

class DragList : public QListWidget {
    Q_OBJECT
public:
    explicit DragList(QWidget *parent = nullptr);

    // Index of the entry under a point in viewport coordinates, -1 for none. With
    // autoScroll, a point above or below the visible area scrolls the list one step.
    int ItemFromPt(QPoint viewportPos, bool autoScroll);

    bool IsDragging() const { return m_dragging; }
    int DragStartIndex() const { return m_startIndex; }
    // Row in front of which the insert mark is drawn, -1 when none is shown.
    int InsertMark() const { return m_insertRow; }

    // Ends a running drag without moving anything.
    void CancelDrag();

signals:
    // The mouse was released over entry `target` (-1: below the last entry or outside),
    // and that differs from the entry the drag started on.
    void dropped(int target);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void SetInsertMark(int row);
    void EndDrag();

    void AutoScroll();

    QTimer m_scrollTimer;
    QPoint m_lastPos;
    QPoint m_pressPos;
    int m_startIndex = -1;
    bool m_pressed = false;
    bool m_dragging = false;
    int m_insertRow = -1;
};

} // namespace platform
