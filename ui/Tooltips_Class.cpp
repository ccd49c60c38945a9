#include "Tooltips_Class.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QToolTip>

Tooltips_Class::Tooltips_Class(QObject *parent) : QObject(parent) {
    m_showTimer.setSingleShot(true);
    m_hideTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &Tooltips_Class::ShowTip);
    connect(&m_hideTimer, &QTimer::timeout, this, &Tooltips_Class::Hide);
}

Tooltips_Class::~Tooltips_Class() { Destroy(); }

void Tooltips_Class::Destroy() {
    Hide();
    for (auto it = m_tools.keyBegin(); it != m_tools.keyEnd(); ++it)
        if (*it) {
            (*it)->removeEventFilter(this);
            if (auto *area = qobject_cast<QAbstractScrollArea *>(*it))
                area->viewport()->removeEventFilter(this);
        }
    m_tools.clear();
    m_form = nullptr;
}

void Tooltips_Class::Create(QWidget *frm) {
    Destroy();
    if (!frm)
        return;
    m_form = frm;
    m_margin = {};
    m_maxWidth = -1;
    m_initial = 500;
    m_autopop = 5000;
    m_reshow = 100;
}

void Tooltips_Class::AddTool(QWidget *ctl, const QString &text) {
    if (!HasWindow() || !ctl)
        return;
    if (!m_tools.contains(ctl)) {
        ctl->installEventFilter(this);
        // Item views show their own (empty) item tips from the viewport, which would
        // hide ours; the viewport's clicks should hide it as well.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(ctl))
            area->viewport()->installEventFilter(this);
        connect(ctl, &QObject::destroyed, this, [this, ctl] { m_tools.remove(ctl); });
    }
    m_tools.insert(ctl, text);
}

void Tooltips_Class::SetTipText(QWidget *ctl, const QString &newText) {
    if (!HasWindow())
        return;
    auto it = m_tools.find(ctl);
    if (it == m_tools.end())
        return;
    *it = newText;
    if (m_shownFor == ctl)
        ShowTip(); // a tip on screen follows its new text
}

void Tooltips_Class::SetDelayTime(qint32 timeMode, qint32 time) {
    if (!HasWindow())
        return;
    switch (timeMode) {
    case TTDT_RESHOW: m_reshow = time; break;
    case TTDT_AUTOPOP: m_autopop = time; break;
    case TTDT_INITIAL: m_initial = time; break;
    default: break;
    }
}

void Tooltips_Class::SetMarginLeft(qint32 m) { if (HasWindow()) m_margin.left = m; }
void Tooltips_Class::SetMarginTop(qint32 m) { if (HasWindow()) m_margin.top = m; }
void Tooltips_Class::SetMarginRight(qint32 m) { if (HasWindow()) m_margin.right = m; }
void Tooltips_Class::SetMarginBottom(qint32 m) { if (HasWindow()) m_margin.bottom = m; }

void Tooltips_Class::SetMaxTipWidth(qint32 newWidth) {
    if (HasWindow())
        m_maxWidth = newWidth;
}

QString Tooltips_Class::ToolText(QWidget *ctl) const { return HasWindow() ? m_tools.value(ctl) : QString(); }

QString Tooltips_Class::DisplayText(const QString &text) const {
    // Stored texts may separate lines with LF CR; on screen each pair is one break.
    QString plain = text;
    plain.replace(QLatin1String("\n\r"), QLatin1String("\n")).replace(QLatin1String("\r\n"), QLatin1String("\n")).remove(QLatin1Char('\r'));
    const QFontMetrics fm(QToolTip::font());
    int widest = 0;
    for (const QString &line : plain.split(QLatin1Char('\n')))
        widest = qMax(widest, fm.horizontalAdvance(line));
    const bool wrap = m_maxWidth > 0 && widest > m_maxWidth;
    if (!wrap && m_margin.left == 0 && m_margin.top == 0)
        return plain;
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\" style=\"margin:%1px %2px %3px %4px\"%5><tr><td>")
                       .arg(m_margin.top).arg(m_margin.right).arg(m_margin.bottom).arg(m_margin.left)
                       .arg(wrap ? QStringLiteral(" width=\"%1\"").arg(m_maxWidth) : QString());
    html += plain.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    html += QStringLiteral("</td></tr></table>");
    return html;
}

void Tooltips_Class::ShowTip() {
    QWidget *ctl = m_hover;
    if (!HasWindow() || !ctl || !m_tools.contains(ctl) || !ctl->isVisible())
        return;
    const QString text = m_tools.value(ctl);
    if (text.isEmpty()) {
        Hide();
        return;
    }
    QPoint at = QCursor::pos();
    if (!ctl->rect().contains(ctl->mapFromGlobal(at)))
        at = ctl->mapToGlobal(QPoint(ctl->width() / 2, ctl->height() / 2));
    QToolTip::showText(at, DisplayText(text), ctl, QRect(), m_autopop > 0 ? m_autopop : -1);
    m_shownFor = ctl;
    if (m_autopop > 0)
        m_hideTimer.start(m_autopop);
}

void Tooltips_Class::Hide() {
    m_showTimer.stop();
    m_hideTimer.stop();
    if (m_shownFor) {
        QToolTip::hideText();
        m_lastHideMs = QDateTime::currentMSecsSinceEpoch();
    }
    m_shownFor = nullptr;
}

bool Tooltips_Class::eventFilter(QObject *watched, QEvent *event) {
    auto *ctl = qobject_cast<QWidget *>(watched);
    if (ctl && !m_tools.contains(ctl)) {
        // The viewport of a registered item view.
        auto *area = qobject_cast<QAbstractScrollArea *>(ctl->parentWidget());
        if (area && area->viewport() == ctl && m_tools.contains(area)) {
            if (event->type() == QEvent::ToolTip)
                return true;
            if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel)
                Hide();
        }
        return QObject::eventFilter(watched, event);
    }
    if (!ctl)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter: {
        m_hover = ctl;
        // Moving from one tip to the next within the reshow time uses the short delay.
        const bool recent = m_lastHideMs >= 0 && QDateTime::currentMSecsSinceEpoch() - m_lastHideMs < 500;
        m_showTimer.start(qMax(0, recent ? m_reshow : m_initial));
        break;
    }
    case QEvent::Leave:
        if (m_hover == ctl)
            m_hover = nullptr;
        Hide();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        Hide();
        break;
    case QEvent::ToolTip:
        return true; // the timers decide when the tip shows
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
