#include "RunView.h"

#include "ControlTag.h"

#include <QListWidget>
#include <QProgressBar>

namespace {
void Enable(QWidget *w, bool on) {
    if (w)
        w->setEnabled(on);
}
} // namespace

void RunView::Lock() const {
    controltag::Set(m_list, QStringLiteral("2"));
    Enable(m_list, false);
    Enable(m_tagArea, false);
    Enable(m_browse, false);
    if (!m_progress)
        return;
    m_progress->reset();
    m_progress->setFormat(QString());
    m_progress->show();
}

void RunView::Unlock(const std::function<void()> &showFirst) const {
    controltag::Set(m_list, QStringLiteral("1"));
    if (m_progress)
        m_progress->hide();
    if (showFirst)
        showFirst();
    Enable(m_list, true);
    Enable(m_browse, true);
    Enable(m_tagArea, true);
}

void RunView::ShowProgress(QProgressBar *progress, int index, int count) {
    if (!progress)
        return;
    progress->setRange(0, count);
    progress->setValue(index + 1);
    const QString text = QStringLiteral("Datei %1 von %2").arg(index + 1).arg(count);
    progress->setFormat(text);
    progress->setAccessibleDescription(text);
}
