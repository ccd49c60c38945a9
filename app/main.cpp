#include "CloseOnSignal.h"
#include "Console.h"
#include "Headless.h"
#include "Root.h"
#include "StartFolder.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[]) {
    // The settings and the kept records of runs go under these names.
    QCoreApplication::setOrganizationName(QStringLiteral("Varnolt"));
    QCoreApplication::setApplicationName(QStringLiteral("Sortimentor"));
    // Runs and repairs from a terminal need no window and no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (headless::Wanted(args)) {
        platform::UseParentConsole();
        QCoreApplication core(argc, argv);
        return headless::Run(QCoreApplication::arguments().mid(1), stdout, stderr);
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(SORTIMENTOR_VERSION));
    // Wayland finds the window's icon and name through the installed .desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("sortimentor"));

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/appicon/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // The interface is German; Qt's own dialogs and buttons should be too. On Windows
    // Qt's texts lie beside the program.
    QTranslator qtTranslator;
    const QLocale german(QLocale::German, QLocale::Germany);
    for (const QString &dir : {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)})
        if (qtTranslator.load(german, QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
            QCoreApplication::installTranslator(&qtTranslator);
            break;
        }

    // A folder from the file manager ("Open with") replaces the last folder.
    const auto start = startfolder::FromArguments(QCoreApplication::arguments().mid(1));

    Root w(nullptr, !start);
    if (start)
        w.OpenFolder(start->folder, start->file);
    w.SetupKeyboardAndAccessibility();
    CloseOnSignal(&w);
    w.show();
    return app.exec();
}
