#include "AlbumList.h"

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>

namespace album {

QStringList ListMp3Files(const QString &folder) {
    if (folder.isEmpty())
        return {};
    QDir dir(QDir::fromNativeSeparators(folder));
    // Name filters ignore case unless told otherwise, so "*.mp3" also finds ".MP3".
    QStringList names = dir.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Unsorted);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b; // equal ignoring case: a fixed order all the same
    });
    return names;
}

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

} // namespace album
