#pragma once
// One tooltip "window" for one form, with tools registered per control. A thin layer
// over Qt's tooltips: delays, margins, widths and colours are kept here and used when
// a tip is shown; the getters report what was set. Before Create every operation
// except Create, MakeLong, GetShellVersion and Enabled (set) does nothing, and the
// getters return 0, false or "".
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

class Tooltips_Class : public QObject {
    Q_OBJECT
public:
    // Tool flags and title icons with the classic values.
    static constexpr qint32 TTF_IDISHWND = 0x1;
    static constexpr qint32 TTF_SUBCLASS = 0x10;
    static constexpr qint32 TTF_TRACK = 0x20;
    static constexpr qint32 TTDT_AUTOMATIC = 0, TTDT_RESHOW = 1, TTDT_AUTOPOP = 2, TTDT_INITIAL = 3;
    static constexpr qint32 TTI_NONE = 0, TTI_INFO = 1, TTI_WARNING = 2, TTI_ERROR = 3;

    explicit Tooltips_Class(QObject *parent = nullptr);
    ~Tooltips_Class() override;

    void Create(QWidget *frm, qint32 flags);
    bool HasWindow() const { return !m_form.isNull(); }

    void AddTool(QWidget *ctl, qint32 flags, const QString &text = QString());
    void DeleteTool(QWidget *ctl);
    void SetTipText(QWidget *ctl, const QString &newText);
    void SetToolRect(QWidget *ctl, qint32 left, qint32 top, qint32 right, qint32 bottom);
    void SetTracking(QWidget *ctl, bool tracking);
    void SetTrackPosition(QWidget *ctl, qint16 x, qint16 y);
    bool HitTest(QWidget *ctl, qint32 x, qint32 y) const;
    qint32 ToolCount() const;

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool newState);
    qint32 Icon() const { return HasWindow() ? m_icon : 0; }
    void SetIcon(qint32 newIcon);
    QString Title() const { return HasWindow() ? m_title : QString(); }
    void SetTitle(const QString &newTitle);

    qint32 GetDelayTime(qint32 timeMode) const;
    void SetDelayTime(qint32 timeMode, qint32 time);
    void HideTips();

    qint32 MarginLeft() const { return HasWindow() ? m_margin.left : 0; }
    qint32 MarginTop() const { return HasWindow() ? m_margin.top : 0; }
    qint32 MarginRight() const { return HasWindow() ? m_margin.right : 0; }
    qint32 MarginBottom() const { return HasWindow() ? m_margin.bottom : 0; }
    void SetMarginLeft(qint32 m);
    void SetMarginTop(qint32 m);
    void SetMarginRight(qint32 m);
    void SetMarginBottom(qint32 m);

    qint32 MaxTipWidth() const { return HasWindow() ? m_maxWidth : 0; }
    void SetMaxTipWidth(qint32 newWidth);
    // Colours as 0x00BBGGRR; a value with the top byte 0x80 names a system colour.
    qint32 BackColor() const { return HasWindow() ? m_backColor : 0; }
    void SetBackColor(qint32 newColor);
    qint32 ForeColor() const { return HasWindow() ? m_foreColor : 0; }
    void SetForeColor(qint32 newColor);

    qint32 GetTooltipWidth(QWidget *ctl) const;
    qint32 GetTooltipHeight(QWidget *ctl) const;
    qint32 ToolTipWidthFromText(const QString &text) const;
    qint32 ToolTipHeightFromText(const QString &text) const;
    qint32 TextWidthFromToolTipWidth(qint32 textWidth) const;
    qint32 TextHeightFromToolTipHeight(qint32 textHeight) const;

    static qint32 MakeLong(qint16 int1, qint16 int2);
    static qint32 GetShellVersion() { return 0; }
    // A system colour (top byte 0x80, index in the low byte) becomes its current RGB
    // value from the palette; any other value is returned unchanged.
    static qint32 TranslateColor(qint32 color);

    // What a tool holds, for callers that need to look: flags 0 and "" when unknown.
    qint32 ToolFlags(QWidget *ctl) const;
    QString ToolText(QWidget *ctl) const;
    // The control whose tip is on screen, or null.
    QWidget *ShownFor() const { return m_shownFor; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Tool {
        qint32 flags = 0;
        QString text;
        QRect rect;
        bool tracking = false;
    };
    struct Margin {
        qint32 left = 0, top = 0, right = 0, bottom = 0;
    };
    void Destroy();
    void ShowTip();
    void Hide();
    QString DisplayText(const QString &text) const;
    QSize BubbleSize(const QString &text) const;

    QPointer<QWidget> m_form;
    QHash<QWidget *, Tool> m_tools;
    bool m_enabled = false;
    qint32 m_icon = 0;
    QString m_title;
    Margin m_margin;
    qint32 m_maxWidth = -1;
    qint32 m_backColor = 0;
    qint32 m_foreColor = 0;
    qint32 m_initial = 500, m_autopop = 5000, m_reshow = 100;

    QTimer m_showTimer;
    QTimer m_hideTimer;
    QPointer<QWidget> m_hover;
    QPointer<QWidget> m_shownFor;
    qint64 m_lastHideMs = -1;
};
