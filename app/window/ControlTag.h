#pragma once
// Each control's "tag text", a free text the workflow keeps on a control (page states,
// the list's loading marker), held as the dynamic property "tag".
#include <QString>

class QObject;
class QWidget;

namespace controltag {

QString Of(const QObject *o);
void Set(QObject *o, const QString &tag);
// Read like a number typed by hand: leading blanks, an optional sign, then digits;
// empty or none reads 0.
int Number(const QObject *o);
// Whether a page is the one shown (independent of the window being on screen).
bool Shown(const QWidget *page);

} // namespace controltag
