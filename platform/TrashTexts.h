#pragma once
// What the trash says when it refuses a file, the same on every system.
#include <QString>

namespace platform {

inline QString Missing(const QString &shown) { return QStringLiteral("Die Datei %1 ist nicht mehr vorhanden.").arg(shown); }

inline QString Refused(const QString &shown, const QString &why) {
    return QStringLiteral("Die Datei %1 lässt sich nicht in den Papierkorb verschieben: %2").arg(shown, why);
}

} // namespace platform
