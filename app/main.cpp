#include "Console.h"
#include "FileOps.h"
#include "Headless.h"
#include "TagError.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace {

// The window lives in a library of its own (WindowMain.cpp), loaded only for the window:
// a run from the terminal starts without Qt's window libraries, which took more than
// half of its start-up.
using WindowMain = int (*)(int *argc, char **argv);

int StartWindow(int argc, char **argv) {
    const QString here = QString::fromStdString(tags::fileops::Utf8FromPath(tags::ExecutablePath().parent_path()));
    // Beside the program (Windows, the build), else where the package puts it.
    QStringList why;
    for (const QString &dir : {here, QDir::cleanPath(here + QStringLiteral("/" SORTIMENTOR_WINDOW_DIR))}) {
        QLibrary window(dir + QStringLiteral("/" SORTIMENTOR_WINDOW_LIBRARY));
        if (const auto start = reinterpret_cast<WindowMain>(window.resolve("SortimentorWindow")))
            return start(&argc, argv);
        why << QDir::toNativeSeparators(window.errorString());
    }
    platform::ShowStartError(QStringLiteral("Sortimentor kann sein Fenster nicht öffnen: %1").arg(why.join(QStringLiteral("; "))));
    return 1;
}

} // namespace

int main(int argc, char *argv[]) {
    // The settings and the kept records of runs go under these names.
    QCoreApplication::setOrganizationName(QStringLiteral("Varnolt"));
    QCoreApplication::setApplicationName(QStringLiteral("Sortimentor"));
    // Runs and repairs from a terminal need no window and no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!headless::Wanted(args))
        return StartWindow(argc, argv);
    platform::UseParentConsole();
    QCoreApplication core(argc, argv);
    return headless::Run(QCoreApplication::arguments().mid(1), stdout, stderr);
}
