#include "Trash.h"
#include "TrashTexts.h"

// GLib names struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

namespace platform {

namespace {

// GIO's trash, loaded at the first file to trash and not with the program: its
// libraries took a fifth of the start-up of every run from the terminal.
struct Gio {
    decltype(&g_file_new_for_path) newForPath = nullptr;
    decltype(&g_file_trash) trash = nullptr;
    decltype(&g_io_error_quark) errorQuark = nullptr;
    decltype(&g_io_error_from_errno) fromErrno = nullptr;
    decltype(&g_object_unref) unref = nullptr;
};

// Null when GIO is not there.
const Gio *LoadGio() {
    static const Gio gio = [] {
        QLibrary lib(QStringLiteral("gio-2.0"), 0), objects(QStringLiteral("gobject-2.0"), 0);
        Gio g;
        g.newForPath = reinterpret_cast<decltype(g.newForPath)>(lib.resolve("g_file_new_for_path"));
        g.trash = reinterpret_cast<decltype(g.trash)>(lib.resolve("g_file_trash"));
        g.errorQuark = reinterpret_cast<decltype(g.errorQuark)>(lib.resolve("g_io_error_quark"));
        g.fromErrno = reinterpret_cast<decltype(g.fromErrno)>(lib.resolve("g_io_error_from_errno"));
        g.unref = reinterpret_cast<decltype(g.unref)>(objects.resolve("g_object_unref"));
        return g;
    }();
    return gio.newForPath && gio.trash && gio.errorQuark && gio.fromErrno && gio.unref ? &gio : nullptr;
}

QString ErrorText(int code, const QString &message) {
    switch (code) {
    case G_IO_ERROR_PERMISSION_DENIED:
        return QStringLiteral("keine Berechtigung");
    case G_IO_ERROR_READ_ONLY:
        return QStringLiteral("der Datenträger ist schreibgeschützt");
    case G_IO_ERROR_NO_SPACE:
        return QStringLiteral("der Datenträger ist voll");
    case G_IO_ERROR_NOT_FOUND:
        return QStringLiteral("nicht vorhanden");
    case G_IO_ERROR_NOT_DIRECTORY:
    case G_IO_ERROR_EXISTS:
        return QStringLiteral("an seiner Stelle liegt eine Datei");
    case G_IO_ERROR_FILENAME_TOO_LONG:
        return QStringLiteral("der Name ist zu lang");
    case G_IO_ERROR_NOT_SUPPORTED:
        return QStringLiteral("das Laufwerk hat keinen Papierkorb");
    default:
        return message;
    }
}

QString ErrnoText(int err) {
    const Gio *gio = LoadGio();
    return ErrorText(gio ? gio->fromErrno(err) : G_IO_ERROR_FAILED, QString::fromLocal8Bit(g_strerror(err)));
}

QString Show(const QByteArray &path) { return QFile::decodeName(path); }

// ---- The top-directory trash of a mount that GIO keeps out of ----------------------
// GIO does not trash on the mounts it counts as the system's own (tmpfs and the like)
// and answers "not supported"; albums do live there (/tmp, a RAM disk), so their files
// go to the mount's top-directory trash here, laid out as GIO would.

// A folder that may hold our trash: a real folder, not a link, and ours.
bool OwnFolder(const QByteArray &path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// The top folder of the mount that holds the folder (a canonical path).
QByteArray TopDir(const QByteArray &folder, dev_t dev) {
    QByteArray top = folder;
    while (top != "/") {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray parent = slash > 0 ? top.left(slash) : QByteArray("/");
        struct stat st {};
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != dev)
            break;
        top = parent;
    }
    return top;
}

// The name under which the file goes into the trash: its own, or with ".2", ".3" ...
// before the extension when taken; creating the .trashinfo file reserves the name.
QByteArray ReserveName(const QByteArray &trash, const QString &name, int &fd, int &err) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1; n < 10000; ++n) {
        QString s = stem;
        QByteArray candidate;
        // Room for ".trashinfo" within the longest name a file system takes.
        do {
            candidate = QFile::encodeName(n == 1 ? s + ext : QStringLiteral("%1.%2%3").arg(s).arg(n).arg(ext));
            s.chop(1);
        } while (candidate.size() + 10 > 255 && !s.isEmpty());
        const QByteArray info = trash + "/info/" + candidate + ".trashinfo";
        fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            err = errno;
            return {};
        }
        struct stat st {};
        if (::lstat((trash + "/files/" + candidate).constData(), &st) == 0) {
            // A left-over without its info file: keep both, take another name.
            ::close(fd);
            ::unlink(info.constData());
            continue;
        }
        return candidate;
    }
    err = EEXIST;
    return {};
}

bool WriteAll(int fd, const QByteArray &data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return ::fsync(fd) == 0;
}

// Moves without replacing anything that is there, and never copies.
int MoveNoReplace(const QByteArray &from, const QByteArray &to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    if (::unlink(from.constData()) != 0) {
        const int err = errno;
        ::unlink(to.constData());
        return err;
    }
    return 0;
}

TrashOutcome TopDirTrash(const QByteArray &file, const struct stat &st) {
    TrashOutcome out;
    const qsizetype slash = file.lastIndexOf('/');
    const QString name = QFile::decodeName(file.mid(slash + 1));
    char *real = ::realpath(slash > 0 ? file.left(slash).constData() : "/", nullptr);
    if (!real) {
        out.reason = QStringLiteral("Der Ordner von %1 ist nicht lesbar: %2").arg(Show(file), ErrnoText(errno));
        return out;
    }
    const QByteArray folder(real);
    ::free(real);
    const QByteArray top = TopDir(folder, st.st_dev);
    const QByteArray topSlash = top == "/" ? top : top + '/';
    const QByteArray uid = QByteArray::number(::getuid());
    QByteArray trash;
    // The shared .Trash only when it is a sticky real folder, never through a link.
    struct stat admin {};
    const QByteArray shared = topSlash + ".Trash";
    if (::lstat(shared.constData(), &admin) == 0 && S_ISDIR(admin.st_mode) && (admin.st_mode & S_ISVTX)) {
        const QByteArray own = shared + '/' + uid;
        if ((::mkdir(own.constData(), 0700) == 0 || errno == EEXIST) && OwnFolder(own))
            trash = own;
    }
    if (trash.isEmpty()) {
        const QByteArray own = topSlash + ".Trash-" + uid;
        const int made = ::mkdir(own.constData(), 0700) == 0 ? 0 : errno;
        if ((made != 0 && made != EEXIST) || !OwnFolder(own)) {
            out.reason = QStringLiteral("Auf dem Laufwerk %1 lässt sich kein Papierkorb anlegen: %2")
                             .arg(Show(top), ErrnoText(made != 0 && made != EEXIST ? made : EACCES));
            return out;
        }
        trash = own;
    }
    for (const char *sub : {"/files", "/info"}) {
        const QByteArray dir = trash + sub;
        if ((::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) || !OwnFolder(dir)) {
            out.reason = QStringLiteral("Der Papierkorb %1 lässt sich nicht anlegen: %2").arg(Show(trash), ErrnoText(errno));
            return out;
        }
    }

    int fd = -1, err = 0;
    const QByteArray trashName = ReserveName(trash, name, fd, err);
    if (trashName.isEmpty()) {
        out.reason = QStringLiteral("Im Papierkorb %1 kann nichts abgelegt werden: %2").arg(Show(trash), ErrnoText(err));
        return out;
    }
    const QByteArray info = trash + "/info/" + trashName + ".trashinfo";
    const QByteArray target = trash + "/files/" + trashName;
    // The path relative to the mount, so the trash still works where it is mounted next time.
    const QByteArray original = (folder == "/" ? QByteArray() : folder) + '/' + QFile::encodeName(name);
    const QByteArray text = "[Trash Info]\nPath=" + original.mid(topSlash.size()).toPercentEncoding("/") +
                            "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
    const bool written = WriteAll(fd, text);
    err = errno;
    ::close(fd);
    if (!written) {
        ::unlink(info.constData());
        out.reason = QStringLiteral("Im Papierkorb %1 kann nichts abgelegt werden: %2").arg(Show(trash), ErrnoText(err));
        return out;
    }
    err = MoveNoReplace(file, target);
    if (err != 0) {
        ::unlink(info.constData());
        out.reason = Refused(Show(file), ErrnoText(err));
        return out;
    }
    out.ok = true;
    return out;
}

bool OnHomeFileSystem(const struct stat &st) {
    struct stat home {};
    return ::stat(g_get_home_dir(), &home) == 0 && home.st_dev == st.st_dev;
}

} // namespace

TrashOutcome MoveToTrash(const QString &path) {
    TrashOutcome out;
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const QString shown = QFile::decodeName(file);
    struct stat st {};
    if (QFileInfo(path).fileName().isEmpty() || ::lstat(file.constData(), &st) != 0) {
        out.reason = Missing(shown);
        return out;
    }
    // GIO makes the home trash but not the data folder it lives in, which a fresh
    // account does not have yet; the trash is private, and so is that folder.
    g_mkdir_with_parents(g_get_user_data_dir(), 0700);
    const Gio *gio = LoadGio();
    if (!gio) {
        out.reason = Refused(shown, QStringLiteral("GIO fehlt, der Papierkorb ist nicht erreichbar"));
        return out;
    }
    // GIO only ever renames into a trash on the file's own file system; where there is
    // none it refuses and leaves the file.
    GFile *g = gio->newForPath(file.constData());
    GError *err = nullptr;
    const bool trashed = gio->trash(g, nullptr, &err);
    gio->unref(g);
    if (!trashed) {
        const bool gioKeepsOut =
            err && err->domain == gio->errorQuark() && err->code == G_IO_ERROR_NOT_SUPPORTED && !OnHomeFileSystem(st);
        out = gioKeepsOut ? TopDirTrash(file, st)
                          : TrashOutcome{false, Refused(shown, err ? ErrorText(err->code, QString::fromUtf8(err->message))
                                                                   : QStringLiteral("der Papierkorb nimmt sie nicht auf"))};
        g_clear_error(&err);
        if (!out.ok)
            return out;
    }
    // Trust no answer: the file must be gone from its place.
    if (::lstat(file.constData(), &st) == 0) {
        return {false, Refused(shown, QStringLiteral("sie liegt noch an ihrem Platz"))};
    }
    out.ok = true;
    return out;
}


} // namespace platform
