#include "RunTexts.h"

#include "AlbumRename.h"
#include "RecordedRun.h"

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

QString TrashQuestionText(const QString &name, const QString &reason) {
    return QStringLiteral("Die Datei \"%1\" kann nicht umbenannt werden:\n%2\n\n"
                          "Sie behält ihren alten Namen, es wurde nichts gelöscht.\n\n"
                          "Mit den übrigen Dateien fortfahren?")
        .arg(name, reason);
}

QString RenameWhy(const RenameEntry &e) {
    switch (e.status) {
    case RenameStatus::Renamed:
    case RenameStatus::Unchanged:
        return {};
    case RenameStatus::Missing:
        return QStringLiteral("war nicht mehr im Ordner");
    case RenameStatus::Stranded:
        return QStringLiteral("liegt noch unter dem vorläufigen Namen \"%1\"").arg(e.finalName);
    case RenameStatus::BadName:
        return QStringLiteral("\"%1\" ist kein gültiger Dateiname").arg(e.newName);
    case RenameStatus::Collision:
        return QStringLiteral("der Name \"%1\" ist vergeben").arg(e.newName);
    case RenameStatus::RolledBack:
        return QStringLiteral("der Lauf wurde rückgängig gemacht");
    case RenameStatus::Stopped:
        return QStringLiteral("der Lauf wurde abgebrochen");
    case RenameStatus::Failed:
        return e.reason.isEmpty() ? QStringLiteral("\"%1\" ließ sich nicht vergeben").arg(e.newName) : e.reason;
    }
    return {};
}

QString RenameReport(const RenameResult &result, const QString &folder) {
    QStringList kept, gone, stranded;
    for (const RenameEntry &e : result.entries) {
        if (e.status == RenameStatus::Missing)
            gone << QStringLiteral("  ") + e.oldName;
        else if (e.status == RenameStatus::Stranded)
            stranded << QStringLiteral("  %1 (war %2) in %3").arg(e.finalName, e.oldName, QDir::toNativeSeparators(folder));
        else if (const QString why = RenameWhy(e); !why.isEmpty())
            kept << QStringLiteral("  %1: %2").arg(e.oldName, why);
    }
    QStringList parts;
    if (!kept.isEmpty())
        parts << QStringLiteral("Diese Dateien behalten ihren Namen:\n") + kept.join(QLatin1Char('\n'));
    if (!stranded.isEmpty())
        parts << QStringLiteral("Diese Dateien liegen noch unter einem vorläufigen Namen:\n") +
                     stranded.join(QLatin1Char('\n'));
    if (!gone.isEmpty())
        parts << QStringLiteral("Diese Dateien waren nicht mehr im Ordner:\n") + gone.join(QLatin1Char('\n'));
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Nicht alle Dateien wurden umbenannt.\n\n") + parts.join(QStringLiteral("\n\n"));
}

} // namespace album
