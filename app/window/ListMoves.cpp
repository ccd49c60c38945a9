#include "ListMoves.h"
#include "AlbumList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>

namespace album {

namespace {
void SwapTexts(QListWidget *list, int a, int b) {
    const QString t = list->item(a)->text();
    list->item(a)->setText(list->item(b)->text());
    list->item(b)->setText(t);
}
} // namespace

bool MoveListItemUp(QListWidget *list) {
    const int s = list->currentRow();
    if (s <= 0 || s >= list->count()) {
        QApplication::beep();
        return false;
    }
    SwapTexts(list, s - 1, s);
    list->setCurrentRow(s - 1);
    return true;
}

bool MoveListItemDown(QListWidget *list) {
    const int s = list->currentRow();
    const int n = list->count();
    if (s < 0 || s >= n - 1) {
        QApplication::beep();
        return false;
    }
    SwapTexts(list, s, s + 1);
    list->setCurrentRow(s + 1);
    return true;
}

void MoveListItemTo(QListWidget *list, qint16 target) {
    const int s = list->currentRow();
    const int n = list->count();
    if (target < 0 || s < 0 || target > n)
        return;
    const QString text = list->item(s)->text();
    list->insertItem(target, text);
    list->setCurrentRow(target);
    delete list->takeItem(target < s ? s + 1 : s);
}

void RemoveTooShort(QListWidget *list, const QString &folder, const std::function<void()> &yield) {
    int i = 0;
    bool lastRemoved = false;
    while (i < list->count()) {
        list->setCurrentRow(i);
        if (i >= list->count())
            break; // events during the selection emptied the list
        const QFileInfo info(QDir::fromNativeSeparators(folder + list->item(i)->text()));
        if (info.exists() && IsTooShort(info.size())) {
            const QSignalBlocker quiet(list); // the next entry is examined explicitly
            delete list->takeItem(i);
            list->setCurrentRow(-1);
            lastRemoved = true;
        } else {
            ++i;
            lastRemoved = false;
        }
        if (yield)
            yield();
    }
    if (lastRemoved && list->currentRow() != -1)
        list->setCurrentRow(-1);
}

bool ApplyOrder(QListWidget *list, const QStringList &order) {
    QStringList present;
    for (int i = 0; i < list->count(); ++i)
        present << list->item(i)->text();
    QStringList a = present, b = order;
    a.sort();
    b.sort();
    if (a != b)
        return false;
    const QListWidgetItem *current = list->currentItem();
    const int selected = current ? order.indexOf(current->text()) : -1;
    // Equal names cannot occur in one folder, so the selected entry is found again.
    {
        const QSignalBlocker quiet(list);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setText(order[i]);
        if (selected >= 0)
            list->setCurrentRow(selected);
    }
    return true;
}

} // namespace album
