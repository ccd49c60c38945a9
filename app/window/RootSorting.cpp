// The sorting aids of the introduction page: three buttons that order the album list
// once. The rules and the background reading live in AlbumSort.
#include "AlbumSort.h"
#include "DragList.h"
#include "Root.h"
#include "RootAids.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

void Root::AddSortingAids() {
    auto *page = m_pages[3];
    auto *col = qobject_cast<QBoxLayout *>(page->layout());
    if (!col)
        return;
    m_sorter = new album::SortKeyReader(this);
    const struct {
        const char *name, *caption, *tip;
        album::SortOrder order;
    } aids[] = {
        {"bNachDateiname", "Nach Dateiname",
         "Sortiert die Liste einmal nach den Dateinamen: 2 vor 10, Groß- und Kleinschreibung und Akzente zählen nicht (Alt+N)",
         album::SortOrder::Name},
        {"bNachTracknummer", "Nach Tracknummer",
         "Sortiert die Liste einmal nach CD- und Tracknummer der Tags; Dateien ohne Nummer kommen ans Ende (Alt+R)",
         album::SortOrder::Track},
        {"bNachTitel", "Nach Titel", "Sortiert die Liste einmal nach den Titeln der Tags (Alt+T)", album::SortOrder::Title},
    };
    auto *row = new QHBoxLayout;
    for (const auto &a : aids) {
        QPushButton *b = rootaids::AidButton(page, a.name, QString::fromUtf8(a.caption), QString::fromUtf8(a.tip));
        const album::SortOrder order = a.order;
        connect(b, &QPushButton::clicked, this, [this, order] { SortAlbum(order); });
        row->addWidget(b);
        m_sortButtons << b;
    }
    row->addStretch(1);
    // Before the stretch that closes the page.
    const int at = col->count() > 0 ? col->count() - 1 : 0;
    col->insertLayout(at, row);
    col->insertWidget(at + 1,
                      rootaids::HelpLabel(page, "LabelSortieren",
                                QStringLiteral("Mit \u201ENach Dateiname\u201C, \u201ENach Tracknummer\u201C oder \u201ENach "
                                               "Titel\u201C ordnen Sie die Liste mit einem Klick; danach können Sie die Titel "
                                               "weiter mit den Pfeiltasten verschieben.")));

    connect(m_sorter, &album::SortKeyReader::progress, this, [this](int done, int count) {
        if (!m_sorter->IsBusy() || IsRunning())
            return;
        m_progress->setRange(0, count);
        m_progress->setValue(done);
        m_progress->setFormat(QStringLiteral("Tags lesen: %1 von %2").arg(done).arg(count));
    });
    connect(m_sorter, &album::SortKeyReader::finished, this, [this] {
        if (!IsRunning()) {
            m_progress->hide();
            album::ApplyOrder(m_list, album::Sorted(m_sorter->Order(), m_sorter->Keys()));
        }
        UpdateSortingAids();
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_list->model(), signal, this, &Root::UpdateSortingAids);
    connect(m_list->model(), &QAbstractItemModel::modelReset, this, &Root::UpdateSortingAids);
    UpdateSortingAids();
}

void Root::UpdateSortingAids() {
    const bool usable = m_list->count() >= 2 && !IsRunning() && !IsSorting();
    for (QPushButton *b : m_sortButtons)
        b->setEnabled(usable);
}

bool Root::IsSorting() const { return m_sorter && m_sorter->IsBusy(); }

void Root::SortAlbum(album::SortOrder order) {
    if (IsRunning() || IsSorting() || m_list->count() < 2)
        return;
    QStringList entries;
    for (int i = 0; i < m_list->count(); ++i)
        entries << m_list->item(i)->text();
    m_list->CancelDrag();
    if (order == album::SortOrder::Name) {
        album::ApplyOrder(m_list, album::SortedByName(entries));
        return;
    }
    if (!m_sorter->Start(m_folder->text(), entries, order))
        return;
    m_progress->setRange(0, static_cast<int>(entries.size()));
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("Tags lesen: 0 von %1").arg(entries.size()));
    m_progress->show();
    UpdateSortingAids();
}

void Root::StopSorting() {
    if (!IsSorting())
        return;
    m_sorter->Stop();
    m_progress->hide();
    UpdateSortingAids();
}

