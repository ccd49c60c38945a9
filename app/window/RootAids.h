#pragma once
// Small makers for the controls that the sorting aids and the preview add to the window.
#include <QLabel>
#include <QPushButton>

namespace rootaids {

inline QLabel *HelpLabel(QWidget *parent, const char *name, const QString &text) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

inline QPushButton *AidButton(QWidget *parent, const char *name, const QString &caption, const QString &tip) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(tip);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

} // namespace rootaids
