#include "RunTexts.h"

#include "RunRepair.h"

#include <QDir>

namespace album {

QString UnfinishedText(const JournalState &st) {
    if (st.rollingBack)
        return QStringLiteral("Im Ordner \"%1\" wurde ein Durchlauf gerade zurückgenommen, als das Programm endete.\n\n"
                              "Beide Knöpfe setzen das Zurücknehmen fort: danach sind alle Dateien, wie sie vor dem "
                              "Durchlauf waren, in der gewählten Reihenfolge.")
            .arg(QDir::toNativeSeparators(st.folder));
    return QStringLiteral("Ein Durchlauf im Ordner \"%1\" wurde nicht beendet: %2 von %3 Dateien sind fertig.\n\n"
                          "Die gewählte Reihenfolge ist gespeichert und bleibt erhalten.\n\n"
                          "„Fortsetzen“ beendet den Durchlauf in dieser Reihenfolge, „Rückgängig machen“ stellt "
                          "alle Dateien wieder her, wie sie vorher waren.")
        .arg(QDir::toNativeSeparators(st.folder))
        .arg(st.FilesDone())
        .arg(st.FilesPresent());
}

QString UndoRunButtonText() { return QStringLiteral("Letzten Durchlauf rückgängig machen"); }

QString RepairReport(const RepairResult &r, bool forward, bool undo) {
    QString text = forward ? QStringLiteral("Der Durchlauf wurde beendet (%1 Dateien).").arg(r.files)
                   : undo  ? QStringLiteral("Der letzte Durchlauf wurde rückgängig gemacht (%1 Dateien).").arg(r.files)
                           : QStringLiteral("Der Durchlauf wurde rückgängig gemacht (%1 Dateien).").arg(r.files);
    if (!r.refused.isEmpty())
        text += QStringLiteral("\n\nDiese Dateien wurden nach dem Durchlauf verändert und bleiben, wie sie sind:\n  ") +
                r.refused.join(QStringLiteral("\n  "));
    if (!r.failed.isEmpty())
        text += QStringLiteral("\n\nNicht gelungen:\n  ") + r.failed.join(QStringLiteral("\n  "));
    return text;
}

} // namespace album
