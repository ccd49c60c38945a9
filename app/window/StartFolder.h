#pragma once
// The folder handed over on the command line, e.g. by a file manager's "Open with".
#include <QString>
#include <QStringList>
#include <optional>

namespace startfolder {

struct Target {
    QString folder; // absolute, native separators, no trailing separator
    QString file;   // set when a file was handed over: its name, to select it in the list
};

// Reads the program's arguments (without the program name; QApplication has already
// taken out its own options). The first argument that is not an option counts: a local
// path or a file:// URL of a folder, or of a file, whose folder is then meant. Relative
// paths are taken from `workingDir` (the current folder when empty). Nothing usable
// (no argument, a path that does not exist, another URL scheme) gives no target, and
// the program starts as usual.
std::optional<Target> FromArguments(const QStringList &args, const QString &workingDir = QString());

} // namespace startfolder
