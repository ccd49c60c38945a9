#include "NameCheck.h"

#include "AlbumWorkflow.h"

#include <QRegularExpression>

#include <algorithm>

namespace album {

bool PortableName(const QString &name) {
    if (name.isEmpty() || name.size() > 255 || name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    if (std::any_of(name.begin(), name.end(), RefusedOnWindows))
        return false;
    // Device names stay devices whatever follows the dot: "CON.mp3" is no file either.
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return !device.match(name).hasMatch();
}

NameFate FateOfName(const QString &name, bool strictHere) {
    if (!IsPlainName(name))
        return NameFate::KeepsOldName;
    if (PortableName(name))
        return NameFate::Fine;
    return strictHere ? NameFate::KeepsOldName : NameFate::NotPortable;
}

QString FateText(NameFate fate) {
    switch (fate) {
    case NameFate::Fine:
        return {};
    case NameFate::KeepsOldName:
        return QStringLiteral("ungültiger Name: die Datei behält ihren alten Namen");
    case NameFate::NotPortable:
        return QStringLiteral("unter Windows und auf USB-Sticks ungültig: so nicht kopierbar");
    }
    return {};
}

} // namespace album
