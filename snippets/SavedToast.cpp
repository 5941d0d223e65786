#include "snippets/SavedToast.h"

#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QTimer>

#include "platform/DesktopBackends.h"

SavedToast::SavedToast(QWidget *host, const QString &fileName)
    : QWidget(host,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput
                  | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_message(QStringLiteral("Saved ") + fileName)
{
    setObjectName(QStringLiteral("savedToast"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(toastSize);
    setAccessibleName(m_message);
    cutToOutlineWithoutCompositor(this, [](const QWidget *toast) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(toast->rect()), 12, 12);
        return shape;
    });
}

SavedToast *SavedToast::show(QWidget *host, const QString &fileName)
{
    if (!host)
        return nullptr;
    host = host->window();
    auto *toast = new SavedToast(host, fileName);
    const QRect frame = host->frameGeometry();
    toast->move(frame.center().x() - toastSize.width() / 2, frame.top() + 52);
    toast->setWindowOpacity(0.0);
    toast->QWidget::show();
    toast->raise();

    auto *fadeIn = new QPropertyAnimation(toast, "windowOpacity", toast);
    fadeIn->setDuration(fadeInMs);
    fadeIn->setStartValue(0.0);
    fadeIn->setEndValue(1.0);
    fadeIn->start(QAbstractAnimation::DeleteWhenStopped);
    QTimer::singleShot(holdMs, toast, &SavedToast::fadeOut);
    return toast;
}

void SavedToast::fadeOut()
{
    auto *animation = new QPropertyAnimation(this, "windowOpacity", this);
    animation->setDuration(fadeOutMs);
    animation->setStartValue(windowOpacity());
    animation->setEndValue(0.0);
    connect(animation, &QPropertyAnimation::finished, this, &QWidget::close);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SavedToast::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(shape, QColor(40, 40, 44, 225));

    const QRect iconRect(14, (height() - 18) / 2, 18, 18);
    // A green disc with a white tick, drawn here so it looks the same under every icon theme.
    painter.setBrush(QColor(52, 199, 89));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(iconRect.adjusted(1, 1, -1, -1));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c = QRectF(iconRect).center();
    painter.drawPolyline(QList<QPointF> {c + QPointF(-4, 0), c + QPointF(-1, 3), c + QPointF(4, -3)});

    QFont font = this->font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QRect textRect(iconRect.right() + 1 + 8, 0, width() - (iconRect.right() + 1 + 8) - 14, height());
    const QString text = QFontMetrics(font).elidedText(m_message, Qt::ElideMiddle, textRect.width());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}
