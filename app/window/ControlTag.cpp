#include "ControlTag.h"

#include <QVariant>
#include <QWidget>

namespace controltag {

namespace {
const char *const kTag = "tag";
} // namespace

QString Of(const QObject *o) { return o ? o->property(kTag).toString() : QString(); }

void Set(QObject *o, const QString &tag) {
    if (o)
        o->setProperty(kTag, tag);
}

int Number(const QObject *o) {
    const QString t = Of(o).trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    while (i < t.size() && t[i].isDigit())
        ++i;
    bool ok = false;
    const int v = t.left(i).toInt(&ok);
    return ok ? v : 0;
}

bool Shown(const QWidget *page) { return page && !page->isHidden(); }

} // namespace controltag
