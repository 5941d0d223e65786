#include "about/AboutCardView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgetkit/PanelStyle.h"

using namespace PanelStyle;

namespace {

constexpr int iconSize = 76;
constexpr qreal iconCornerRadius = 17;

// The application's icon clipped to its rounded tile.
QPixmap iconTile(qreal devicePixelRatio)
{
    QPixmap tile(QSize(iconSize, iconSize) * devicePixelRatio);
    tile.setDevicePixelRatio(devicePixelRatio);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, iconSize, iconSize), iconCornerRadius, iconCornerRadius);
    painter.setClipPath(clip);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = AboutCardView::applicationIcon();
    icon.paint(&painter, QRect(0, 0, iconSize, iconSize), Qt::AlignCenter);
    return tile;
}

QLabel *centredLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

AboutCardView::AboutCardView(QWidget *parent) : QWidget(parent)
{
    setFixedSize(cardWidth, cardHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    const QColor secondary = PanelStyle::color(palette(), PanelStyle::Tone::secondary);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto *identity = new QVBoxLayout;
    identity->setContentsMargins(28, 28, 28, 0);
    identity->setSpacing(14);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(iconSize, iconSize);
    icon->setPixmap(iconTile(devicePixelRatioF()));
    identity->addWidget(icon, 0, Qt::AlignHCenter);

    auto *nameAndVersion = new QVBoxLayout;
    nameAndVersion->setSpacing(4);
    nameAndVersion->addWidget(
        centredLabel(QStringLiteral("Quorvin"), PanelStyle::font(24, QFont::DemiBold), this));
    m_version = centredLabel(versionString(), captionFont(), this);
    setTextColor(m_version, secondary);
    nameAndVersion->addWidget(m_version);
    identity->addLayout(nameAndVersion);

    QLabel *description = centredLabel(descriptionText(), PanelStyle::font(13), this);
    description->setWordWrap(true);
    // Wrapped labels get too little room from box layouts; give it its width and the height that needs.
    description->setFixedWidth(300);
    description->setMinimumHeight(description->heightForWidth(300));
    setTextColor(description, secondary);
    identity->addWidget(description, 0, Qt::AlignHCenter);
    // Equal stretches above and below keep the stack centred, with or without the link.
    root->addStretch();
    root->addLayout(identity);

    root->addSpacing(20);
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    setTextColor(divider, PanelStyle::color(palette(), PanelStyle::Tone::tertiary));
    root->addWidget(divider);
    root->addSpacing(20);

    auto *maker = new QVBoxLayout;
    maker->setContentsMargins(0, 0, 0, 24);
    maker->setSpacing(6);
    maker->addWidget(centredLabel(creditText(), PanelStyle::font(12, QFont::Medium), this));
    QLabel *notice = centredLabel(noticeText(), captionFont(), this);
    setTextColor(notice, secondary);
    maker->addWidget(notice);
    const QUrl page = projectPage();
    if (page.isValid() && !page.host().isEmpty()) {
        m_link = new QPushButton(page.host(), this);
        m_link->setFlat(true);
        m_link->setCursor(Qt::PointingHandCursor);
        m_link->setFont(captionFont());
        QPalette linkPalette = m_link->palette();
        linkPalette.setColor(QPalette::ButtonText, linkPalette.color(QPalette::Link));
        m_link->setPalette(linkPalette);
        connect(m_link, &QPushButton::clicked, this, [page] { QDesktopServices::openUrl(page); });
        maker->addWidget(m_link, 0, Qt::AlignHCenter);
    }
    root->addLayout(maker);
    root->addStretch();
}

QIcon AboutCardView::applicationIcon()
{
    return QIcon::fromTheme(QStringLiteral(QUORVIN_APP_ID),
                            QIcon(QStringLiteral(":/icons/io.github.quorvin.Quorvin.svg")));
}

QString AboutCardView::versionString()
{
    const QString version = QCoreApplication::applicationVersion();
    return QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("1.0") : version);
}

QString AboutCardView::descriptionText()
{
    return QStringLiteral("A desktop workflow tool for the things you’re using right now.");
}

QString AboutCardView::creditText()
{
    return QStringLiteral("Made by the Quorvin authors");
}

QString AboutCardView::noticeText()
{
    return QStringLiteral("© 2026 The Quorvin Authors");
}

QUrl AboutCardView::projectPage()
{
    // Only secure web addresses are opened from here.
    const QUrl url(QStringLiteral(QUORVIN_PROJECT_URL), QUrl::StrictMode);
    return url.scheme() == QLatin1String("https") ? url : QUrl();
}
