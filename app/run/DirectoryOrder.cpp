#include "DirectoryOrder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStorageInfo>

namespace album {

namespace {

const char kHolding[] = ".sortimentor-reihenfolge";
// A note for whoever finds the holding folder; no album file can have its name (.txt).
const char kNote[] = "sortimentor-ordner.txt";

std::function<void(int)> g_moveHook;
std::function<bool(const QString &)> g_matters;
int g_moves = 0;

QString In(const QString &folder, const QString &name) { return QDir(folder).filePath(name); }

// A plain rename in the file system: never a copy, never over an existing entry.
bool Move(const QString &from, const QString &to) {
    if (QFileInfo::exists(to) || !QDir().rename(from, to))
        return false;
    if (g_moveHook)
        g_moveHook(++g_moves);
    return true;
}

// Every entry of a folder (files and folders), in the order the file system lists them.
QStringList Entries(const QString &folder) {
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext())
        names << it.nextFileInfo().fileName();
    return names;
}

QString Clean(const QString &folder) { return QDir::cleanPath(QDir(folder).absolutePath()); }

// Beside the album folder where the parent lies on the same file system: the album
// folder is then empty while its files are away, and they come back into the first
// slots in order. Inside it only at the top of a device.
QString SiblingHolding(const QString &folder) {
    const QString self = Clean(folder);
    return self + QLatin1String(kHolding);
}
QString InnerHolding(const QString &folder) { return In(Clean(folder), QString::fromLatin1(kHolding)); }

bool RecoverFrom(const QString &holding, const QString &folder) {
    if (!QFileInfo(holding).isDir())
        return true;
    for (const QString &name : Entries(holding))
        if (name != QLatin1String(kNote))
            Move(In(holding, name), In(folder, name));
    const QStringList left = Entries(holding);
    if (left.size() > (left.contains(QLatin1String(kNote)) ? 1 : 0))
        return false; // a name now taken in the album folder: the entry waits where it is
    QFile::remove(In(holding, QString::fromLatin1(kNote)));
    return QDir().rmdir(holding);
}

} // namespace

bool DirectoryOrder::Matters(const QString &folder) {
    if (g_matters)
        return g_matters(folder);
    const QString type = QString::fromUtf8(QStorageInfo(folder).fileSystemType()).toLower();
    // vfat, msdos, exfat, fuse.fusefat, fuse.exfat; FAT32 and exFAT as Windows names them.
    return type.contains(QLatin1String("fat")) || type == QLatin1String("msdos");
}

bool DirectoryOrder::Interrupted(const QString &folder) {
    return QFileInfo(SiblingHolding(folder)).isDir() || QFileInfo(InnerHolding(folder)).isDir();
}

void DirectoryOrder::SetMatters(std::function<bool(const QString &)> matters) { g_matters = std::move(matters); }

void DirectoryOrder::SetMoveHook(std::function<void(int)> hook) {
    g_moveHook = std::move(hook);
    g_moves = 0;
}

QString DirectoryOrder::HoldingFolder(const QString &folder) {
    const QString self = Clean(folder);
    const QString parent = QFileInfo(self).path();
    const bool sameDevice = parent != self && QStorageInfo(parent).rootPath() == QStorageInfo(self).rootPath();
    return sameDevice ? SiblingHolding(self) : InnerHolding(self);
}

QStringList DirectoryOrder::ListedOrder(const QString &folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext())
        files << it.nextFileInfo().fileName();
    return files;
}

bool DirectoryOrder::Recover(const QString &folder) {
    const bool sibling = RecoverFrom(SiblingHolding(folder), Clean(folder));
    return RecoverFrom(InnerHolding(folder), Clean(folder)) && sibling;
}

DirectoryOrderResult DirectoryOrder::Apply(const QString &folder, const QStringList &names) {
    DirectoryOrderResult r;
    const QString self = Clean(folder), holding = HoldingFolder(self);
    if (!Recover(self)) {
        r.error = QStringLiteral("Im Ordner %1 liegen noch Dateien eines abgebrochenen Laufs.")
                      .arg(QDir::toNativeSeparators(holding));
        return r;
    }
    if (!QDir().mkdir(holding)) {
        r.error = QStringLiteral("Der Ordner %1 kann nicht angelegt werden.").arg(QDir::toNativeSeparators(holding));
        return r;
    }
    {
        QFile note(In(holding, QString::fromLatin1(kNote)));
        if (note.open(QIODevice::WriteOnly))
            note.write((QStringLiteral("Diese Dateien gehören in den Ordner ") + QDir::toNativeSeparators(self) +
                        QStringLiteral("\r\n"))
                           .toUtf8());
    }
    // Every entry goes out, the others too: a gap left by one of them between the album's
    // entries would take a later, shorter name first. They come back after the album.
    const QSet<QString> ours(names.begin(), names.end());
    QStringList moving = names;
    for (const QString &name : Entries(self))
        if (!ours.contains(name) && In(self, name) != holding)
            moving << name;
    for (qsizetype i = 0; i < moving.size(); ++i) {
        if (Move(In(self, moving[i]), In(holding, moving[i])))
            continue;
        // Back in the order they went: the folder lists them as before.
        for (qsizetype j = 0; j < i; ++j)
            if (!Move(In(holding, moving[j]), In(self, moving[j])))
                r.stranded << moving[j];
        if (r.stranded.isEmpty())
            RecoverFrom(holding, self);
        r.error = QStringLiteral("%1 kann nicht verschoben werden.").arg(moving[i]);
        return r;
    }
    for (const QString &name : moving)
        if (!Move(In(holding, name), In(self, name)))
            r.stranded << name;
    r.done = r.stranded.isEmpty() && RecoverFrom(holding, self);
    QStringList listed;
    for (const QString &name : ListedOrder(self))
        if (ours.contains(name))
            listed << name;
    r.inOrder = r.done && listed == names;
    return r;
}

} // namespace album
