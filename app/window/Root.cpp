#include "Root.h"

#include "AlbumList.h"
#include "AlbumRename.h"
#include "AlbumRun.h"
#include "DirectoryOrder.h"
#include "DragList.h"
#include "FileUtils.h"
#include "FolderPicker.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"
#include "Info.h"
#include "ListMoves.h"
#include "Mp3InfoBridge.h"
#include "Registry.h"
#include "RunJournal.h"
#include "RunView.h"
#include "Step.h"
#include "Tooltips_Class.h"
#include "ui_Root.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
#ifdef Q_OS_WIN
    Q_INIT_RESOURCE(icons_png); // made from the SVG by the build
#endif
}

namespace {

using rootstep::Step;

} // namespace

QString Root::VersionText() { return QString::number(kVersionMajor) + QLatin1Char('.') + QString::number(kVersionMinor); }

QString Root::SettingsKey() { return QStringLiteral("Software\\Varnolt\\Sortimentor"); }

Root::Root(QWidget *parent, bool restoreLastDir) : QMainWindow(parent), m_restoreLastDir(restoreLastDir) {
    InitIconResources();
    setWindowTitle(QStringLiteral("Sortimentor Converter"));
    QFont f = font();
    f.setFamilies({QStringLiteral("Tahoma"), f.family()});
    setFont(f);
    BuildUi();
    Startup();
    AddSortingAids();
    AddRunPreview();
    AddDeviceOrder();
    AddRunRecord();
}

Root::~Root() {
    // The list's model reports its own end; the sorting aids must not hear it.
    if (m_list)
        disconnect(m_list->model(), nullptr, this, nullptr);
}

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

    // A run cut short in its directory step left files in the holding folder; they
    // belong in the list, whatever the user then chooses for the run.
    album::DirectoryOrder::Recover(folder);
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
    OfferRecoverySoon();
}

void Root::CheckFileList() {
    if (m_checking)
        return;
    m_checking = true;
    m_lastYield = QDateTime::currentMSecsSinceEpoch();
    album::RemoveTooShort(m_list, m_folder->text(), [this] { YieldIfDue(); });
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
    QString folder = QDir::toNativeSeparators(chosen);
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
// The work on the tag page

void Root::LockForRun(bool locked) {
    const RunView view(m_list, m_browse, m_ui->pSeite1, m_progress);
    if (locked) {
        view.Lock();
        return;
    }
    view.Unlock([this] {
        if (m_closeAfterRun || m_list->count() == 0)
            return;
        // Show the first file's tags, just written.
        if (m_list->currentRow() == 0)
            LDateienClick();
        else
            m_list->setCurrentRow(0);
    });
}

void Root::ShowRunProgress(int index, int count) { RunView::ShowProgress(m_progress, index, count); }

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

void Root::ShowInfo() {
    auto *dialog = new Info(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

// ---------------------------------------------------------------------------
// Start-up and close

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
    m_closing = true;  // the events let run here may hold the question about an unfinished run
    Step([&] { QCoreApplication::processEvents(); });
    Step([&] { StoreLastDir(); });
    m_timer->stop();
    e->accept();
}
