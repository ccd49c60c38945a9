// The sorting aids of the introduction page: three buttons that order the album list
// once. The rules and the background reading live in AlbumSort.
#include "AlbumSort.h"
#include "DragList.h"
#include "ListMoves.h"
#include "Root.h"
#include "ui_Root.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

void Root::AddSortingAids() {
    m_sorter = new album::SortKeyReader(this);
    const std::pair<QPushButton *, album::SortOrder> aids[] = {{m_ui->bNachDateiname, album::SortOrder::Name},
                                                               {m_ui->bNachTracknummer, album::SortOrder::Track},
                                                               {m_ui->bNachTitel, album::SortOrder::Title}};
    for (const auto &[button, order] : aids) {
        connect(button, &QPushButton::clicked, this, [this, order = order] { SortAlbum(order); });
        m_sortButtons << button;
    }

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

