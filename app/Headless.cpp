#include "Headless.h"

#include "Console.h"
#include "RecordedRun.h"
#include "RunTexts.h"
#include "TerminalRun.h"

#include <QDir>
#include <QFileInfo>

namespace headless {

namespace {

void Print(FILE *to, const QString &text) { platform::PrintLine(to, text); }

const char *const kUsage = "Aufruf: sortimentor --recover [--rollback] ORDNER\n"
                          "       sortimentor --undo ORDNER\n"
                          "       sortimentor --run [Optionen] ORDNER [DATEI...]  (mehr: sortimentor --help)";

} // namespace

bool Wanted(const QStringList &args) {
    for (const char *option : {"--recover", "--undo", "--rollback", "--help", "-h", "--version"})
        if (args.contains(QLatin1String(option)))
            return true;
    return WantsRun(args);
}

int Run(const QStringList &args, FILE *out, FILE *err) {
    if (args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        Print(out, HelpText());
        return 0;
    }
    if (args.size() == 1 && args[0] == QLatin1String("--version")) {
        Print(out, QStringLiteral("Sortimentor " SORTIMENTOR_VERSION));
        return 0;
    }
    if (WantsRun(args))
        return RunAlbum(args, out, err);
    const bool recover = args.contains(QStringLiteral("--recover")), undo = args.contains(QStringLiteral("--undo"));
    const bool rollback = args.contains(QStringLiteral("--rollback"));
    QStringList rest = args;
    rest.removeAll(QStringLiteral("--recover"));
    rest.removeAll(QStringLiteral("--undo"));
    rest.removeAll(QStringLiteral("--rollback"));
    if (recover == undo || (undo && rollback) || rest.size() != 1 || rest[0].startsWith(QLatin1Char('-')) ||
        !QFileInfo(rest[0]).isDir()) {
        Print(err, QString::fromUtf8(kUsage));
        return 2;
    }
    const QString folder = QDir(rest[0]).absolutePath() + QLatin1Char('/');
    album::RepairSeams seams;
    seams.progress = [out](int index, int count, const QString &name) {
        Print(out, QStringLiteral("%1/%2 %3").arg(index + 1).arg(count).arg(name));
    };
    album::RecordedRun run(seams);
    if (!run.Load(folder)) {
        if (album::RunJournal::Exists(folder)) {
            Print(err, QStringLiteral("Das Protokoll in %1 ist unlesbar.").arg(album::RunJournal::DirFor(folder)));
            return 1;
        }
        Print(out, undo ? QStringLiteral("In %1 gibt es keinen Durchlauf, der sich rückgängig machen ließe.")
                            .arg(QDir::toNativeSeparators(folder))
                        : QStringLiteral("In %1 gibt es keinen unterbrochenen Durchlauf.").arg(QDir::toNativeSeparators(folder)));
        return undo ? 1 : 0;
    }
    const album::JournalState &st = run.State();
    if (recover && st.complete) {
        Print(out, QStringLiteral("In %1 gibt es keinen unterbrochenen Durchlauf.").arg(QDir::toNativeSeparators(folder)));
        return 0;
    }
    if (undo && !st.complete) {
        Print(err, QStringLiteral("Der letzte Durchlauf in %1 ist nicht beendet: erst --recover.")
                       .arg(QDir::toNativeSeparators(folder)));
        return 1;
    }
    const bool forward = recover && !rollback && !st.rollingBack;
    const album::RepairResult r = forward ? run.Forward() : run.Back(undo);
    Print(out, album::RepairReport(r, forward, undo));
    return r.ok && r.refused.isEmpty() ? 0 : 1;
}

} // namespace headless
