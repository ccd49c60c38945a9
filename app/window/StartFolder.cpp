#include "StartFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace startfolder {

std::optional<Target> FromArguments(const QStringList &args, const QString &workingDir) {
    QString given;
    bool optionsEnded = false;
    for (const QString &a : args) {
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a.startsWith(QLatin1Char('-')))
            continue; // an option we do not know; Qt has taken out its own
        if (a.isEmpty())
            continue;
        given = a;
        break;
    }
    if (given.isEmpty())
        return std::nullopt;

    const QDir base(workingDir.isEmpty() ? QDir::currentPath() : workingDir);
    QFileInfo info(base.absoluteFilePath(QDir::fromNativeSeparators(given)));
    // A URL has a scheme of two letters or more ("C:/Musik" is a Windows path); a local
    // name that merely looks like one wins.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (!info.exists() && scheme.match(given).hasMatch()) {
        const QUrl url(given);
        if (!url.isLocalFile())
            return std::nullopt; // file managers hand remote places over as local paths
        info = QFileInfo(url.toLocalFile());
    }
    if (!info.exists())
        return std::nullopt;
    Target t;
    if (info.isDir()) {
        t.folder = QDir::cleanPath(info.absoluteFilePath());
    } else {
        t.folder = QDir::cleanPath(info.absolutePath());
        t.file = info.fileName();
    }
    t.folder = QDir::toNativeSeparators(t.folder);
    return t;
}

} // namespace startfolder
