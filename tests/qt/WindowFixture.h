#pragma once
// What the window tests share: reaching the window's controls, walking its pages, and a
// base that opens a folder in a window whose questions and notices are recorded.

#include "AlbumFixture.h"
#include "Root.h"

#include <QtWidgets>

#include <functional>
#include <memory>

namespace wintest {

inline QCheckBox *Check(const Root &w, const QString &name) { return w.Control<QCheckBox>(name); }
inline QLineEdit *Edit(const Root &w, const QString &name) { return w.Control<QLineEdit>(name); }
inline QString Native(const QString &folder) { return QDir::toNativeSeparators(folder); }

// The settings file under the program's own key, read and written without the program.
inline QSettings Settings() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Varnolt", "Sortimentor"); }

// Calls `fn` on every pass of the event loop while it lives.
struct Poll {
    QTimer timer;
    explicit Poll(const std::function<void()> &fn) {
        QObject::connect(&timer, &QTimer::timeout, fn);
        timer.start(0);
    }
};
inline QMessageBox *Question() { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }

inline void Select(Root &w, const QString &entry) {
    w.LDateien()->setCurrentItem(w.LDateien()->findItems(entry, Qt::MatchExactly).value(0));
}

// Moves `entry` to the top with the arrow button.
inline void ToTop(Root &w, const QString &entry) {
    Select(w, entry);
    while (w.LDateien()->currentRow() > 0)
        w.bAufwaertsClick();
}

// On to the tag page; a new name (empty: the present ones) chooses the renaming on the way.
inline void ToTagPage(Root &w, const char *rename = nullptr) {
    w.bStarten()->click();
    if (rename) {
        Check(w, "bChangeFilename")->click();
        if (*rename)
            Edit(w, "tFilename")->setText(QString::fromUtf8(rename));
        else
            Check(w, "bUseExistFile")->click();
    }
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(1)));
}

// Checks each row's toggle ("Titel" for bTitel) and fills its field where a text is given.
inline void Tick(Root &w, const QList<std::pair<QString, QString>> &rows) {
    for (const auto &[row, text] : rows) {
        Check(w, "b" + row)->click();
        if (!text.isNull())
            Edit(w, "t" + row)->setText(text);
    }
}

inline void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

} // namespace wintest

class WindowTest : public QObject {
protected:
    QTemporaryDir m_tmp;
    int m_asked = 0;
    QStringList m_notices;

    std::unique_ptr<Root> Open(const QString &folder, bool realQuestion = false) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->SetNotice([this](const QString &title, const QString &text) { m_notices << title + "|" + text; });
        if (!realQuestion)
            w->SetConfirm([this](const QString &, const QString &) { return ++m_asked; });
        w->bOrdnerClick();
        return w;
    }
    // A folder of real MP3 files, opened in a window.
    std::unique_ptr<Root> OpenAlbum(const char *name, const QStringList &files, bool realQuestion = false) {
        const QString folder = fixture::FreshFolder(m_tmp, name);
        if (!fixture::MakeAlbum(folder, files))
            qFatal("the album could not be written");
        return Open(folder, realQuestion);
    }
    QString Folder(const char *name) { return m_tmp.filePath(name) + "/"; }

    void Reset() {
        fixture::ClearSettings();
        m_asked = 0;
        m_notices.clear();
        fixture::TakeTrash();
    }
};
