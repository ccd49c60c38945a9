#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QtEndian>
#include <memory>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#endif

namespace platform {
namespace {

// "Software\Org" or "Software\Org\App" -> {Org} or {Org, App}; anything else is not ours.
QStringList KeyParts(quint32 root, const QString &path) {
    if (root != kCurrentUser)
        return {};
    QStringList parts = QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < 2 || parts.size() > 3 || parts.first().compare(QLatin1String("Software"), Qt::CaseInsensitive) != 0)
        return {};
    parts.removeFirst();
    return parts;
}

std::unique_ptr<QSettings> Open(const QStringList &parts) {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, parts.value(0), parts.value(1));
}

#ifdef Q_OS_WIN
// Keys themselves through the registry's own calls: QSettings makes and drops keys
// as a side effect of values only.
std::wstring KeyPath(const QStringList &parts) { return (QStringLiteral("Software\\") + parts.join(QLatin1Char('\\'))).toStdWString(); }

bool Exists(const QStringList &parts) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(parts).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool Create(const QStringList &parts) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(parts).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, &disposition) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return disposition == REG_CREATED_NEW_KEY;
}
#else
// The maker's key is the folder holding the programs' settings files; a program's key
// is its settings file.
QString KeyLocation(const QStringList &parts) {
    const QString file = QSettings(QSettings::NativeFormat, QSettings::UserScope, parts.value(0),
                                   parts.size() > 1 ? parts.value(1) : QStringLiteral("x")).fileName();
    return parts.size() > 1 ? file : QFileInfo(file).absolutePath();
}

bool Exists(const QStringList &parts) { return QFileInfo::exists(KeyLocation(parts)); }

bool Create(const QStringList &parts) {
    const QString where = KeyLocation(parts);
    if (parts.size() == 1)
        return QDir().mkpath(where);
    if (!QDir().mkpath(QFileInfo(where).absolutePath()))
        return false;
    QFile f(where);
    return f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}
#endif

} // namespace

bool KeyExists(quint32 root, const QString &path) {
    const QStringList parts = KeyParts(root, path);
    return !parts.isEmpty() && Exists(parts);
}

bool CreateKey(quint32 root, const QString &path, const QString &keyClass) {
    Q_UNUSED(keyClass); // QSettings has no key classes
    const QStringList parts = KeyParts(root, path);
    if (parts.isEmpty() || Exists(parts))
        return false;
    return Create(parts);
}

bool SetValue(quint32 root, const QString &path, const QString &name, const RegValue &value) {
    const QStringList parts = KeyParts(root, path);
    if (parts.isEmpty() || name.isEmpty() || !Exists(parts))
        return false; // values go only into keys that were created
    if (std::holds_alternative<std::monostate>(value))
        return true;
    auto s = Open(parts);
    if (const auto *v16 = std::get_if<qint16>(&value)) {
#ifdef Q_OS_WIN
        s->setValue(name, int(*v16)); // REG_DWORD
#else
        s->setValue(name, QVariant::fromValue<short>(*v16)); // keeps its kind in the ini file
#endif
    } else if (const auto *v32 = std::get_if<qint32>(&value)) {
        QByteArray bytes(4, '\0');
        qToLittleEndian<qint32>(*v32, bytes.data()); // REG_BINARY on Windows
        s->setValue(name, bytes);
    } else {
        QString text = std::get<QString>(value);
        if (text.contains(QLatin1Char('\r')) && !text.endsWith(QLatin1String("\r\n")))
            text += QLatin1String("\r\n");
        s->setValue(name, text);
    }
    s->sync();
    return s->status() == QSettings::NoError;
}

bool GetValue(quint32 root, const QString &path, const QString &name, RegValue &value) {
    const QStringList parts = KeyParts(root, path);
    if (parts.isEmpty() || !Exists(parts))
        return false;
    auto s = Open(parts);
    if (!s->contains(name))
        return false;
    const QVariant v = s->value(name);
    switch (v.typeId()) {
    case QMetaType::QString: {
        const QString text = v.toString();
        const qsizetype zero = text.indexOf(QChar(0));
        value = zero < 0 ? text : text.left(zero);
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        if (bytes.size() < 4)
            return false;
        value = qFromLittleEndian<qint32>(bytes.constData());
        break;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        value = qint32(v.toLongLong());
        break;
    default:
        break; // other kinds are left alone
    }
    return true;
}

} // namespace platform
