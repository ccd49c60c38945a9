#include "HelpPanel.h"

namespace helppanel {

Help ForPages(const Pages &p) {
    if (p.intro && p.folderState == 0)
        return {1, QStringLiteral("Dateien hinzufügen"),
                QStringLiteral("Fügen Sie einen Ordner bzw. ein Audio- oder Musikalbum mit Mp3-Dateien hinzu.")};
    if (p.intro && p.folderState == 1)
        return {3, QStringLiteral("Reihenfolge ändern"),
                QStringLiteral("Sortieren Sie die Titel mit Hilfe der Pfeiltasten unter der Dateiliste nach der "
                               "entsprechenden Reihenfolge.")};
    if (p.names)
        return {5, QStringLiteral("Dateinamen ändern"),
                QStringLiteral("Geben Sie den sortierten Dateien eine Nummer im Dateinamen, damit der Explorer richtig "
                               "sortiert.")};
    if (p.tags)
        return {7, QStringLiteral("Eigenschaften ändern"),
                QStringLiteral("Verwenden Sie automatische Eigenschaften um die sortierte Wiedergabe in iTunes "
                               "abzuspielen.")};
    return {};
}

Tick WatchTick(const Pages &p, const std::function<bool()> &folderExists) {
    Tick t;
    if (p.intro) {
        t.onIntro = true;
        t.hasFiles = p.folderState != 0;
        if (!t.hasFiles)
            return t;
    }
    if (p.intro && p.folderState == 1)
        t.icon = folderExists && folderExists() ? 4 : 3;
    if (p.names && p.namesState == 2) {
        t.icon = 6;
        t.namesSeen = true;
    }
    return t;
}

} // namespace helppanel
