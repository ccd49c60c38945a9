#include "Tooltips_Class.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QPalette>
#include <QStyle>
#include <QToolTip>

namespace {

qint32 ToColorRef(const QColor &c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }

QColor FromColorRef(qint32 v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

// The classic system colour numbers mapped onto the palette's roles.
QPalette::ColorRole RoleOfSystemColor(int index, QPalette::ColorGroup &group) {
    group = QPalette::Active;
    switch (index) {
    case 2: case 13: return QPalette::Highlight;
    case 9: case 14: return QPalette::HighlightedText;
    case 5: return QPalette::Base;
    case 7: case 19: return QPalette::WindowText;
    case 8: return QPalette::Text;
    case 0: case 15: return QPalette::Button;
    case 16: return QPalette::Dark;
    case 6: case 21: return QPalette::Shadow;
    case 17: group = QPalette::Disabled; return QPalette::Text;
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;
    case 22: return QPalette::Midlight;
    case 3: case 12: return QPalette::Mid;
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    case 26: return QPalette::Link;
    default: return QPalette::Window;
    }
}

} // namespace

Tooltips_Class::Tooltips_Class(QObject *parent) : QObject(parent) {
    m_showTimer.setSingleShot(true);
    m_hideTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &Tooltips_Class::ShowTip);
    connect(&m_hideTimer, &QTimer::timeout, this, &Tooltips_Class::Hide);
}

Tooltips_Class::~Tooltips_Class() { Destroy(); }

qint32 Tooltips_Class::MakeLong(qint16 int1, qint16 int2) {
    return qint32((quint32(quint16(int2)) << 16) | quint16(int1));
}

qint32 Tooltips_Class::TranslateColor(qint32 color) {
    if ((quint32(color) >> 24) != 0x80)
        return color;
    QPalette::ColorGroup group;
    const QPalette::ColorRole role = RoleOfSystemColor(color & 0xFF, group);
    return ToColorRef(QGuiApplication::palette().color(group, role));
}

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

void Tooltips_Class::Create(QWidget *frm, qint32 flags) {
    Q_UNUSED(flags);
    Destroy();
    m_enabled = true;
    m_icon = 0;
    m_title.clear();
    if (!frm)
        return;
    m_form = frm;
    m_margin = {};
    m_maxWidth = -1;
    m_initial = 500;
    m_autopop = 5000;
    m_reshow = 100;
    m_backColor = TranslateColor(qint32(0x80000018)); // info background
    m_foreColor = TranslateColor(qint32(0x80000017)); // info text
}

void Tooltips_Class::AddTool(QWidget *ctl, qint32 flags, const QString &text) {
    if (!HasWindow() || !ctl)
        return;
    Tool tool;
    tool.flags = flags | TTF_IDISHWND;
    if (!(flags & TTF_TRACK))
        tool.flags |= TTF_SUBCLASS;
    tool.text = text;
    tool.rect = ctl->rect();
    if (!m_tools.contains(ctl)) {
        ctl->installEventFilter(this);
        // Item views show their own (empty) item tips from the viewport, which would
        // hide ours; the viewport's clicks should hide it as well.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(ctl))
            area->viewport()->installEventFilter(this);
        connect(ctl, &QObject::destroyed, this, [this, ctl] { m_tools.remove(ctl); });
    }
    m_tools.insert(ctl, tool);
}

void Tooltips_Class::DeleteTool(QWidget *ctl) {
    if (!HasWindow() || !m_tools.contains(ctl))
        return;
    if (m_hover == ctl || m_shownFor == ctl)
        Hide();
    ctl->removeEventFilter(this);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(ctl))
        area->viewport()->removeEventFilter(this);
    m_tools.remove(ctl);
}

void Tooltips_Class::SetTipText(QWidget *ctl, const QString &newText) {
    if (!HasWindow())
        return;
    auto it = m_tools.find(ctl);
    if (it == m_tools.end())
        return;
    it->text = newText;
    if (m_shownFor == ctl)
        ShowTip(); // a tip on screen follows its new text
}

void Tooltips_Class::SetToolRect(QWidget *ctl, qint32 left, qint32 top, qint32 right, qint32 bottom) {
    if (!HasWindow())
        return;
    auto it = m_tools.find(ctl);
    if (it != m_tools.end())
        it->rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void Tooltips_Class::SetTracking(QWidget *ctl, bool tracking) {
    if (!HasWindow())
        return;
    auto it = m_tools.find(ctl);
    if (it == m_tools.end())
        return;
    it->tracking = tracking;
    if (tracking) {
        m_hover = ctl;
        ShowTip();
    } else if (m_shownFor == ctl) {
        Hide();
    }
}

void Tooltips_Class::SetTrackPosition(QWidget *ctl, qint16 x, qint16 y) {
    if (!HasWindow() || !m_tools.contains(ctl))
        return;
    const Tool &tool = m_tools[ctl];
    if (tool.tracking && m_enabled)
        QToolTip::showText(QPoint(x, y), DisplayText(tool.text), ctl);
}

bool Tooltips_Class::HitTest(QWidget *ctl, qint32 x, qint32 y) const {
    if (!HasWindow() || !m_tools.contains(ctl))
        return false;
    return m_tools[ctl].rect.contains(x, y);
}

qint32 Tooltips_Class::ToolCount() const { return HasWindow() ? qint32(m_tools.size()) : 0; }

void Tooltips_Class::SetEnabled(bool newState) {
    m_enabled = newState;
    if (HasWindow() && !newState)
        Hide();
}

void Tooltips_Class::SetIcon(qint32 newIcon) {
    if (HasWindow())
        m_icon = newIcon;
}

void Tooltips_Class::SetTitle(const QString &newTitle) {
    if (HasWindow())
        m_title = newTitle;
}

qint32 Tooltips_Class::GetDelayTime(qint32 timeMode) const {
    if (!HasWindow())
        return 0;
    switch (timeMode) {
    case TTDT_RESHOW: return m_reshow;
    case TTDT_AUTOPOP: return m_autopop;
    case TTDT_INITIAL: return m_initial;
    default: return 0;
    }
}

void Tooltips_Class::SetDelayTime(qint32 timeMode, qint32 time) {
    if (!HasWindow())
        return;
    switch (timeMode) {
    case TTDT_AUTOMATIC:
        // One figure sets all three in the usual proportions.
        m_initial = time;
        m_autopop = time * 10;
        m_reshow = time / 5;
        break;
    case TTDT_RESHOW: m_reshow = time; break;
    case TTDT_AUTOPOP: m_autopop = time; break;
    case TTDT_INITIAL: m_initial = time; break;
    default: break;
    }
}

void Tooltips_Class::HideTips() {
    if (HasWindow())
        Hide();
}

void Tooltips_Class::SetMarginLeft(qint32 m) { if (HasWindow()) m_margin.left = m; }
void Tooltips_Class::SetMarginTop(qint32 m) { if (HasWindow()) m_margin.top = m; }
void Tooltips_Class::SetMarginRight(qint32 m) { if (HasWindow()) m_margin.right = m; }
void Tooltips_Class::SetMarginBottom(qint32 m) { if (HasWindow()) m_margin.bottom = m; }

void Tooltips_Class::SetMaxTipWidth(qint32 newWidth) {
    if (HasWindow())
        m_maxWidth = newWidth;
}

void Tooltips_Class::SetBackColor(qint32 newColor) {
    if (HasWindow())
        m_backColor = TranslateColor(newColor);
}

void Tooltips_Class::SetForeColor(qint32 newColor) {
    if (HasWindow())
        m_foreColor = TranslateColor(newColor);
}

QSize Tooltips_Class::BubbleSize(const QString &text) const {
    const QFontMetrics fm(QToolTip::font());
    const int wrapAt = m_maxWidth > 0 ? m_maxWidth : 100000;
    QString plain = text;
    plain.replace(QLatin1String("\n\r"), QLatin1String("\n")).remove(QLatin1Char('\r'));
    const QRect r = fm.boundingRect(QRect(0, 0, wrapAt, 100000), Qt::TextWordWrap, plain);
    return QSize(ToolTipWidthFromText(QString()) + r.width(), ToolTipHeightFromText(QString()) - fm.height() + r.height());
}

qint32 Tooltips_Class::GetTooltipWidth(QWidget *ctl) const {
    if (!HasWindow() || !m_tools.contains(ctl))
        return 0;
    return qint16(BubbleSize(m_tools[ctl].text).width());
}

qint32 Tooltips_Class::GetTooltipHeight(QWidget *ctl) const {
    if (!HasWindow() || !m_tools.contains(ctl))
        return 0;
    return qint16(BubbleSize(m_tools[ctl].text).height());
}

namespace {
int FrameWidth() {
    return QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth) : 1;
}
} // namespace

qint32 Tooltips_Class::ToolTipWidthFromText(const QString &text) const {
    if (!HasWindow())
        return 0;
    const QFontMetrics fm(QToolTip::font());
    return fm.horizontalAdvance(text) + m_margin.left + m_margin.right + 2 * FrameWidth();
}

qint32 Tooltips_Class::ToolTipHeightFromText(const QString &text) const {
    if (!HasWindow())
        return 0;
    Q_UNUSED(text);
    const QFontMetrics fm(QToolTip::font());
    return fm.height() + m_margin.top + m_margin.bottom + 2 * FrameWidth();
}

qint32 Tooltips_Class::TextWidthFromToolTipWidth(qint32 textWidth) const {
    if (!HasWindow())
        return 0;
    return textWidth - (m_margin.left + m_margin.right + 2 * FrameWidth());
}

qint32 Tooltips_Class::TextHeightFromToolTipHeight(qint32 textHeight) const {
    if (!HasWindow())
        return 0;
    return textHeight - (m_margin.top + m_margin.bottom + 2 * FrameWidth());
}

qint32 Tooltips_Class::ToolFlags(QWidget *ctl) const {
    return HasWindow() && m_tools.contains(ctl) ? m_tools[ctl].flags : 0;
}

QString Tooltips_Class::ToolText(QWidget *ctl) const {
    return HasWindow() && m_tools.contains(ctl) ? m_tools[ctl].text : QString();
}

QString Tooltips_Class::DisplayText(const QString &text) const {
    // Stored texts may separate lines with LF CR; on screen each pair is one break.
    QString plain = text;
    plain.replace(QLatin1String("\n\r"), QLatin1String("\n")).replace(QLatin1String("\r\n"), QLatin1String("\n")).remove(QLatin1Char('\r'));
    const QFontMetrics fm(QToolTip::font());
    int widest = 0;
    for (const QString &line : plain.split(QLatin1Char('\n')))
        widest = qMax(widest, fm.horizontalAdvance(line));
    const bool wrap = m_maxWidth > 0 && widest > m_maxWidth;
    if (m_title.isEmpty() && !wrap && m_margin.left == 0 && m_margin.top == 0)
        return plain;
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\" style=\"margin:%1px %2px %3px %4px\"%5><tr><td>")
                       .arg(m_margin.top).arg(m_margin.right).arg(m_margin.bottom).arg(m_margin.left)
                       .arg(wrap ? QStringLiteral(" width=\"%1\"").arg(m_maxWidth) : QString());
    if (!m_title.isEmpty())
        html += QStringLiteral("<b>") + m_title.toHtmlEscaped() + QStringLiteral("</b><br/>");
    html += plain.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    html += QStringLiteral("</td></tr></table>");
    return html;
}

void Tooltips_Class::ShowTip() {
    QWidget *ctl = m_hover;
    if (!HasWindow() || !m_enabled || !ctl || !m_tools.contains(ctl) || !ctl->isVisible())
        return;
    const QString text = m_tools[ctl].text;
    if (text.isEmpty()) {
        Hide();
        return;
    }
    QPalette pal = QToolTip::palette();
    pal.setColor(QPalette::ToolTipBase, FromColorRef(m_backColor));
    pal.setColor(QPalette::ToolTipText, FromColorRef(m_foreColor));
    QToolTip::setPalette(pal);
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
            if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel) && !m_tools[area].tracking)
                Hide();
        }
        return QObject::eventFilter(watched, event);
    }
    if (!ctl)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter: {
        m_hover = ctl;
        if (!m_enabled || m_tools[ctl].tracking)
            break;
        // Moving from one tip to the next within the reshow time uses the short delay.
        const bool recent = m_lastHideMs >= 0 && QDateTime::currentMSecsSinceEpoch() - m_lastHideMs < 500;
        m_showTimer.start(qMax(0, recent ? m_reshow : m_initial));
        break;
    }
    case QEvent::Leave:
        if (m_hover == ctl)
            m_hover = nullptr;
        if (!m_tools[ctl].tracking)
            Hide();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        if (!m_tools[ctl].tracking)
            Hide();
        break;
    case QEvent::ToolTip:
        return true; // the timers decide when the tip shows
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
