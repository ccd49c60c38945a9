// The window's way in: the library sortimentor-fenster, which the program loads when
// it is not asked for a run from the terminal (main.cpp).
#include "CloseOnSignal.h"
#include "Root.h"
#include "StartFolder.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

extern "C" Q_DECL_EXPORT int SortimentorWindow(int *argc, char **argv) {
    QApplication app(*argc, argv);
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
