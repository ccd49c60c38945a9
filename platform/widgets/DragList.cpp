#include "DragList.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace platform {

DragList::DragList(QWidget *parent) : QListWidget(parent) {
    // Qt's own drag and drop would move the model itself; the drag here is ours.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Holding the mouse above or below the list keeps scrolling it.
    m_scrollTimer.setInterval(80);
    connect(&m_scrollTimer, &QTimer::timeout, this, &DragList::AutoScroll);
}

void DragList::AutoScroll() {
    if (!m_dragging || (m_lastPos.y() >= 0 && m_lastPos.y() < viewport()->height())) {
        m_scrollTimer.stop();
        return;
    }
    SetInsertMark(ItemFromPt(m_lastPos, true));
}

int DragList::ItemFromPt(QPoint pos, bool autoScroll) {
    if (autoScroll) {
        QScrollBar *bar = verticalScrollBar();
        if (pos.y() < 0) {
            bar->setValue(bar->value() - bar->singleStep());
            return -1;
        }
        if (pos.y() >= viewport()->height()) {
            bar->setValue(bar->value() + bar->singleStep());
            return -1;
        }
    }
    if (!viewport()->rect().contains(pos))
        return -1;
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void DragList::mousePressEvent(QMouseEvent *e) {
    if (m_dragging) {
        // Any other button during a drag cancels it, as on the classic drag list.
        CancelDrag();
        e->accept();
        return;
    }
    QListWidget::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPos = e->position().toPoint();
        m_startIndex = ItemFromPt(m_pressPos, false);
    }
}

void DragList::mouseMoveEvent(QMouseEvent *e) {
    if (!m_pressed || !(e->buttons() & Qt::LeftButton)) {
        QListWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    if (!m_dragging) {
        // Until the drag begins the selection must not follow the mouse either.
        if (m_startIndex < 0 || (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragging = true;
    }
    m_lastPos = pos;
    SetInsertMark(ItemFromPt(pos, true));
    if (pos.y() < 0 || pos.y() >= viewport()->height())
        m_scrollTimer.start();
    viewport()->setCursor(Qt::SizeAllCursor);
    e->accept();
}

void DragList::mouseReleaseEvent(QMouseEvent *e) {
    if (!m_dragging) {
        m_pressed = false;
        QListWidget::mouseReleaseEvent(e);
        return;
    }
    const int target = ItemFromPt(e->position().toPoint(), true);
    const int start = m_startIndex;
    EndDrag();
    e->accept();
    if (target != start)
        emit dropped(target);
}

void DragList::keyPressEvent(QKeyEvent *e) {
    if (m_dragging && e->key() == Qt::Key_Escape) {
        CancelDrag();
        e->accept();
        return;
    }
    if (m_dragging)
        return; // no keyboard moves in the middle of a drag
    QListWidget::keyPressEvent(e);
}

void DragList::focusOutEvent(QFocusEvent *e) {
    CancelDrag();
    QListWidget::focusOutEvent(e);
}

void DragList::CancelDrag() {
    if (m_dragging || m_pressed)
        EndDrag();
}

void DragList::EndDrag() {
    m_scrollTimer.stop();
    m_dragging = false;
    m_pressed = false;
    m_startIndex = -1;
    SetInsertMark(-1);
    viewport()->unsetCursor();
}

void DragList::SetInsertMark(int row) {
    if (row == m_insertRow)
        return;
    m_insertRow = row;
    viewport()->update();
}

void DragList::paintEvent(QPaintEvent *e) {
    QListWidget::paintEvent(e);
    if (!m_dragging || m_insertRow < 0 || m_insertRow >= count())
        return;
    const QRect r = visualItemRect(item(m_insertRow));
    QPainter p(viewport());
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = palette().color(QPalette::Highlight);
    p.setPen(QPen(c, 2));
    const int y = r.top();
    p.drawLine(r.left() + 4, y, r.right() - 4, y);
    // Small arrow heads at both ends, like the classic insert mark.
    p.setBrush(c);
    p.drawPolygon(QPolygon({QPoint(r.left(), y - 4), QPoint(r.left() + 5, y), QPoint(r.left(), y + 4)}));
    p.drawPolygon(QPolygon({QPoint(r.right(), y - 4), QPoint(r.right() - 5, y), QPoint(r.right(), y + 4)}));
}

} // namespace platform
