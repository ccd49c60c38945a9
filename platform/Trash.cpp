#include "Trash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef Q_OS_WIN

namespace {

// Tells whether the shell really recycled the item: with FOF_ALLOWUNDO it still
// deletes for good what the Recycle Bin cannot take (too big, no bin on the drive).
class RecycleSink final : public IFileOperationProgressSink {
public:
    bool recycled = false;
    HRESULT result = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IUnknown || riid == IID_IFileOperationProgressSink) {
            *ppv = static_cast<IFileOperationProgressSink *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack

    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem *) override {
        // Without this flag the item would be destroyed, not recycled: refuse.
        return (flags & TSF_DELETE_RECYCLE_IF_POSSIBLE) ? S_OK : HRESULT_FROM_WIN32(ERROR_CANCELLED);
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem *, HRESULT hr, IShellItem *newItem) override {
        result = hr;
        recycled = SUCCEEDED(hr) && newItem != nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem *, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem *, LPCWSTR, HRESULT, IShellItem *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem *, IShellItem *, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem *, IShellItem *, LPCWSTR, HRESULT, IShellItem *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem *, IShellItem *, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem *, IShellItem *, LPCWSTR, HRESULT, IShellItem *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem *, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem *, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }

private:
    ULONG refs_ = 1;
};

QString SystemMessage(HRESULT hr) {
    wchar_t *text = nullptr;
    const DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString out = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("Fehler 0x%1").arg(static_cast<unsigned long>(hr), 8, 16, QLatin1Char('0'));
    if (text)
        LocalFree(text);
    return out;
}

} // namespace

TrashOutcome MoveToTrash(const QString &path) {
    TrashOutcome out;
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!QFileInfo::exists(path)) {
        out.reason = QStringLiteral("Die Datei %1 ist nicht mehr vorhanden.").arg(native);
        return out;
    }
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HRESULT hr = S_OK;
    RecycleSink sink;
    {
        IFileOperation *op = nullptr;
        IShellItem *item = nullptr;
        DWORD cookie = 0;
        hr = CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&op));
        if (SUCCEEDED(hr))
            hr = op->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI |
                                       FOFX_EARLYFAILURE
#ifdef FOFX_RECYCLEONDELETE
                                       | FOFX_RECYCLEONDELETE
#endif
            );
        if (SUCCEEDED(hr))
            hr = SHCreateItemFromParsingName(reinterpret_cast<LPCWSTR>(native.utf16()), nullptr, IID_PPV_ARGS(&item));
        if (SUCCEEDED(hr))
            hr = op->Advise(&sink, &cookie);
        if (SUCCEEDED(hr))
            hr = op->DeleteItem(item, nullptr);
        if (SUCCEEDED(hr))
            hr = op->PerformOperations();
        BOOL aborted = FALSE;
        if (SUCCEEDED(hr) && SUCCEEDED(op->GetAnyOperationsAborted(&aborted)) && aborted)
            hr = HRESULT_FROM_WIN32(ERROR_CANCELLED);
        if (op && cookie)
            op->Unadvise(cookie);
        if (item)
            item->Release();
        if (op)
            op->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    if (SUCCEEDED(hr) && FAILED(sink.result))
        hr = sink.result;
    out.ok = SUCCEEDED(hr) && sink.recycled && !QFileInfo::exists(path);
    if (out.ok)
        out.trashedAs = QStringLiteral("Papierkorb");
    else
        out.reason = QStringLiteral("Die Datei %1 konnte nicht in den Papierkorb verschoben werden: %2")
                         .arg(native, FAILED(hr) ? SystemMessage(hr) : QStringLiteral("der Papierkorb nimmt sie nicht auf"));
    return out;
}

#else // the freedesktop.org trash layout

namespace {

QString ErrorText(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return QStringLiteral("keine Berechtigung");
    case EROFS:
        return QStringLiteral("der Datenträger ist schreibgeschützt");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("der Datenträger ist voll");
    case ENOENT:
        return QStringLiteral("nicht vorhanden");
    case ENOTDIR:
    case EEXIST:
        return QStringLiteral("an seiner Stelle liegt eine Datei");
    case EXDEV:
        return QStringLiteral("er liegt auf einem anderen Laufwerk");
    case ENAMETOOLONG:
        return QStringLiteral("der Name ist zu lang");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

QString Show(const QByteArray &path) { return QFile::decodeName(path); }

// A folder that may hold our trash: a real folder, not a link, and ours.
bool UsableFolder(const QByteArray &path, bool mustBeOurs) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (!mustBeOurs || st.st_uid == ::getuid());
}

// Creates the folder and any missing parent, each new one with mode 0700.
int MakeFolders(const QByteArray &path) {
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const QByteArray part = path.left(i);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

QByteArray DataHome() {
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.startsWith('/'))  // a relative value is to be ignored
        return data;
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty())
        if (const passwd *pw = ::getpwuid(::getuid()))
            home = pw->pw_dir;
    return home + "/.local/share";
}

// The device of the path or, where it does not exist yet, of its nearest existing parent.
bool DeviceOf(QByteArray path, dev_t &dev) {
    struct stat st {};
    while (!path.isEmpty()) {
        if (::stat(path.constData(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        const qsizetype slash = path.lastIndexOf('/');
        path = slash > 0 ? path.left(slash) : (slash == 0 && path != "/" ? QByteArray("/") : QByteArray());
    }
    return false;
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
// before the extension when taken; the .trashinfo file is created here, which
// reserves the name.
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

// Moves without replacing anything that is there.
int MoveNoReplace(const QByteArray &from, const QByteArray &to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // A file system without the no-replace rename: link and unlink never replace either.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    if (::unlink(from.constData()) != 0) {
        const int err = errno;
        ::unlink(to.constData());
        return err;
    }
    return 0;
}

} // namespace

TrashOutcome MoveToTrash(const QString &path) {
    TrashOutcome out;
    const QFileInfo fi(path);
    const QString name = fi.fileName();
    const QByteArray file = QFile::encodeName(fi.absoluteFilePath());
    struct stat st {};
    if (name.isEmpty() || ::lstat(file.constData(), &st) != 0) {
        out.reason = QStringLiteral("Die Datei %1 ist nicht mehr vorhanden.").arg(Show(file));
        return out;
    }
    char *real = ::realpath(QFile::encodeName(fi.absolutePath()).constData(), nullptr);
    if (!real) {
        out.reason = QStringLiteral("Der Ordner von %1 ist nicht lesbar: %2").arg(Show(file), ErrorText(errno));
        return out;
    }
    const QByteArray folder(real);
    std::free(real);
    const QByteArray original = (folder == "/" ? QByteArray() : folder) + '/' + QFile::encodeName(name);

    // The home trash for files on the home's file system, the mount's own one otherwise.
    const QByteArray homeTrash = DataHome() + "/Trash";
    dev_t homeDev = 0;
    QByteArray trash;
    QByteArray infoPath;  // the Path= value: absolute in the home trash, relative to the mount otherwise
    if (DeviceOf(DataHome(), homeDev) && homeDev == st.st_dev) {
        trash = homeTrash;
        infoPath = original;
    } else {
        const QByteArray top = TopDir(folder, st.st_dev);
        const QByteArray topSlash = top == "/" ? top : top + '/';
        const QByteArray uid = QByteArray::number(::getuid());
        struct stat admin {};
        const QByteArray shared = topSlash + ".Trash";
        // The shared .Trash only when it is a sticky real folder, never through a link.
        if (::lstat(shared.constData(), &admin) == 0 && S_ISDIR(admin.st_mode) && (admin.st_mode & S_ISVTX)) {
            const QByteArray own = shared + '/' + uid;
            if ((::mkdir(own.constData(), 0700) == 0 || errno == EEXIST) && UsableFolder(own, true))
                trash = own;
        }
        if (trash.isEmpty()) {
            const QByteArray own = topSlash + ".Trash-" + uid;
            const int made = ::mkdir(own.constData(), 0700) == 0 ? 0 : errno;
            if ((made != 0 && made != EEXIST) || !UsableFolder(own, true)) {
                out.reason = QStringLiteral("Auf dem Laufwerk %1 lässt sich kein Papierkorb anlegen: %2")
                                 .arg(Show(top), ErrorText(made != 0 && made != EEXIST ? made : EACCES));
                return out;
            }
            trash = own;
        }
        infoPath = original.mid(topSlash.size());
    }

    for (const char *sub : {"/files", "/info"}) {
        const int err = MakeFolders(trash + sub);
        if (err != 0) {
            out.reason = QStringLiteral("Der Papierkorb %1 lässt sich nicht anlegen: %2").arg(Show(trash), ErrorText(err));
            return out;
        }
    }

    int fd = -1, err = 0;
    const QByteArray trashName = ReserveName(trash, name, fd, err);
    if (trashName.isEmpty()) {
        out.reason = QStringLiteral("Im Papierkorb %1 kann nichts abgelegt werden: %2").arg(Show(trash), ErrorText(err));
        return out;
    }
    const QByteArray info = trash + "/info/" + trashName + ".trashinfo";
    const QByteArray target = trash + "/files/" + trashName;
    const QByteArray text = "[Trash Info]\nPath=" + infoPath.toPercentEncoding("/") + "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
    const bool written = WriteAll(fd, text);
    err = errno;
    ::close(fd);
    if (!written) {
        ::unlink(info.constData());
        out.reason = QStringLiteral("Im Papierkorb %1 kann nichts abgelegt werden: %2").arg(Show(trash), ErrorText(err));
        return out;
    }
    err = MoveNoReplace(file, target);
    if (err != 0) {
        ::unlink(info.constData());
        out.reason = QStringLiteral("Die Datei %1 lässt sich nicht in den Papierkorb %2 verschieben: %3")
                         .arg(Show(file), Show(trash), ErrorText(err));
        return out;
    }

    // Trust no answer: the file must be in the trash and gone from its place.
    struct stat landed {};
    const bool there = ::lstat(target.constData(), &landed) == 0 && ::access(info.constData(), F_OK) == 0 &&
                       ::lstat(file.constData(), &st) != 0;
    if (!there) {
        out.reason = QStringLiteral("Die Datei %1 ist nicht im Papierkorb %2 angekommen.").arg(Show(file), Show(trash));
        return out;
    }
    out.ok = true;
    out.trashedAs = Show(target);
    out.infoFile = Show(info);
    return out;
}

#endif

} // namespace platform
