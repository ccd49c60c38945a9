// Runs one album run through the real window (offscreen), as a user would:
// the list order reversed by hand, every file renamed, artist, title, album and
// the counted track written, a playlist. Prints "GO" right before the click, so
// that a caller can kill it during the run. Usage: run_album FOLDER
#include "Root.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstdio>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString album = QString::fromLocal8Bit(argv[1]);
    Root w(nullptr, false);
    w.SetConfirm([](const QString &, const QString &) { return true; });
    w.SetNotice([](const QString &, const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    if (!w.OpenFolder(album))
        return 1;
    QListWidget *list = w.LDateien();
    for (int i = 1; i < list->count(); ++i)
        list->insertItem(0, list->takeItem(i));
    auto check = [&](const char *name) {
        auto *c = w.Control<QCheckBox>(QString::fromLatin1(name));
        if (!c->isChecked())
            c->click();
    };
    w.Timer1Tick();
    check("bPlayliste");
    w.bStarten()->click();  // file names
    check("bChangeFilename");
    w.Control<QLineEdit>(QStringLiteral("tFilename"))->setText(QStringLiteral("Lied"));
    w.bStarten()->click();  // tags
    for (const char *toggle : {"bTitel", "bArtist", "bAlbum", "bTrack", "bFilesTitel"})
        check(toggle);
    w.Control<QLineEdit>(QStringLiteral("tArtist"))->setText(QStringLiteral("Die Künstlerin"));
    w.Control<QLineEdit>(QStringLiteral("tAlbum"))->setText(QStringLiteral("Das Album"));
    w.Control<QLineEdit>(QStringLiteral("tTrack"))->setText(QStringLiteral("1"));
    std::printf("GO\n");
    std::fflush(stdout);
    w.bStarten()->click();
    std::printf("DONE %d %d\n", w.LastRun().visited, w.LastRun().failedSteps);
    return w.LastRun().outcome == album::RunOutcome::Done ? 0 : 1;
}
