#include "TerminalRun.h"

#include "AlbumList.h"
#include "AlbumPlaylist.h"
#include "AlbumRename.h"
#include "AlbumRun.h"
#include "AlbumSort.h"
#include "AlbumWorkflow.h"
#include "Console.h"
#include "DirectoryOrder.h"
#include "RunJournal.h"
#include "RecordedRun.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

namespace headless {

namespace {

void Print(FILE *to, const QString &text) { platform::PrintLine(to, text); }

const QString kUsage = QStringLiteral("Aufruf: sortimentor --run [Optionen] ORDNER [DATEI...]  (mehr: sortimentor --help)");

// The options, each with its German help line.
struct Option {
    const char *name;
    const char *value;  // nullptr: a switch
    const char *help;
};
const Option kOptions[] = {
    {"run", nullptr, "das Album im ORDNER bearbeiten, ohne Fenster"},
    {"order-from", "LISTE.m3u", "die Reihenfolge aus einer Wiedergabeliste"},
    {"sort", "name|track|title", "nach Dateiname, Tracknummer (mit CD-Nummer) oder Titel ordnen"},
    {"artist", "TEXT", "Interpret in alle Dateien schreiben"},
    {"album", "TEXT", "Album in alle Dateien schreiben"},
    {"year", "TEXT", "Jahr in alle Dateien schreiben"},
    {"comment", "TEXT", "Kommentar in alle Dateien schreiben"},
    {"title-from-name", nullptr, "Titel aus dem Dateinamen ohne Endung"},
    {"track-start", "N", "Tracknummern ab N hochzählen"},
    {"total", nullptr, "Tracknummer mit der Anzahl der Dateien (\"3/12\"); mit --track-start"},
    {"per-disc", nullptr, "Tracknummer je CD (TPOS) neu beginnen; mit --track-start"},
    {"rename", nullptr, "Dateien nach ihrer Stelle umbenennen (\"001- TEXT.mp3\")"},
    {"name", "TEXT", "der Name hinter der Nummer; mit --rename"},
    {"keep-names", nullptr, "der bisherige Name hinter der Nummer; mit --rename"},
    {"playlist", nullptr, "Wiedergabeliste ALBUM.m3u schreiben; mit --album"},
    {"device-order", nullptr, "Ordnereinträge in Albumreihenfolge (FAT/exFAT, für einfache Abspielgeräte)"},
};

// What the terminal asked for, checked.
struct Choices {
    QString folder;
    QStringList order;  // every file of the album, in playing order
    album::RunPlan plan;
};

// The album's files as the window lists them, put into the order asked for. Why not, empty when fine.
QString OrderFiles(const QCommandLineParser &p, const QStringList &named, Choices &c) {
    QStringList files;
    for (const QString &name : album::ListMp3Files(c.folder))
        if (!album::IsTooShort(QFileInfo(album::EntryPath(c.folder, name)).size()))
            files << name;
    QStringList first = named;
    if (p.isSet("order-from")) {
        QFile list(p.value("order-from"));
        if (!list.open(QIODevice::ReadOnly))
            return QStringLiteral("Die Wiedergabeliste „%1“ lässt sich nicht lesen.").arg(p.value("order-from"));
        for (const QString &name : album::PlaylistNames(list.readAll()))
            if (files.contains(name) && !first.contains(name))
                first << name;
    }
    for (const QString &name : first)
        if (!files.contains(name))
            return QStringLiteral("„%1“ ist keine MP3-Datei des Ordners.").arg(name);
    if (p.isSet("sort")) {
        static const QHash<QString, album::SortOrder> orders{
            {"name", album::SortOrder::Name}, {"track", album::SortOrder::Track}, {"title", album::SortOrder::Title}};
        if (!orders.contains(p.value("sort")))
            return QStringLiteral("--sort kennt name, track und title.");
        std::vector<album::SortKey> keys;
        for (const QString &name : files)
            keys.push_back(album::ReadSortKey(c.folder, name));
        files = album::Sorted(orders.value(p.value("sort")), keys);
    }
    // The files named first, the others after them in the list's order.
    c.order = first;
    for (const QString &name : files)
        if (!c.order.contains(name))
            c.order << name;
    return c.order.isEmpty() ? QStringLiteral("Im Ordner liegen keine MP3-Dateien.") : QString();
}

// The tag page's rows: the first file's fields, as the panel shows them with that file
// selected, and the checked rows from the options.
tagpanel::Rows Rows(const QCommandLineParser &p, const Choices &c) {
    tags::Mp3TagID3v2 v2;
    tags::Mp3TagID3v1 v1;
    const tagpanel::Fields f = tagpanel::ReadFields(album::EntryPath(c.folder, c.order.value(0)), v2, v1);
    tagpanel::Rows r;
    r.tArtist = f.artist, r.tTitel = f.title, r.tAlbum = f.album, r.tYear = f.year, r.tKommentar = f.comment;
    r.tTrack = f.track, r.tGenre = f.genre;
    const std::pair<const char *, std::pair<bool *, QString *>> rows[] = {
        {"artist", {&r.artist, &r.tArtist}}, {"album", {&r.album, &r.tAlbum}},  {"year", {&r.year, &r.tYear}},
        {"comment", {&r.comment, &r.tKommentar}}, {"track-start", {&r.track, &r.tTrack}}};
    for (const auto &[option, row] : rows)
        if (p.isSet(option)) {
            *row.first = true;
            *row.second = p.value(option);
        }
    r.title = p.isSet("title-from-name");
    r.trackTotal = p.isSet("total") ? static_cast<int>(c.order.size()) : 0;
    return r;
}

// The plan from the options; why they do not fit together, empty when they do.
QString Plan(const QCommandLineParser &p, Choices &c) {
    const QStringList args = p.positionalArguments();
    if (args.isEmpty() || !QFileInfo(args[0]).isDir())
        return args.isEmpty() ? QStringLiteral("Es fehlt der Ordner.") : QStringLiteral("„%1“ ist kein Ordner.").arg(args[0]);
    bool number = false;
    if (p.isSet("track-start") && (p.value("track-start").toInt(&number), !number))
        return QStringLiteral("--track-start braucht eine Zahl.");
    const std::pair<bool, const char *> conflicts[] = {
        {int(p.isSet("order-from")) + int(p.isSet("sort")) + int(args.size() > 1) > 1,
         "Die Reihenfolge kommt aus einer Quelle: Dateien, --order-from oder --sort."},
        {p.isSet("name") && p.isSet("keep-names"), "--name und --keep-names schließen sich aus."},
        {(p.isSet("name") || p.isSet("keep-names")) && !p.isSet("rename"), "--name und --keep-names gehören zu --rename."},
        {p.isSet("total") && !p.isSet("track-start"), "--total gehört zu --track-start."},
        {p.isSet("per-disc") && !p.isSet("track-start"), "--per-disc gehört zu --track-start."},
        {p.isSet("playlist") && !p.isSet("album"), "--playlist braucht --album: die Liste heißt wie das Album."},
    };
    for (const auto &[bad, why] : conflicts)
        if (bad)
            return QString::fromUtf8(why);
    c.folder = QDir(args[0]).absolutePath() + QLatin1Char('/');
    if (const QString why = OrderFiles(p, args.mid(1), c); !why.isEmpty())
        return why;
    const tagpanel::Rows rows = Rows(p, c);
    album::RunPlan &plan = c.plan;
    plan.folder = c.folder;
    plan.entries = c.order;
    plan.rows = album::RowsToJson(rows);
    plan.titleFromName = rows.title;
    plan.writePlaylist = p.isSet("playlist");
    plan.albumText = [album = rows.tAlbum] { return album; };
    plan.directoryOrder = p.isSet("device-order");
    plan.perDisc = p.isSet("per-disc");
    if (p.isSet("rename"))
        plan.rename = album::RenameOptions{p.value("name"), p.isSet("keep-names")};
    if (!rows.artist && !rows.album && !rows.year && !rows.comment && !rows.title && !rows.track && !plan.rename &&
        !plan.writePlaylist && !plan.directoryOrder)
        return QStringLiteral("Es ist nichts zu tun: keine Option wählt ein Feld, die Namen, die Liste oder die Ordnung.");
    return {};
}

// One line per file, then what the user must know; the exit code.
int Report(const Choices &c, const album::RunResult &r, FILE *out) {
    const int n = static_cast<int>(c.order.size());
    for (int i = 0; i < n; ++i) {
        const QString &name = c.order[i];
        QString line = QStringLiteral("%1/%2 %3").arg(i + 1).arg(n).arg(name);
        const QString now = r.renaming ? r.renaming->entries[static_cast<size_t>(i)].finalName : name;
        if (now != name)
            line += QStringLiteral(" → ") + now;
        if (const qsizetype k = r.failedFiles.indexOf(name); k >= 0)
            line += QStringLiteral(": übersprungen (%1)").arg(r.whyFailed.value(k));
        Print(out, line);
    }
    QStringList summary{QStringLiteral("%1 von %2 Dateien geschrieben.").arg(r.visited - r.failedFiles.size()).arg(n)};
    if (r.renaming)
        summary << QStringLiteral("%1 umbenannt.").arg(r.renaming->renamed);
    const QString renaming = r.renaming ? album::RenameReport(*r.renaming, c.folder) : QString();
    if (!renaming.isEmpty())
        summary << renaming;
    const bool noList = c.plan.writePlaylist && !r.playlistWritten && r.outcome == album::RunOutcome::Done;
    if (r.playlistWritten)
        summary << QStringLiteral("Wiedergabeliste „%1.m3u“ geschrieben.").arg(c.plan.albumText());
    else if (noList)
        summary << QStringLiteral("Die Wiedergabeliste „%1.m3u“ ließ sich nicht schreiben.").arg(c.plan.albumText());
    if (!r.problem.isEmpty())
        summary << r.problem;
    if (r.outcome == album::RunOutcome::Done)
        summary << QStringLiteral("Rückgängig: sortimentor --undo \"%1\"").arg(QDir::toNativeSeparators(c.folder));
    Print(out, summary.join(QLatin1Char('\n')));
    const bool whole = r.outcome == album::RunOutcome::Done && r.failedFiles.isEmpty() && renaming.isEmpty() &&
                       !noList && r.problem.isEmpty();
    return whole ? 0 : 1;
}

} // namespace

bool WantsRun(const QStringList &args) { return args.contains(QStringLiteral("--run")); }

QString HelpText() {
    QStringList lines{QStringLiteral("Aufruf: sortimentor [ORDNER | DATEI]"),
                      QStringLiteral("       sortimentor --run [Optionen] ORDNER [DATEI...]"),
                      QStringLiteral("       sortimentor --recover [--rollback] ORDNER"),
                      QStringLiteral("       sortimentor --undo ORDNER"),
                      QStringLiteral("       sortimentor --help | --version"),
                      QString(),
                      QStringLiteral("Ohne Option öffnet sich das Fenster; ein ORDNER (oder der Ordner einer DATEI)"),
                      QStringLiteral("wird statt des letzten geladen."),
                      QStringLiteral("  --recover             beendet einen unterbrochenen Durchlauf"),
                      QStringLiteral("  --recover --rollback  macht ihn stattdessen rückgängig"),
                      QStringLiteral("  --undo                macht den letzten beendeten Durchlauf rückgängig"),
                      QString(),
                      QStringLiteral("Die Dateien nach ORDNER geben die Reihenfolge an; fehlende folgen nach Namen."),
                      QStringLiteral("Optionen von --run:")};
    for (const Option &o : kOptions) {
        const QString left = QStringLiteral("--%1%2").arg(QLatin1String(o.name), o.value ? QStringLiteral(" ") + QLatin1String(o.value) : QString());
        lines << QStringLiteral("  %1 %2").arg(left, -24).arg(QString::fromUtf8(o.help));
    }
    lines << QString() << QStringLiteral("Rückgabewert: 0 erledigt, 1 etwas wurde übersprungen oder ist fehlgeschlagen, "
                                         "2 falscher Aufruf.");
    return lines.join(QLatin1Char('\n'));
}

int RunAlbum(const QStringList &args, FILE *out, FILE *err) {
    QCommandLineParser p;
    for (const Option &o : kOptions)
        p.addOption(o.value ? QCommandLineOption(QLatin1String(o.name), QString(), QLatin1String(o.value))
                            : QCommandLineOption(QLatin1String(o.name)));
    Choices c;
    QString why;
    if (!p.parse(QStringList{QStringLiteral("sortimentor")} + args))
        why = p.unknownOptionNames().isEmpty() ? QStringLiteral("Einer Option fehlt ihr Wert.")
                                               : QStringLiteral("Unbekannte Option: --%1").arg(p.unknownOptionNames().join(QStringLiteral(" --")));
    else
        why = Plan(p, c);
    if (!why.isEmpty()) {
        Print(err, why + QLatin1Char('\n') + kUsage);
        return 2;
    }
    album::AlbumRun run;
    album::FileSteps steps;
    steps.makeWritable = [](const album::RunFile &f) { album::MakeWritable(f.path); };
    steps.writeRows = [](const album::RunFile &f, const QJsonObject &rows) {
        return album::WriteRowsAlone(f.path, album::RowsFromJson(rows));
    };
    run.SetSteps(steps);
    return Report(c, run.Run(c.plan), out);
}

} // namespace headless
