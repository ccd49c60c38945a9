#pragma once
// Per-user settings with the registry's vocabulary: a root key, a key path such as
// "Software\Varnolt\Sortimentor" and typed values. Backed by QSettings, so on Windows
// the values land in the registry of the current user and elsewhere in the user's
// settings folder. No operation raises an error; failures show as false.
#include <QString>
#include <QtGlobal>
#include <variant>

namespace platform {

// The only root the program uses (HKEY_CURRENT_USER).
inline constexpr quint32 kCurrentUser = 0x80000001u;

// The value kinds the store keeps apart: a 16-bit integer (stored as a 32-bit number),
// a 32-bit integer (stored as 4 little-endian bytes) and text (one line, or several
// lines separated by CR LF). std::monostate stands for "nothing" (written as nothing).
using RegValue = std::variant<std::monostate, qint16, qint32, QString>;

bool KeyExists(quint32 root, const QString &path);
// True only when the key was newly created.
bool CreateKey(quint32 root, const QString &path, const QString &keyClass);
bool SetValue(quint32 root, const QString &path, const QString &name, const RegValue &value);
// Texts come back as QString (up to the first zero character), binary and 32-bit
// numbers as qint32. Values of any other stored kind leave `value` unchanged.
bool GetValue(quint32 root, const QString &path, const QString &name, RegValue &value);

} // namespace platform
