#pragma once

#include <QAbstractButton>
#include <QWidget>

#include "model/TavloItem.h"
#include "widgetkit/PanelStyle.h"

// Small painted pieces of the panel card. Each paints with colours taken from
// its palette at paint time, so a theme change needs nothing but a repaint.

// One line of text in a card tone, elided at the tail when it gets less room
// than it needs.
class ToneLabel : public QWidget
{
    Q_OBJECT

public:
    ToneLabel(const QFont &font, PanelStyle::Tone tone, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setTone(PanelStyle::Tone tone);
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    PanelStyle::Tone m_tone;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// A 28 x 28 round header button showing one symbol.
class CardIconButton : public QAbstractButton
{
    Q_OBJECT

public:
    CardIconButton(const QString &symbol, const QString &toolTip, QWidget *parent = nullptr);

    QSize sizeHint() const override { return QSize(28, 28); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
};

// The active tavlo's name with a chevron; pressing it opens the tavlo menu.
class TavloMenuButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit TavloMenuButton(QWidget *parent = nullptr);

    // The name as painted, elided to the current width when needed.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static QFont titleFont();
};

// The invitation shown in place of the item list while the active tavlo is
// empty.
class TavloEmptyState : public QWidget
{
    Q_OBJECT

public:
    explicit TavloEmptyState(QWidget *parent = nullptr);

    void setOrientation(TavloOrientation orientation);
    // 0 at rest, 1 while a drag hovers; values between come from the highlight
    // animation.
    void setHighlight(qreal progress, bool targeted);

    QString title() const;
    QString caption() const;
    QString hint() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintVertical(QPainter &painter, const QRectF &area);
    void paintHorizontal(QPainter &painter, const QRectF &area);
    void paintTray(QPainter &painter, const QPointF &center);

    TavloOrientation m_orientation = TavloOrientation::horizontal;
    qreal m_highlight = 0;
    bool m_targeted = false;
};
