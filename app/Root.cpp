#include "Root.h"

#include "AlbumList.h"
#include "DragList.h"
#include "FileUtils.h"
#include "Info.h"
#include "Mp3InfoBridge.h"
#include "Registry.h"
#include "RunJournal.h"
#include "Tooltips_Class.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <stdexcept>

static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace {

const char *const kTag = "tag";
const char *const kIconNumber = "iconNumber";

// Start-up and the continue operation skip a failing step and go on with the next one.
template <class F> void Step(F &&f) {
    try {
        f();
    } catch (...) {
    }
}

QIcon LoadIcon(const QString &file, QStyle::StandardPixmap fallback) {
    QIcon icon(file);
    if (icon.pixmap(QSize(16, 16)).isNull())
        icon = QApplication::style()->standardIcon(fallback);
    return icon;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, bool wrap = false) {
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromUtf8(name));
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setWordWrap(wrap);
    return l;
}

QCheckBox *MakeCheck(QWidget *parent, const char *name, const QString &text) {
    auto *c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromUtf8(name));
    return c;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name) {
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromUtf8(name));
    return e;
}

} // namespace

QString Root::VersionText() { return QString::number(kVersionMajor) + QLatin1Char('.') + QString::number(kVersionMinor); }

QString Root::SettingsKey() { return QStringLiteral("Software\\Varnolt\\Sortimentor"); }

QString Root::TagOf(const QObject *o) { return o ? o->property(kTag).toString() : QString(); }

void Root::SetTag(QObject *o, const QString &tag) {
    if (o)
        o->setProperty(kTag, tag);
}

int Root::TagNumber(const QObject *o) {
    // Read like a number typed by hand: leading blanks, an optional sign, then digits.
    const QString t = TagOf(o).trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    while (i < t.size() && t[i].isDigit())
        ++i;
    bool ok = false;
    const int v = t.left(i).toInt(&ok);
    return ok ? v : 0;
}

bool Root::PageShown(const QWidget *page) { return page && !page->isHidden(); }

Root::Root(QWidget *parent, bool restoreLastDir) : QMainWindow(parent), m_restoreLastDir(restoreLastDir) {
    InitIconResources();
    setWindowTitle(QStringLiteral("Sortimentor Converter"));
    QFont f = font();
    f.setFamilies({QStringLiteral("Tahoma"), f.family()});
    setFont(f);
    BuildUi();
    Startup();
    AddRunRecord();
}

Root::~Root() = default;

tags::Mp3TagID3v1 &Root::TagV1() {
    if (!m_v1)
        m_v1 = std::make_unique<tags::Mp3TagID3v1>();
    return *m_v1;
}

tags::Mp3TagID3v2 &Root::TagV2() {
    if (!m_v2)
        m_v2 = std::make_unique<tags::Mp3TagID3v2>();
    return *m_v2;
}

QListWidget *Root::LDateien() const { return m_list; }

QGroupBox *Root::xpFrames(int i) const { return i >= 1 && i <= 3 ? m_pages[i] : nullptr; }

void Root::BuildUi() {
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);

    // pSeite(0): never shown; the timer, the folder listing, the icon store and the
    // value stores of the tag panel.
    auto *store = new QWidget(central);
    store->setObjectName(QStringLiteral("pSeite0"));
    store->hide();
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(300);
    m_fileData = new QListWidget(store);
    m_fileData->setObjectName(QStringLiteral("LFiledata"));
    const qreal dpr = qApp->devicePixelRatio();
    const QStyle::StandardPixmap fallbacks[11] = {
        QStyle::SP_MessageBoxInformation, QStyle::SP_DirOpenIcon,      QStyle::SP_MessageBoxInformation,
        QStyle::SP_FileDialogListView,    QStyle::SP_DialogApplyButton, QStyle::SP_FileIcon,
        QStyle::SP_DialogSaveButton,      QStyle::SP_FileDialogDetailedView, QStyle::SP_FileDialogContentsView,
        QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning};
    for (int i = 1; i <= 10; ++i) {
        auto *img = new QLabel(store);
        img->setObjectName(QStringLiteral("pSymbole%1").arg(i));
        img->setPixmap(LoadIcon(QStringLiteral(":/icons/step%1.svg").arg(i), fallbacks[i]).pixmap(QSize(40, 40), dpr));
        m_symbols[i] = img;
    }
    for (int i = 1; i <= 3; ++i)
        MakeLabel(store, QStringLiteral("sAnzeige%1").arg(i).toUtf8().constData(), QString());
    for (const char *name : {"sOriginalArtist", "sComposer", "sGenre", "sYear", "sAlbum", "sArtist", "sTitle", "sTrack",
                             "sKommentar", "sBitrate"})
        MakeLabel(store, name, QString());

    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(10);

    // xpFrame0: the source folder.
    m_folderFrame = new QGroupBox(QStringLiteral("Hörbucher"), central);
    m_folderFrame->setObjectName(QStringLiteral("xpFrame0"));
    {
        auto *row = new QHBoxLayout(m_folderFrame);
        auto *label = MakeLabel(m_folderFrame, "Label4", QStringLiteral("Quellordner:"));
        m_folder = MakeEdit(m_folderFrame, "tOrdner");
        m_folder->setText(QStringLiteral("<ORDNER>"));
        m_folder->setReadOnly(true); // chosen with the picker only
        m_folder->setPlaceholderText(QStringLiteral("Kein Ordner gewählt"));
        label->setBuddy(m_folder);
        m_browse = new QPushButton(QStringLiteral("..."), m_folderFrame);
        m_browse->setObjectName(QStringLiteral("bOrdner"));
        m_browse->setIcon(LoadIcon(QStringLiteral(":/icons/folder.svg"), QStyle::SP_DirOpenIcon));
        m_browse->setAccessibleName(QStringLiteral("Ordner wählen"));
        row->addWidget(label);
        row->addWidget(m_folder, 1);
        row->addWidget(m_browse);
    }
    outer->addWidget(m_folderFrame);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(10);
    outer->addLayout(middle, 1);

    // pSeite(1): the album list with its arrows and the playlist option.
    auto *listArea = new QWidget(central);
    listArea->setObjectName(QStringLiteral("pSeite1"));
    {
        auto *col = new QVBoxLayout(listArea);
        col->setContentsMargins(0, 0, 0, 0);
        m_list = new platform::DragList(listArea);
        m_list->setObjectName(QStringLiteral("LDateien"));
        m_list->setAlternatingRowColors(true);
        m_list->setMinimumWidth(220);
        m_list->setUniformItemSizes(true); // keeps long albums quick to lay out
        m_list->setStyleSheet(QStringLiteral("QListWidget::item { padding: 3px 4px; }"));
        col->addWidget(m_list, 1);
        auto *row = new QHBoxLayout;
        auto makeArrow = [&](const char *name, const QString &icon, QStyle::StandardPixmap fb, const QString &label) {
            auto *b = new QToolButton(listArea);
            b->setObjectName(QString::fromUtf8(name));
            b->setIcon(LoadIcon(icon, fb));
            b->setIconSize(QSize(20, 20));
            b->setAutoRaise(false);
            b->setAccessibleName(label); // the album list carries the window's only tooltip
            row->addWidget(b);
            return b;
        };
        m_up = makeArrow("bAufwärts", QStringLiteral(":/icons/up.svg"), QStyle::SP_ArrowUp, QStringLiteral("Nach oben"));
        m_down = makeArrow("bAbwärts", QStringLiteral(":/icons/down.svg"), QStyle::SP_ArrowDown, QStringLiteral("Nach unten"));
        row->addSpacing(8);
        m_playlist = MakeCheck(listArea, "bPlayliste", QStringLiteral("&Wiedergabeliste im Quellordner erstellen "));
        row->addWidget(m_playlist);
        row->addStretch(1);
        col->addLayout(row);
    }
    middle->addWidget(listArea, 5);

    auto *pagesCol = new QVBoxLayout;
    middle->addLayout(pagesCol, 6);

    // xpFrames(3): the introduction page.
    auto *intro = new QGroupBox(QStringLiteral("Hilfethemen"), central);
    intro->setObjectName(QStringLiteral("xpFrames3"));
    {
        auto *col = new QVBoxLayout(intro);
        col->addWidget(MakeLabel(intro, "Label10",
                                 QStringLiteral("Fügen Sie jetzt einen Album-Ordner (zusammenhängende Mp3-Dateien) hinzu, um eine "
                                                "Formatierung der Mp3-Eigenschaften durchzuführen. Anschließend wählen Sie   mit "
                                                "Hilfe der Pfeil-Tasten die gewünschte Position der einzelner Sounddateien."),
                                 true));
        col->addWidget(MakeLabel(intro, "Label9",
                                 QStringLiteral("Der Converter ändert die enthaltenen Mp3-TrackIDs (Eigenschaften) für alle im "
                                                "Album enthaltenen Mp3-Dateien gleichzeitig und sorgt somit für ein richtiger "
                                                "Abspielen in der gewünschten Reihenfolge."),
                                 true));
        auto *row = new QHBoxLayout;
        auto *pic = new QLabel(intro);
        pic->setObjectName(QStringLiteral("xpFrameHelpPic"));
        pic->setPixmap(LoadIcon(QStringLiteral(":/icons/step9.svg"), QStyle::SP_MessageBoxInformation).pixmap(QSize(32, 32), dpr));
        pic->setAlignment(Qt::AlignTop);
        row->addWidget(pic, 0, Qt::AlignTop);
        row->addWidget(MakeLabel(intro, "xpFrameHelpInfo",
                                 QStringLiteral("Die Audio-Musikalben enthalten in               den Eigenschaften der Dateien    "
                                                "      gespeicherte Informationen über den Interpreter, CD-Album, Titel und "
                                                "Track-Nr. Einige Informationen sind manchmal falsch oder fehlerhaft. Infolge "
                                                "spielt der Mp3-Player solche Mp3-Alben (enthalten mehrere Songs) in der falschen "
                                                "Reihenfolge ab."),
                                 true),
                       1);
        col->addLayout(row);
        col->addStretch(1);
    }
    m_pages[3] = intro;

    // xpFrames(2): the file-name page.
    auto *names = new QGroupBox(QStringLiteral("Datei-Eigenschaften"), central);
    names->setObjectName(QStringLiteral("xpFrames2"));
    {
        auto *col = new QVBoxLayout(names);
        auto *pic = new QWidget(names);
        pic->setObjectName(QStringLiteral("Picture2"));
        auto *inner = new QVBoxLayout(pic);
        inner->setContentsMargins(0, 0, 0, 0);
        inner->addWidget(MakeLabel(pic, "Label8",
                                   QStringLiteral("Bitte überprüfen Sie die Reihenfolge der Audiodateien in dem Album. Verwenden "
                                                  "Sie ggf. die Positions-Schaltflächen (unter der Liste) zur richtigen "
                                                  "Positionierung innerhalb des Albums."),
                                   true));
        inner->addSpacing(6);
        inner->addWidget(MakeCheck(pic, "bChangeFilename", QStringLiteral("Dateien in der Liste umbennen ")));
        inner->addWidget(MakeCheck(pic, "bUseExistFile", QStringLiteral("vorhandenen Dateinamen verwenden ")));
        auto *row = new QHBoxLayout;
        row->addWidget(MakeLabel(pic, "Label5", QStringLiteral("001.")));
        row->addWidget(MakeEdit(pic, "tFilename"), 1);
        row->addWidget(MakeLabel(pic, "Label6", QStringLiteral(".mp3")));
        inner->addLayout(row);
        inner->addSpacing(6);
        inner->addWidget(MakeLabel(pic, "Label7",
                                   QStringLiteral("Die Dateien in der Liste (wie angeordnet) werden automatisch mit dem neuen "
                                                  "Dateinamen und einer dreistelligen Zahl versehen, sodass die Audiodateien im "
                                                  "Explorer der Reihe nach angezeigt werden."),
                                   true));
        inner->addStretch(1);
        col->addWidget(pic);
    }
    m_pages[2] = names;

    // xpFrames(1): the tag page.
    auto *tags = new QGroupBox(QStringLiteral("Sound-Eigenschaften"), central);
    tags->setObjectName(QStringLiteral("xpFrames1"));
    {
        auto *col = new QVBoxLayout(tags);
        auto *pic = new QWidget(tags);
        pic->setObjectName(QStringLiteral("Picture1"));
        auto *inner = new QVBoxLayout(pic);
        inner->setContentsMargins(0, 0, 0, 0);
        inner->addWidget(MakeLabel(pic, "Label2",
                                   QStringLiteral("Markieren Sie die Felder, welche geändert werden sollen. Aktivieren Sie die "
                                                  "Option \"Album ändern\" wenn Sie alle Dateien des Albums ändern möchten, sodass "
                                                  "iTunes die Dateien auch als Musikalbum anzeigt."),
                                   true));
        auto *grid = new QGridLayout;
        grid->setColumnStretch(1, 1);
        const struct {
            const char *toggle, *caption, *edit;
        } rows[] = {{"bArtist", "Artist/Interpreter:", "tArtist"}, {"bTitel", "Titel:", "tTitel"},
                    {"bAlbum", "Album:", "tAlbum"},                {"bYear", "Jahr:", "tYear"},
                    {"bTrack", "Track:", "tTrack"},                {"bGenre", "Genre:", "tGenre"},
                    {"bKommentar", "Kommentar:", "tKommentar"}};
        int r = 0;
        for (const auto &row : rows) {
            auto *toggle = MakeCheck(pic, row.toggle, QString::fromUtf8(row.caption));
            auto *edit = MakeEdit(pic, row.edit);
            edit->setReadOnly(true); // locked until its toggle is checked
            grid->addWidget(toggle, r, 0);
            grid->addWidget(edit, r, 1);
            // toggled, not clicked: a screen reader's toggle action or setChecked must unlock the field too.
            connect(toggle, &QCheckBox::toggled, this, [this, toggle] { FieldToggleClick(toggle); });
            ++r;
        }
        inner->addLayout(grid);
        auto *refresh = MakeCheck(pic, "bAlbumRefresh", QStringLiteral("Änderung auf vollständiges Album anwenden "));
        auto *trackChange = MakeCheck(pic, "bTrackChange", QStringLiteral("Folgedatei im Feld \"Track\" um 1 Zähler erhöhen "));
        trackChange->setEnabled(false); // usable only with the album option
        inner->addWidget(refresh);
        inner->addWidget(trackChange);
        inner->addWidget(MakeCheck(pic, "bFilesTitel", QStringLiteral("Dateinamen in das Feld \"Titel\" eintragen ")));
        connect(refresh, &QCheckBox::toggled, this, &Root::bAlbumRefreshClick);
        auto *info = new QHBoxLayout;
        info->addWidget(MakeLabel(pic, "Label1", QStringLiteral("Bitrate:")));
        info->addWidget(MakeLabel(pic, "cBitrate", QStringLiteral("128 bpm")));
        info->addSpacing(16);
        info->addWidget(MakeLabel(pic, "Label3", QStringLiteral("Dauer:")));
        info->addWidget(MakeLabel(pic, "cTimes", QStringLiteral("0:00:00")));
        info->addStretch(1);
        inner->addLayout(info);
        inner->addStretch(1);
        col->addWidget(pic);
    }
    m_pages[1] = tags;

    for (int i = 3; i >= 1; --i)
        pagesCol->addWidget(m_pages[i]);
    m_pages[2]->hide();
    m_pages[1]->hide();

    // The help panel with the continue button beside it.
    auto *help = new QFrame(central);
    help->setObjectName(QStringLiteral("pHelpBackground"));
    help->setFrameShape(QFrame::StyledPanel);
    help->setAutoFillBackground(true);
    help->setBackgroundRole(QPalette::AlternateBase);
    {
        auto *row = new QHBoxLayout(help);
        row->setContentsMargins(12, 10, 12, 10);
        row->setSpacing(12);
        auto *icon = new QLabel(help);
        icon->setObjectName(QStringLiteral("pSymbole0"));
        icon->setAlignment(Qt::AlignTop);
        m_symbols[0] = icon;
        row->addWidget(icon, 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        m_helpTitle = MakeLabel(help, "pHelpTitel", QStringLiteral("Reihenfolge ändern"));
        QFont tf = m_helpTitle->font();
        tf.setBold(true);
        tf.setPointSizeF(tf.pointSizeF() * 1.15);
        m_helpTitle->setFont(tf);
        m_helpCaption = MakeLabel(help,
                                  "pHelpCaption",
                                  QStringLiteral("Sortieren Sie die Titel mit Hilfe der Pfeiltasten unter der Dateiliste nach der "
                                                 "entsprechenden Reihenfolge."),
                                  true);
        texts->addWidget(m_helpTitle);
        texts->addWidget(m_helpCaption);
        // Which file of how many a run is at; shown only while one works.
        m_progress = new QProgressBar(help);
        m_progress->setObjectName(QStringLiteral("pFortschritt"));
        m_progress->setTextVisible(true);
        m_progress->hide();
        texts->addWidget(m_progress);
        texts->addStretch(1);
        row->addLayout(texts, 1);
        m_infoButton = new QToolButton(help);
        m_infoButton->setObjectName(QStringLiteral("bInfo"));
        m_infoButton->setIcon(LoadIcon(QStringLiteral(":/icons/info.svg"), QStyle::SP_MessageBoxInformation));
        m_infoButton->setIconSize(QSize(18, 18));
        m_infoButton->setAutoRaise(true);
        m_infoButton->setAccessibleName(QStringLiteral("Info über Sortimentor")); // the list carries the only tooltip
        row->addWidget(m_infoButton, 0, Qt::AlignTop);
        m_continue = new QPushButton(QStringLiteral(" Fortfahren"), help);
        m_continue->setObjectName(QStringLiteral("bStarten"));
        m_continue->setIcon(LoadIcon(QStringLiteral(":/icons/next.svg"), QStyle::SP_ArrowForward));
        m_continue->setLayoutDirection(Qt::RightToLeft); // arrow after the text
        m_continue->setDefault(true);
        m_continue->setMinimumHeight(m_continue->sizeHint().height() + 8);
        row->addWidget(m_continue, 0, Qt::AlignVCenter);
    }
    outer->addWidget(help);
    SetHelpIcon(3);

    // Every page state and the loading marker start at "0".
    SetTag(m_folderFrame, QStringLiteral("0"));
    for (int i = 1; i <= 3; ++i)
        SetTag(m_pages[i], QStringLiteral("0"));
    SetTag(m_list, QStringLiteral("1"));

    connect(m_browse, &QPushButton::clicked, this, &Root::bOrdnerClick);
    connect(m_up, &QAbstractButton::clicked, this, &Root::bAufwaertsClick);
    connect(m_down, &QAbstractButton::clicked, this, &Root::bAbwaertsClick);
    connect(m_continue, &QPushButton::clicked, this, &Root::bStartenClick);
    connect(m_list, &QListWidget::currentRowChanged, this, &Root::LDateienClick);
    connect(m_list, &platform::DragList::dropped, this, [this](int target) { MoveListItemTo(m_list, qint16(target)); });
    connect(m_timer, &QTimer::timeout, this, &Root::Timer1Tick);
    connect(m_infoButton, &QToolButton::clicked, this, &Root::ShowInfo);
    if (auto *b = Control<QCheckBox>(QStringLiteral("bChangeFilename")))
        connect(b, &QCheckBox::clicked, this, &Root::bChangeFilenameClick);
    if (auto *b = Control<QCheckBox>(QStringLiteral("bUseExistFile")))
        connect(b, &QCheckBox::clicked, this, &Root::bUseExistFileClick);
    if (auto *e = Control<QLineEdit>(QStringLiteral("tFilename")))
        connect(e, &QLineEdit::textChanged, this, &Root::tFilenameChange);

    m_tips = new Tooltips_Class(this);
    resize(860, 600);
}

// ---------------------------------------------------------------------------
// Album list

void Root::YieldIfDue() {
    // Let the window paint and react while long loops run, without paying for an
    // event round on every single file.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_lastYield >= 25) {
        QCoreApplication::processEvents();
        m_lastYield = QDateTime::currentMSecsSinceEpoch();
    }
}

void Root::LoadFileList() {
    m_list->CancelDrag();
    m_list->viewport()->unsetCursor();
    SetTag(m_list, QStringLiteral("2"));
    const QString folder = m_folder->text();
    if (!platform::PathExists(folder))
        return;
    if (m_loading)
        return;
    m_loading = true;

    m_fileData->clear();
    m_fileData->addItems(album::ListMp3Files(folder));
    QCoreApplication::processEvents();
    m_lastYield = QDateTime::currentMSecsSinceEpoch();

    const int n = m_fileData->count();
    for (int i = 0; i < n; ++i) {
        if (!m_fileData->item(i))
            break; // the listing changed under us
        m_fileData->setCurrentRow(i);
        m_list->addItem(m_fileData->item(i)->text());
        m_list->setCurrentRow(i);
        YieldIfDue();
    }

    m_pages[1]->hide();
    m_pages[2]->hide();
    m_pages[3]->show();
    for (int i = 1; i <= 3; ++i)
        SetTag(m_pages[i], QStringLiteral("0"));
    SetTag(m_list, QStringLiteral("1"));
    SetTag(m_folderFrame, m_list->count() > 0 ? QStringLiteral("1") : QStringLiteral("0"));
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    m_loading = false;
    LDateienClick();
    QTimer::singleShot(0, this, &Root::OfferRecovery);
}

void Root::CheckFileList() {
    if (m_checking)
        return;
    m_checking = true;
    const QString folder = m_folder->text();
    int i = 0;
    bool lastRemoved = false;
    m_lastYield = QDateTime::currentMSecsSinceEpoch();
    while (i < m_list->count()) {
        m_list->setCurrentRow(i);
        if (i >= m_list->count())
            break; // events during the selection emptied the list
        const QFileInfo info(QDir::fromNativeSeparators(folder + m_list->item(i)->text()));
        // A file that vanished since the listing is left for the user to see.
        if (info.exists() && album::IsTooShort(info.size())) {
            const QSignalBlocker quiet(m_list); // the next entry is examined explicitly
            delete m_list->takeItem(i);
            m_list->setCurrentRow(-1);
            lastRemoved = true;
        } else {
            ++i;
            lastRemoved = false;
        }
        YieldIfDue();
    }
    if (lastRemoved && m_list->currentRow() != -1)
        m_list->setCurrentRow(-1);
    m_checking = false;
}

void Root::MoveListItemUp(QListWidget *list) { album::MoveListItemUp(list); }

void Root::MoveListItemDown(QListWidget *list) { album::MoveListItemDown(list); }

void Root::MoveListItemTo(QListWidget *list, qint16 target) { album::MoveListItemTo(list, target); }

void Root::bOrdnerClick() {
    if (m_loading || m_checking)
        return; // a click that arrived while the list is being filled
    const QString chosen = m_picker ? m_picker() : platform::BrowseFolder(platform::kDrivesFolder, this);
    if (chosen.isEmpty())
        return;
    QString folder = chosen;
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    m_folder->setText(folder);
    m_list->clear();
    LoadFileList();
    CheckFileList();
}

void Root::bAufwaertsClick() {
    if (m_list->count() == 0)
        return;
    MoveListItemUp(m_list);
}

void Root::bAbwaertsClick() {
    if (m_list->count() == 0)
        return;
    MoveListItemDown(m_list);
}

// ---------------------------------------------------------------------------
// Help panel and page watcher

int Root::HelpIcon() const { return m_symbols[0]->property(kIconNumber).toInt(); }

void Root::SetHelpIcon(int n) {
    if (n < 1 || n > 10)
        return; // icon 0 is the help icon itself: nothing changes
    m_symbols[0]->setPixmap(m_symbols[n]->pixmap());
    m_symbols[0]->setProperty(kIconNumber, n);
}

void Root::InfoHelpText() {
    int icon = 0;
    QString title, text;
    if (PageShown(m_pages[3]) && TagNumber(m_folderFrame) == 0) {
        icon = 1;
        title = QStringLiteral("Dateien hinzufügen");
        text = QStringLiteral("Fügen Sie einen Ordner bzw. ein Audio- oder Musikalbum mit Mp3-Dateien hinzu.");
    } else if (PageShown(m_pages[3]) && TagNumber(m_folderFrame) == 1) {
        icon = 3;
        title = QStringLiteral("Reihenfolge ändern");
        text = QStringLiteral("Sortieren Sie die Titel mit Hilfe der Pfeiltasten unter der Dateiliste nach der entsprechenden "
                              "Reihenfolge.");
    } else if (PageShown(m_pages[2])) {
        icon = 5;
        title = QStringLiteral("Dateinamen ändern");
        text = QStringLiteral("Geben Sie den sortierten Dateien eine Nummer im Dateinamen, damit der Explorer richtig sortiert.");
    } else if (PageShown(m_pages[1])) {
        icon = 7;
        title = QStringLiteral("Eigenschaften ändern");
        text = QStringLiteral("Verwenden Sie automatische Eigenschaften um die sortierte Wiedergabe in iTunes abzuspielen.");
    }
    SetHelpIcon(icon);
    m_helpCaption->setText(text);
    m_helpTitle->setText(title);
}

void Root::Timer1Tick() {
    if (PageShown(m_pages[3])) {
        const bool hasFiles = TagNumber(m_folderFrame) != 0;
        for (QWidget *w : {static_cast<QWidget *>(m_continue), static_cast<QWidget *>(m_list), static_cast<QWidget *>(m_up),
                           static_cast<QWidget *>(m_down)})
            w->setEnabled(hasFiles);
        InfoHelpText();
        if (!hasFiles)
            return;
    }
    if (PageShown(m_pages[3]) && TagNumber(m_folderFrame) == 1) {
        const QString folder = m_folder->text();
        SetHelpIcon(!folder.isEmpty() && platform::PathExists(folder) ? 4 : 3);
    }
    if (PageShown(m_pages[2]) && TagNumber(m_pages[2]) == 2) {
        SetHelpIcon(6);
        SetTag(m_pages[2], QStringLiteral("1"));
    }
}

// ---------------------------------------------------------------------------
// Continue button

void Root::bStartenClick() {
    if (m_run.IsRunning())
        return; // a click that arrived while a run works starts nothing
    Step([&] {
        if (PageShown(m_pages[3])) {
            m_pages[3]->hide();
            m_pages[2]->show();
            InfoHelpText();
            if (TagNumber(m_pages[2]) == 2)
                SetHelpIcon(6);
            if (m_list->count() >= 2) {
                if (auto *refresh = Control<QCheckBox>(QStringLiteral("bAlbumRefresh"))) {
                    refresh->setChecked(true);
                    bAlbumRefreshClick();
                }
            }
            return;
        }
        if (PageShown(m_pages[2])) {
            m_pages[2]->hide();
            m_pages[1]->show();
            InfoHelpText();
            SetTag(m_pages[2], QStringLiteral("1"));
            return;
        }
        if (PageShown(m_pages[1])) {
            InfoHelpText();
            SetTag(m_pages[1], QStringLiteral("1"));
        }
        ContinueOnTagPage();
    });
}

// ---------------------------------------------------------------------------
// Tag panel

namespace {

// Each field toggle and the text box it unlocks.
const struct {
    const char *toggle, *edit;
} kFieldRows[] = {{"bArtist", "tArtist"}, {"bTitel", "tTitel"}, {"bAlbum", "tAlbum"},       {"bYear", "tYear"},
                  {"bKommentar", "tKommentar"}, {"bTrack", "tTrack"}, {"bGenre", "tGenre"}};

} // namespace

QString Root::SelectedPath() const {
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || m_list->currentRow() < 0)
        return {};
    return album::EntryPath(m_folder->text(), item->text());
}

tagpanel::Rows Root::TagRows() const {
    auto checked = [this](const char *name) {
        const auto *c = Control<QCheckBox>(QString::fromLatin1(name));
        return c && c->isChecked();
    };
    auto text = [this](const char *name) {
        const auto *e = Control<QLineEdit>(QString::fromLatin1(name));
        return e ? e->text() : QString();
    };
    tagpanel::Rows r;
    r.artist = checked("bArtist");
    r.title = checked("bTitel");
    r.album = checked("bAlbum");
    r.year = checked("bYear");
    r.comment = checked("bKommentar");
    r.track = checked("bTrack");
    r.genre = checked("bGenre");
    r.tArtist = text("tArtist");
    r.tTitel = text("tTitel");
    r.tAlbum = text("tAlbum");
    r.tYear = text("tYear");
    r.tKommentar = text("tKommentar");
    r.tTrack = text("tTrack");
    r.tGenre = text("tGenre");
    return r;
}

void Root::LDateienClick() {
    if (TagNumber(m_list) == 2)
        return; // the program itself is selecting entries
    auto caption = [this](const char *name, const QString &text) {
        if (auto *l = Control<QLabel>(QString::fromLatin1(name)))
            l->setText(text);
    };
    Step([&] {
        const platform::Mp3InfoTexts info = platform::ReadMp3Information(SelectedPath(), m_record);
        caption("sBitrate", info.bitrate);
        caption("sAnzeige1", info.time);
        caption("sTitle", info.title);
        caption("sArtist", info.artist);
        caption("sAlbum", info.album);
        caption("sYear", info.year);
        caption("sKommentar", info.comment);
        caption("sGenre", info.genre);
        caption("sTrack", info.track);
    });
    Step([&] { QCoreApplication::processEvents(); });
    Step([&] { GetMp3Info(); });
    Step([&] {
        auto value = [this](const char *name) {
            const auto *l = Control<QLabel>(QString::fromLatin1(name));
            return l ? l->text() : QString();
        };
        m_tips->SetTipText(m_list, tagpanel::Summary(value("sArtist"), value("sAlbum"), value("sTitle"), value("sTrack")));
    });
}

void Root::ClearMp3Info() {
    for (const char *name : {"tArtist", "tAlbum", "tTitel", "tTrack", "tYear", "tKommentar"})
        if (auto *e = Control<QLineEdit>(QString::fromLatin1(name)))
            e->clear();
    for (const char *name : {"cBitrate", "cTimes", "sArtist", "sTitle", "sAlbum"})
        if (auto *l = Control<QLabel>(QString::fromLatin1(name)))
            l->clear();
    if (auto *e = Control<QLineEdit>(QStringLiteral("tGenre")))
        e->clear();
    for (const char *name : {"sYear", "sKommentar", "sTrack"})
        if (auto *l = Control<QLabel>(QString::fromLatin1(name)))
            l->clear();
}

void Root::GetMp3Info() {
    if (m_list->count() == 0)
        return;
    Step([&] { ClearMp3Info(); });
    Step([&] {
        const QString path = SelectedPath();
        if (path.isEmpty())
            return;
        const tagpanel::Fields f = tagpanel::ReadFields(path, TagV2(), TagV1());
        const struct {
            const char *store;
            const QString &value;
        } stores[] = {{"sArtist", f.artist}, {"sTitle", f.title},     {"sAlbum", f.album},
                      {"sYear", f.year},     {"sKommentar", f.comment}, {"sTrack", f.track}};
        for (const auto &s : stores)
            if (auto *l = Control<QLabel>(QString::fromLatin1(s.store)))
                l->setText(s.value);
        if (auto *e = Control<QLineEdit>(QStringLiteral("tGenre")))
            e->setText(f.genre);
    });
    Step([&] {
        const struct {
            const char *edit, *store;
        } copies[] = {{"tArtist", "sArtist"}, {"tAlbum", "sAlbum"}, {"tTitel", "sTitle"},
                      {"tTrack", "sTrack"},   {"tYear", "sYear"},   {"tKommentar", "sKommentar"}};
        for (const auto &c : copies) {
            auto *e = Control<QLineEdit>(QString::fromLatin1(c.edit));
            const auto *l = Control<QLabel>(QString::fromLatin1(c.store));
            if (e && l)
                e->setText(l->text());
        }
        auto copyCaption = [this](const char *to, const char *from) {
            auto *t = Control<QLabel>(QString::fromLatin1(to));
            const auto *f = Control<QLabel>(QString::fromLatin1(from));
            if (t && f)
                t->setText(f->text());
        };
        copyCaption("cBitrate", "sBitrate");
        copyCaption("cTimes", "sAnzeige1");
    });
}

void Root::WriteTagsOf(const QString &path) { tagpanel::WriteFields(path, TagRows(), TagV1(), TagV2()); }

void Root::FieldToggleClick(QCheckBox *toggle) {
    if (!toggle)
        return;
    const QString name = toggle->objectName();
    for (const auto &row : kFieldRows) {
        if (name != QLatin1String(row.toggle))
            continue;
        if (auto *e = Control<QLineEdit>(QString::fromLatin1(row.edit)))
            e->setReadOnly(!toggle->isChecked());
    }
    if (name == QLatin1String("bTrack") && toggle->isChecked()) {
        const auto *refresh = Control<QCheckBox>(QStringLiteral("bAlbumRefresh"));
        if (refresh && refresh->isChecked())
            if (auto *trackChange = Control<QCheckBox>(QStringLiteral("bTrackChange")))
                trackChange->setChecked(true);
    }
    SetHelpIcon(8);
}

void Root::bAlbumRefreshClick() {
    const auto *refresh = Control<QCheckBox>(QStringLiteral("bAlbumRefresh"));
    if (auto *trackChange = Control<QCheckBox>(QStringLiteral("bTrackChange")))
        trackChange->setEnabled(refresh && refresh->isChecked());
}

// ---------------------------------------------------------------------------
// Renaming options

void Root::bChangeFilenameClick() {
    const auto *change = Control<QCheckBox>(QStringLiteral("bChangeFilename"));
    if (change && change->isChecked()) {
        SetTag(m_pages[2], QStringLiteral("2"));
    } else {
        SetTag(m_pages[2], QStringLiteral("1"));
        SetHelpIcon(5);
    }
}

void Root::bUseExistFileClick() {
    const auto *useExist = Control<QCheckBox>(QStringLiteral("bUseExistFile"));
    auto *name = Control<QLineEdit>(QStringLiteral("tFilename"));
    if (!name)
        return;
    if (useExist && useExist->isChecked()) {
        // Without a selection there is no name to show; the run uses each file's own.
        if (const QListWidgetItem *item = m_list->currentItem())
            name->setText(album::TitleFromFileName(item->text()));
        name->setEnabled(false);
        const QString title = QString::fromUtf16(album::kRenameTitle);
        const QString text =
            QStringLiteral("Alle Dateien werden nacheinander nummeriert, ohne den restlichen Dateinamen zu ändern.  ");
        Notice(title, text);
        SetTag(m_pages[2], QStringLiteral("2"));
    } else {
        name->setEnabled(true);
        name->clear();
        name->setFocus();
    }
}

void Root::tFilenameChange() {
    const auto *name = Control<QLineEdit>(QStringLiteral("tFilename"));
    const qsizetype length = name ? name->text().size() : 0;
    SetTag(m_pages[2], length < 3 ? QStringLiteral("1") : QStringLiteral("2"));
}

// ---------------------------------------------------------------------------
// The work on the tag page

void Root::LockForRun(bool locked) {
    if (locked) {
        SetTag(m_list, QStringLiteral("2"));
        m_list->setEnabled(false);
        if (auto *area = Control(QStringLiteral("pSeite1")))
            area->setEnabled(false);
        m_browse->setEnabled(false);
        m_progress->reset();
        m_progress->setFormat(QString());
        m_progress->show();
        return;
    }
    SetTag(m_list, QStringLiteral("1"));
    m_progress->hide();
    if (!m_closeAfterRun && m_list->count() > 0) {
        // Show the first file's tags, just written.
        if (m_list->currentRow() == 0)
            LDateienClick();
        else
            m_list->setCurrentRow(0);
    }
    m_list->setEnabled(true);
    m_browse->setEnabled(true);
    if (auto *area = Control(QStringLiteral("pSeite1")))
        area->setEnabled(true);
}

void Root::ShowRunProgress(int index, int count) {
    m_progress->setRange(0, count);
    m_progress->setValue(index + 1);
    const QString text = QStringLiteral("Datei %1 von %2").arg(index + 1).arg(count);
    m_progress->setFormat(text);
    m_progress->setAccessibleDescription(text);
}

void Root::ReloadAlbum() {
    m_list->clear();
    QCoreApplication::processEvents();
    LoadFileList();
    QCoreApplication::processEvents();
    CheckFileList();
}

void Root::Notice(const QString &title, const QString &text) {
    if (m_notice) {
        Step([&] { m_notice(title, text); });
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool Root::AskGoOnAfterFailure(const QString &name, const QString &reason) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf16(album::kRenameTitle), album::TrashQuestionText(name, reason),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Fortfahren"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Abbrechen"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void Root::ContinueOnTagPage() {
    if (m_run.IsRunning() || m_repairing || m_list->count() == 0)
        return;
    auto check = [this](const char *name) {
        const auto *c = Control<QCheckBox>(QString::fromLatin1(name));
        return c && c->isChecked();
    };
    auto edit = [this](const char *name) { return Control<QLineEdit>(QString::fromLatin1(name)); };

    album::RunPlan plan;
    plan.folder = m_folder->text();
    for (int i = 0; i < m_list->count(); ++i)
        plan.entries << m_list->item(i)->text();
    plan.selected = m_list->currentRow();
    plan.wholeAlbum = check("bAlbumRefresh");
    plan.writePlaylist = check("bPlayliste");
    plan.albumText = [edit] {
        const QLineEdit *a = edit("tAlbum");
        return a ? a->text() : QString();
    };
    plan.rows = album::RowsToJson(TagRows());
    plan.titleFromName = check("bFilesTitel");
    if (TagNumber(m_pages[2]) == 1 && check("bChangeFilename")) {
        const QLineEdit *name = edit("tFilename");
        plan.rename = album::RenameOptions{name ? name->text() : QString(), check("bUseExistFile")};
    }

    album::FileSteps steps;
    steps.select = [this](const album::RunFile &f) { m_list->setCurrentRow(f.index); };
    steps.countTrack = [edit](const album::RunFile &) {
        if (QLineEdit *track = edit("tTrack"))
            track->setText(album::NextTrackText(track->text(), QLocale()));
    };
    steps.makeWritable = [](const album::RunFile &f) { album::MakeWritable(f.path); };
    steps.titleFromName = [check, edit](const album::RunFile &f) {
        if (!check("bFilesTitel"))
            return;
        if (QLineEdit *title = edit("tTitel"))
            title->setText(album::TitleFromFileName(f.entry));
    };
    steps.writeId3v1 = [this](const album::RunFile &f) {
        if (!platform::WriteId3v1Rows(f.path, tagpanel::ToId3v1Rows(TagRows()), m_record))
            throw std::runtime_error("ID3v1 writer failed");
    };
    steps.writeTags = [this](const album::RunFile &f) { WriteTagsOf(f.path); };
    steps.rows = [this](const album::RunFile &) { return album::RowsToJson(TagRows()); };
    m_run.SetSteps(std::move(steps));
    m_run.SetConfirm(m_confirm ? m_confirm : album::ConfirmFn([this](const QString &title, const QString &text) {
        return album::AskYesNo(this, title, text);
    }));
    m_run.SetLock([this](bool locked) { LockForRun(locked); });
    m_run.SetProgress([this](int index, int count, const QString &) { ShowRunProgress(index, count); });
    m_run.SetTrashQuestion([this](const QString &name, const QString &reason) { return AskGoOnAfterFailure(name, reason); });

    m_lastRun = m_run.Run(plan);
    // A renaming that left files behind is never silent; stranded files are named with their place.
    QString report = m_lastRun.renaming ? album::RenameReport(*m_lastRun.renaming, plan.folder) : QString();
    // A run that could not start, or files a step failed for, are never silent either.
    for (const QString &more : {m_lastRun.problem, m_lastRun.skipped})
        if (!more.isEmpty())
            report += (report.isEmpty() ? QString() : QStringLiteral("\n\n")) + more;

    const QString title = m_lastRun.renaming ? QString::fromUtf16(album::kRenameTitle) : album::ConfirmTitle();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        if (!report.isEmpty())
            Notice(title, report);
        close();
        return;
    }
    const bool albumDone = plan.wholeAlbum && m_lastRun.outcome == album::RunOutcome::Done;
    if (albumDone || m_lastRun.renaming.has_value())
        ReloadAlbum();
    if (!report.isEmpty())
        Notice(title, report);
}

void Root::ShowInfo() {
    auto *dialog = new Info(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

// ---------------------------------------------------------------------------
// Start-up and close

void Root::SetupTooltip() {
    m_tips->Create(this);
    m_tips->AddTool(m_list, QStringLiteral("Klicken Sie hier um neu zu starten."));
    m_tips->SetDelayTime(Tooltips_Class::TTDT_AUTOPOP, 10000);
    m_tips->SetDelayTime(Tooltips_Class::TTDT_INITIAL, 100);
    m_tips->SetDelayTime(Tooltips_Class::TTDT_RESHOW, 100);
    m_tips->SetMaxTipWidth(185);
    const int margin = 8;
    m_tips->SetMarginBottom(margin);
    m_tips->SetMarginRight(margin);
    m_tips->SetMarginLeft(margin);
    m_tips->SetMarginTop(margin);
}

void Root::Startup() {
    using namespace platform;
    const QString maker = QStringLiteral("Software\\Varnolt");
    const QString key = SettingsKey();
    Step([&] {
        m_v1 = std::make_unique<tags::Mp3TagID3v1>();
        m_v2 = std::make_unique<tags::Mp3TagID3v2>();
    });
    Step([&] {
        if (!KeyExists(kCurrentUser, maker))
            CreateKey(kCurrentUser, maker, QStringLiteral("1"));
        if (!KeyExists(kCurrentUser, key))
            CreateKey(kCurrentUser, key, QStringLiteral("1"));
    });
    Step([&] {
        RegValue stored;
        QString version = QStringLiteral("0.00");
        if (GetValue(kCurrentUser, key, QStringLiteral("Version"), stored) && std::holds_alternative<QString>(stored))
            version = std::get<QString>(stored);
        if (version != VersionText()) {
            SetValue(kCurrentUser, key, QStringLiteral("InstallDir"), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
            SetValue(kCurrentUser, key, QStringLiteral("Version"), VersionText());
        }
    });
    Step([&] { SetupTooltip(); });
    // The drag list is wired in BuildUi.
    Step([&] { m_folder->clear(); });
    Step([&] {
        RegValue last;
        if (!m_restoreLastDir || !GetValue(kCurrentUser, key, QStringLiteral("LastDir"), last))
            return;
        const QString dir = std::holds_alternative<QString>(last) ? std::get<QString>(last) : QString();
        if (PathExists(dir))
            m_folder->setText(dir);
        LoadFileList();
        QCoreApplication::processEvents();
        CheckFileList();
    });
    Step([&] {
        if (m_list->count() > 0)
            m_list->setCurrentRow(0);
    });
    m_timer->start();
    Step([&] { QCoreApplication::processEvents(); });
}

void Root::StoreLastDir() {
    platform::SetValue(platform::kCurrentUser, SettingsKey(), QStringLiteral("LastDir"), m_folder->text());
}

void Root::closeEvent(QCloseEvent *e) {
    if (m_run.IsRunning()) {
        // Finish the file being written, then close (ContinueOnTagPage does).
        m_run.RequestStop();
        m_closeAfterRun = true;
        e->ignore();
        return;
    }
    Step([&] { QCoreApplication::processEvents(); });
    Step([&] { StoreLastDir(); });
    m_timer->stop();
    e->accept();
}
