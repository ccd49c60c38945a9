#include "Trash.h"
#include "TrashTexts.h"
#include "WriterNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <string>

#include <windows.h>
#include <shellapi.h>

namespace platform {

namespace {

// Plain, never the file layer's \\?\ form: SHFileOperationW refuses that, and the guard
// and the file must be named alike.
std::wstring Wide(const QString &path) { return QDir::toNativeSeparators(path).toStdWString(); }

bool Exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD Links(const std::wstring &path) {
    const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD links = GetFileInformationByHandle(h, &info) ? info.nNumberOfLinks : 0;
    CloseHandle(h);
    return links;
}

// A second name for the file beside it, which holds its content while the shell works.
std::wstring GuardName(const QString &abs) {
    static std::atomic<unsigned> counter{0};
    // A repair's look at the folder (tags::fileops::RecoverFolder) drops what a killed process left.
    const std::string name = tags::fileops::WriterFileName(tags::fileops::WriterFile::Guard,
                                                           static_cast<std::uint64_t>(QCoreApplication::applicationPid()),
                                                           counter.fetch_add(1));
    return Wide(QFileInfo(abs).absolutePath() + QLatin1Char('/') + QString::fromStdString(name));
}

// Removes the guard's name, also of a read-only file, whose attribute Windows would
// refuse the delete for. The attributes are the file's own (one file, two names), so
// they are given back once the name is going: the file in the bin stays read-only.
void DropGuardName(const std::wstring &guard) {
    if (DeleteFileW(guard.c_str()))
        return;
    const HANDLE h = CreateFileW(guard.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILE_BASIC_INFO was{};
    if (GetFileInformationByHandleEx(h, FileBasicInfo, &was, sizeof was) && (was.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        FILE_BASIC_INFO attributes{};  // zero times leave the times as they are
        const DWORD rest = was.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        attributes.FileAttributes = rest ? rest : FILE_ATTRIBUTE_NORMAL;
        FILE_DISPOSITION_INFO remove{TRUE};
        if (SetFileInformationByHandle(h, FileBasicInfo, &attributes, sizeof attributes) &&
            SetFileInformationByHandle(h, FileDispositionInfo, &remove, sizeof remove)) {
            attributes.FileAttributes = was.FileAttributes;
            SetFileInformationByHandle(h, FileBasicInfo, &attributes, sizeof attributes);
        }
    }
    CloseHandle(h);
}

} // namespace

// The Recycle Bin through the shell. The shell deletes for good, without a word, what
// its bin cannot take (a drive without one, a file over the bin's size, a bin set to
// delete at once), and wine does so where it has no trash. So a hard link holds the
// file while the shell works: if the shell deleted it, the link count falls to one and
// the link gives the file back under its name. A drive without hard links (FAT, exFAT)
// has no Recycle Bin either, and is refused before anything happens.
TrashOutcome MoveToTrash(const QString &path) {
    const QString abs = QFileInfo(path).absoluteFilePath();
    const QString shown = QDir::toNativeSeparators(abs);
    const std::wstring file = Wide(abs), guard = GuardName(abs);
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (QFileInfo(abs).fileName().isEmpty() || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {false, Missing(shown)};
    // A file that another program holds open without share-delete can be neither moved
    // nor deleted, nor could its guard be removed afterwards: refused before anything.
    const HANDLE probe = CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return {false, Refused(shown, GetLastError() == ERROR_SHARING_VIOLATION
                                          ? QStringLiteral("ein anderes Programm hat sie geöffnet")
                                          : QStringLiteral("keine Berechtigung"))};
    CloseHandle(probe);
    if (!CreateHardLinkW(guard.c_str(), file.c_str(), nullptr))
        return {false, Refused(shown, QStringLiteral("das Laufwerk hat keinen Papierkorb"))};

    std::wstring from = file;
    from.push_back(L'\0'); // a list of names, ended by an empty one
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
    const int rc = SHFileOperationW(&op);
    const bool gone = !Exists(file);
    if (gone && Links(guard) >= 2) {
        DropGuardName(guard);
        return {true, {}};
    }
    if (gone) { // deleted for good: the guard is the file now
        if (!MoveFileExW(guard.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH))
            return {false, Refused(shown, QStringLiteral("sie liegt als %1 im Ordner")
                                              .arg(QString::fromStdWString(guard)))};
        return {false, Refused(shown, QStringLiteral("der Papierkorb nimmt sie nicht auf"))};
    }
    DropGuardName(guard);
    return {false, Refused(shown, rc == 0 || op.fAnyOperationsAborted ? QStringLiteral("sie liegt noch an ihrem Platz")
                                                                       : QStringLiteral("Fehler %1 der Shell").arg(rc))};
}

} // namespace platform
