#include "FolderPicker.h"

#include <QDir>
#include <QFileDialog>

namespace platform {

QString BrowseFolder(int rootFolder, QWidget *parent) {
    Q_UNUSED(rootFolder); // Qt's picker always offers the whole file system
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Bitte wählen Sie den gewünschten Zielordner ..."), QString(),
        QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return {};
    QString path = QDir::toNativeSeparators(QDir::cleanPath(chosen));
    // Only a root keeps its trailing separator ("C:\", "/").
    if (path.size() > 1 && path.endsWith(QDir::separator()) && !QDir(chosen).isRoot())
        path.chop(1);
    return path;
}

} // namespace platform
