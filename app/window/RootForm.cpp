// The window's form (Root.ui) gets its icons, its pictures for the pixel ratio and its
// wiring here; the help icon is a copy of one picture of the icon store.
#include "DragList.h"
#include "Root.h"
#include "Tooltips_Class.h"
#include "ui_Root.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace {

const char *const kIconNumber = "iconNumber";

// The icon `name` from the resources: its SVG where Qt has the SVG plugin, else the PNG
// (with its @2x twin) that the build made from it, else the style's own.
QIcon LoadIcon(const QString &name, QStyle::StandardPixmap fallback) {
    for (const char *kind : {".svg", ".png"}) {
        const QString file = QStringLiteral(":/icons/") + name + QLatin1String(kind);
        if (!QFile::exists(file))
            continue;
        const QIcon icon(file);
        if (!icon.pixmap(QSize(16, 16)).isNull())
            return icon;
    }
    return QApplication::style()->standardIcon(fallback);
}

} // namespace

void Root::BuildUi() {
    // The form (Root.ui) holds every control with its name, caption and place; here
    // they get their icons, the pixel-ratio-aware pictures and their wiring.
    m_ui = std::make_unique<Ui::Root>();
    Ui::Root &ui = *m_ui;
    ui.setupUi(this);

    // pSeite(0): never shown; the timer, the folder listing, the icon store and the
    // value stores of the tag panel.
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(300);
    m_fileData = ui.LFiledata;
    const qreal dpr = qApp->devicePixelRatio();
    const QStyle::StandardPixmap fallbacks[11] = {
        QStyle::SP_MessageBoxInformation, QStyle::SP_DirOpenIcon,      QStyle::SP_MessageBoxInformation,
        QStyle::SP_FileDialogListView,    QStyle::SP_DialogApplyButton, QStyle::SP_FileIcon,
        QStyle::SP_DialogSaveButton,      QStyle::SP_FileDialogDetailedView, QStyle::SP_FileDialogContentsView,
        QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning};
    QLabel *const symbols[11] = {ui.pSymbole0, ui.pSymbole1, ui.pSymbole2, ui.pSymbole3, ui.pSymbole4, ui.pSymbole5,
                                 ui.pSymbole6, ui.pSymbole7, ui.pSymbole8, ui.pSymbole9, ui.pSymbole10};
    for (int i = 0; i <= 10; ++i)
        m_symbols[i] = symbols[i];
    for (int i = 1; i <= 10; ++i)
        m_symbols[i]->setPixmap(
            LoadIcon(QStringLiteral("step%1").arg(i), fallbacks[i]).pixmap(QSize(40, 40), dpr));

    // xpFrame0: the source folder.
    m_folderFrame = ui.xpFrame0;
    m_folder = ui.tOrdner; // read-only: chosen with the picker only
    m_browse = ui.bOrdner;
    m_browse->setIcon(LoadIcon(QStringLiteral("folder"), QStyle::SP_DirOpenIcon));

    // pSeite(1): the album list with its arrows and the playlist option. The arrows carry
    // accessible names only: the album list has the window's only tooltip.
    m_list = ui.LDateien;
    m_up = ui.bAufwärts;
    m_down = ui.bAbwärts;
    m_up->setIcon(LoadIcon(QStringLiteral("up"), QStyle::SP_ArrowUp));
    m_down->setIcon(LoadIcon(QStringLiteral("down"), QStyle::SP_ArrowDown));
    m_playlist = ui.bPlayliste;

    // The pages: xpFrames(3) introduction, xpFrames(2) file names, xpFrames(1) tags.
    m_pages[3] = ui.xpFrames3;
    m_pages[2] = ui.xpFrames2;
    m_pages[1] = ui.xpFrames1;
    ui.xpFrameHelpPic->setPixmap(
        LoadIcon(QStringLiteral("step9"), QStyle::SP_MessageBoxInformation).pixmap(QSize(32, 32), dpr));
    // Each field's text box stays locked until its toggle is checked; toggled, not
    // clicked: a screen reader's toggle action or setChecked must unlock the field too.
    for (QCheckBox *toggle : {ui.bArtist, ui.bTitel, ui.bAlbum, ui.bYear, ui.bTrack, ui.bGenre, ui.bKommentar})
        connect(toggle, &QCheckBox::toggled, this, [this, toggle] { FieldToggleClick(toggle); });
    // The album option unlocks bTrackChange.
    connect(ui.bAlbumRefresh, &QCheckBox::toggled, this, &Root::bAlbumRefreshClick);

    // The help panel with the continue button beside it.
    ui.pHelpBackground->setBackgroundRole(QPalette::AlternateBase);
    m_helpTitle = ui.pHelpTitel;
    QFont tf = m_helpTitle->font();
    tf.setBold(true);
    tf.setPointSizeF(tf.pointSizeF() * 1.15);
    m_helpTitle->setFont(tf);
    m_helpCaption = ui.pHelpCaption;
    m_progress = ui.pFortschritt; // which file of how many a run is at; shown only while one works
    m_infoButton = ui.bInfo;
    m_infoButton->setIcon(LoadIcon(QStringLiteral("info"), QStyle::SP_MessageBoxInformation));
    m_continue = ui.bStarten; // right to left: the arrow after the text
    m_continue->setIcon(LoadIcon(QStringLiteral("next"), QStyle::SP_ArrowForward));
    m_continue->setMinimumHeight(m_continue->sizeHint().height() + 8);
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
    connect(ui.bChangeFilename, &QCheckBox::clicked, this, &Root::bChangeFilenameClick);
    connect(ui.bUseExistFile, &QCheckBox::clicked, this, &Root::bUseExistFileClick);
    connect(ui.tFilename, &QLineEdit::textChanged, this, &Root::tFilenameChange);

    m_tips = new Tooltips_Class(this);
}

int Root::HelpIcon() const { return m_symbols[0]->property(kIconNumber).toInt(); }

void Root::SetHelpIcon(int n) {
    if (n < 1 || n > 10)
        return; // icon 0 is the help icon itself: nothing changes
    m_symbols[0]->setPixmap(m_symbols[n]->pixmap());
    m_symbols[0]->setProperty(kIconNumber, n);
}

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
