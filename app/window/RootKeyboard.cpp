// Keyboard use and accessibility of the main window, and opening a folder given at start.
#include "DragList.h"
#include "Root.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMetaObject>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <utility>

namespace {

// Controls in reading order: folder row, album list with its buttons, the page shown
// on the right, the continue button at the bottom.
const char *const kTabOrder[] = {
    "tOrdner", "bOrdner", "LDateien", "bAufwärts", "bAbwärts", "bPlayliste",
    // introduction page
    "bNachDateiname", "bNachTracknummer", "bNachTitel",
    // file-name page
    "bChangeFilename", "bUseExistFile", "tFilename", "bGeraeteOrdnung",
    // tag page
    "bArtist", "tArtist", "bTitel", "tTitel", "bAlbum", "tAlbum", "bYear", "tYear", "bTrack", "tTrack", "bGesamtzahl",
    "bGenre", "tGenre", "bKommentar", "tKommentar", "bAlbumRefresh", "bTrackChange", "bFilesTitel",
    // help panel
    "bInfo", "bVorschau", "bStarten"};

// Names for controls whose caption says nothing or that have none. Captioned
// buttons, check boxes and frames are named by their caption.
const struct {
    const char *control, *name;
} kNames[] = {{"tOrdner", "Quellordner"},      {"bOrdner", "Ordner wählen"},     {"LDateien", "Dateiliste"},
              {"bAufwärts", "Nach oben"},      {"bAbwärts", "Nach unten"},       {"tFilename", "Neuer Dateiname"},
              {"tArtist", "Artist/Interpreter"}, {"tTitel", "Titel"},            {"tAlbum", "Album"},
              {"tYear", "Jahr"},               {"tTrack", "Track"},              {"tGenre", "Genre"},
              {"tKommentar", "Kommentar"},     {"pSymbole0", "Hilfesymbol"},     {"xpFrameHelpPic", "Hinweis"},
              {"pFortschritt", "Fortschritt"}};

// Keys for the captions that carry no mnemonic of their own. A shortcut belongs to its
// control: it is dead while the control is hidden (another page) or disabled, so the
// pages can use the same letters.
enum class Act { Click, Focus };
const struct {
    const char *control;
    const char *keys;
    Act act;
} kKeys[] = {
    {"bOrdner", "Alt+O", Act::Click},        {"bOrdner", "Ctrl+O", Act::Click},     {"LDateien", "Alt+D", Act::Focus},
    {"bStarten", "Alt+F", Act::Click},       {"bVorschau", "Alt+S", Act::Click},
    // introduction page
    {"bNachDateiname", "Alt+N", Act::Click}, {"bNachTracknummer", "Alt+R", Act::Click}, {"bNachTitel", "Alt+T", Act::Click},
    // file-name page
    {"bChangeFilename", "Alt+U", Act::Click}, {"bUseExistFile", "Alt+V", Act::Click}, {"tFilename", "Alt+N", Act::Focus},
    {"bGeraeteOrdnung", "Alt+R", Act::Click},
    // tag page
    {"bArtist", "Alt+A", Act::Click},        {"bTitel", "Alt+T", Act::Click},       {"bAlbum", "Alt+L", Act::Click},
    {"bYear", "Alt+J", Act::Click},          {"bTrack", "Alt+R", Act::Click},       {"bGesamtzahl", "Alt+H", Act::Click},
    {"bGenre", "Alt+G", Act::Click},
    {"bKommentar", "Alt+K", Act::Click},     {"bAlbumRefresh", "Alt+V", Act::Click}, {"bTrackChange", "Alt+Z", Act::Click},
    {"bFilesTitel", "Alt+E", Act::Click}};

const char *const kReady = "keyboardReady";

// A word-wrapped label gets as many lines as its width needs, but Qt gives a window the
// smallest height of its layouts without asking how tall such labels become at the
// window's width: made small, the window would cut the help texts off. The guard keeps
// the window's smallest height at what the layouts need for its present width, and each
// wrapped label at a width of some characters, so that it cannot be squeezed into a
// tall column of single words. Everything is measured in the fonts in use, so it holds
// at every scale factor.
class WrappedTextGuard : public QObject {
public:
    static constexpr int kMinimumCharacters = 50;

    explicit WrappedTextGuard(QMainWindow *window) : QObject(window), m_window(window) {
        for (QLabel *label : window->findChildren<QLabel *>()) {
            if (!label->wordWrap())
                continue;
            // Room to spare goes below the text, not above it.
            label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
            FitWidth(label);
            label->installEventFilter(this);
        }
        if (QWidget *central = window->centralWidget())
            central->installEventFilter(this);
        FitHeight();
    }

private:
    static void FitWidth(QLabel *label) {
        const int width = label->fontMetrics().averageCharWidth() * kMinimumCharacters;
        if (label->minimumWidth() != width)
            label->setMinimumWidth(width);
    }

    void FitHeight() {
        QWidget *central = m_window->centralWidget();
        QLayout *layout = central ? central->layout() : nullptr;
        if (!layout || !layout->hasHeightForWidth() || !m_window->isVisible())
            return;
        const int frame = m_window->height() - central->height(); // anything around the central widget
        const int need = layout->totalHeightForWidth(central->width()) + frame;
        if (need > 0 && need != m_window->minimumHeight())
            m_window->setMinimumHeight(need);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override {
        const QEvent::Type t = e->type();
        if (auto *label = qobject_cast<QLabel *>(watched)) {
            if (t == QEvent::FontChange || t == QEvent::StyleChange)
                FitWidth(label);
        } else if (t == QEvent::Resize || t == QEvent::LayoutRequest || t == QEvent::Show) {
            // After the central widget has handled the event, with its new size or layout.
            QMetaObject::invokeMethod(this, [this] { FitHeight(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QMainWindow *m_window;
};

} // namespace

void Root::SetupKeyboardAndAccessibility() {
    if (property(kReady).toBool())
        return;
    setProperty(kReady, true);

    m_list->setAccessibleDescription(
        QStringLiteral("Alt+D; Strg+Pfeil nach oben oder unten verschiebt den markierten Titel"));

    QWidget *previous = nullptr;
    for (const char *name : kTabOrder) {
        QWidget *w = Control(QString::fromUtf8(name));
        if (!w)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    for (const auto &n : kNames)
        if (QWidget *w = Control(QString::fromUtf8(n.control)))
            w->setAccessibleName(QString::fromUtf8(n.name));

    for (const auto &k : kKeys) {
        QWidget *w = Control(QString::fromUtf8(k.control));
        if (!w)
            continue;
        const QKeySequence keys(QString::fromLatin1(k.keys));
        auto *shortcut = new QShortcut(keys, w);
        shortcut->setContext(Qt::WindowShortcut);
        if (k.act == Act::Focus) {
            connect(shortcut, &QShortcut::activated, w, [w] { w->setFocus(Qt::ShortcutFocusReason); });
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            // A check box keeps the focus, so that Tab leads on to its field.
            const bool focus = qobject_cast<QCheckBox *>(b) != nullptr;
            connect(shortcut, &QShortcut::activated, b, [b, focus] {
                if (focus)
                    b->setFocus(Qt::ShortcutFocusReason);
                b->click();
            });
        }
        if (w->accessibleDescription().isEmpty())
            w->setAccessibleDescription(keys.toString(QKeySequence::NativeText));
    }

    // Ctrl+Up/Ctrl+Down do what the arrow buttons do, from anywhere in the window, and
    // like the buttons only while these are enabled.
    const struct {
        QAbstractButton *button;
        int key;
        void (Root::*click)();
    } moves[] = {{m_up, Qt::Key_Up, &Root::bAufwaertsClick}, {m_down, Qt::Key_Down, &Root::bAbwaertsClick}};
    for (const auto &m : moves) {
        auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | m.key), m.button);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, m.click);
        m.button->setAccessibleDescription(shortcut->key().toString(QKeySequence::NativeText));
    }

    new WrappedTextGuard(this);

    // Start where the work is: in the album list, or at the folder button while it is empty.
    if (m_list->count() > 0)
        m_list->setFocus(Qt::OtherFocusReason);
    else
        m_browse->setFocus(Qt::OtherFocusReason);
}

bool Root::OpenFolder(const QString &folder, const QString &select) {
    if (folder.isEmpty() || !QFileInfo(QDir::fromNativeSeparators(folder)).isDir() || m_loading || m_checking ||
        IsRunning())
        return false;
    // The same steps as a folder chosen with the picker.
    std::function<QString()> picker = std::exchange(m_picker, [folder] { return folder; });
    {
        const auto restore = qScopeGuard([&] { m_picker = std::move(picker); });
        bOrdnerClick();
    }
    // Like a start-up with the last folder: the named file, else the first entry.
    const auto found = select.isEmpty() ? QList<QListWidgetItem *>()
                                        : m_list->findItems(select, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (!found.isEmpty())
        m_list->setCurrentItem(found.first());
    else if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    return true;
}
