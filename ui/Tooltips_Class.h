#pragma once
// One tooltip "window" for one form, with tools registered per control. A thin layer
// over Qt's tooltips: delays, margins and the wrap width are kept here and used when a
// tip is shown. Before Create every operation except Create does nothing.
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class Tooltips_Class : public QObject {
    Q_OBJECT
public:
    // Delay kinds with the classic values.
    static constexpr qint32 TTDT_RESHOW = 1, TTDT_AUTOPOP = 2, TTDT_INITIAL = 3;

    explicit Tooltips_Class(QObject *parent = nullptr);
    ~Tooltips_Class() override;

    void Create(QWidget *frm);
    bool HasWindow() const { return !m_form.isNull(); }

    void AddTool(QWidget *ctl, const QString &text = QString());
    void SetTipText(QWidget *ctl, const QString &newText);
    void SetDelayTime(qint32 timeMode, qint32 time);

    void SetMarginLeft(qint32 m);
    void SetMarginTop(qint32 m);
    void SetMarginRight(qint32 m);
    void SetMarginBottom(qint32 m);
    void SetMaxTipWidth(qint32 newWidth);

    // What a tool holds, for callers that need to look: "" when unknown.
    QString ToolText(QWidget *ctl) const;
    // The control whose tip is on screen, or null.
    QWidget *ShownFor() const { return m_shownFor; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Margin {
        qint32 left = 0, top = 0, right = 0, bottom = 0;
    };
    void Destroy();
    void ShowTip();
    void Hide();
    QString DisplayText(const QString &text) const;

    QPointer<QWidget> m_form;
    QHash<QWidget *, QString> m_tools;
    Margin m_margin;
    qint32 m_maxWidth = -1;
    qint32 m_initial = 500, m_autopop = 5000, m_reshow = 100;

    QTimer m_showTimer;
    QTimer m_hideTimer;
    QPointer<QWidget> m_hover;
    QPointer<QWidget> m_shownFor;
    qint64 m_lastHideMs = -1;
};
