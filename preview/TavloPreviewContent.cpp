#include "preview/TavloPreviewContent.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/LocalFileName.h"
#include "preview/PreviewLabels.h"
#include "preview/TavloLargeFilePreview.h"
#include "widgetkit/DesktopOpen.h"
#include "widgetkit/PanelStyle.h"

using namespace PanelStyle;

namespace {

constexpr int contentWidth = 520;
constexpr int contentHeight = 390;
constexpr int footerHeight = 42;

QString localPath(const FileItemKind &file)
{
    return file.url.standardizedFileURL().toLocalFile();
}

bool fileExists(const FileItemKind &file)
{
    const QString path = localPath(file);
    return localFileExists(path);
}

// A centred card on the control background, as every non-text area is laid out.
QWidget *makeCard(QVBoxLayout *&stack)
{
    auto *card = new QWidget;
    card->setAutoFillBackground(true);
    card->setBackgroundRole(QPalette::Button);
    stack = new QVBoxLayout(card);
    stack->setSpacing(14);
    stack->addStretch();
    return card;
}

QLabel *addLabel(QVBoxLayout *stack, const QString &text, const QFont &font, const QColor &color = {})
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    if (color.isValid())
        setTextColor(label, color);
    stack->addWidget(label);
    return label;
}

ElidedLabel *addElided(QVBoxLayout *stack, const QString &text, const QFont &font)
{
    auto *label = new ElidedLabel(text);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    stack->addWidget(label);
    return label;
}

SelectableText *addSelectable(QVBoxLayout *stack, const QString &text, const QFont &font, int padding)
{
    auto *holder = new QWidget;
    auto *row = new QHBoxLayout(holder);
    row->setContentsMargins(padding, 0, padding, 0);
    auto *selectable = new SelectableText(text, font);
    setTextColor(selectable, PanelStyle::color(selectable->palette(), PanelStyle::Tone::secondary));
    row->addWidget(selectable);
    stack->addWidget(holder);
    return selectable;
}

} // namespace

TavloPreviewContent::TavloPreviewContent(const TavloItem &item, std::function<void()> onOpen, QWidget *parent,
                                         LargePreviewLoader *loader)
    : QWidget(parent), m_item(item), m_onOpen(std::move(onOpen)), m_area(areaFor(item))
{
    setFixedSize(contentWidth, contentHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_areaWidget = buildArea(loader);
    stack->addWidget(m_areaWidget, 1);
    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    setTextColor(divider, PanelStyle::color(palette(), PanelStyle::Tone::tertiary));
    stack->addWidget(divider);
    stack->addWidget(buildFooter());

    // A file that goes away while it is previewed turns into the unavailable card.
    if (m_area == Area::largeFile || m_area == Area::folder) {
        auto *watcher = new QFileSystemWatcher({localPath(std::get<FileItemKind>(m_item.kind))}, this);
        connect(watcher, &QFileSystemWatcher::fileChanged, this, &TavloPreviewContent::refreshAvailability);
        connect(watcher, &QFileSystemWatcher::directoryChanged, this,
                &TavloPreviewContent::refreshAvailability);
    }
}

void TavloPreviewContent::refreshAvailability()
{
    if (m_area == Area::unavailableFile || canOpen(m_item))
        return;
    QWidget *old = m_areaWidget;
    m_area = Area::unavailableFile;
    m_areaWidget = buildArea(nullptr);
    delete layout()->replaceWidget(old, m_areaWidget);
    old->hide();
    old->deleteLater();
    m_hint->setText(hint(m_item));
    m_openButton->setEnabled(false);
}

TavloPreviewContent::Area TavloPreviewContent::areaFor(const TavloItem &item)
{
    if (item.isText())
        return Area::text;
    if (item.isUrl())
        return Area::link;
    const auto &file = std::get<FileItemKind>(item.kind);
    const QFileInfo info(localPath(file));
    if (localPath(file).isEmpty() || !info.exists())
        return Area::unavailableFile;
    return info.isDir() ? Area::folder : Area::largeFile;
}

QString TavloPreviewContent::lastPathComponent(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    if (trimmed == QLatin1String("/"))
        return trimmed;
    return trimmed.section(u'/', -1);
}

QString TavloPreviewContent::linkTitle(const UrlItemKind &link)
{
    if (link.title && !link.title->isEmpty())
        return *link.title;
    const QString host = link.url.host();
    return host.isEmpty() ? QStringLiteral("Web Link") : host;
}

QString TavloPreviewContent::footerTitle(const TavloItem &item)
{
    switch (item.kind.index()) {
    case 0:
        return lastPathComponent(std::get<FileItemKind>(item.kind).url.path());
    case 1: {
        const auto &text = std::get<TextItemKind>(item.kind);
        if (text.title && !text.title->isEmpty())
            return *text.title;
        const QStringList lines = text.payload.plainText.split(u'\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QStringLiteral("Text Snippet") : lines.first();
    }
    default:
        return linkTitle(std::get<UrlItemKind>(item.kind));
    }
}

QString TavloPreviewContent::footerSymbolName(const TavloItem &item)
{
    if (item.isText())
        return QStringLiteral("text.quote");
    if (item.isUrl())
        return QStringLiteral("link");
    return QStringLiteral("doc");
}

bool TavloPreviewContent::canOpen(const TavloItem &item)
{
    if (const auto *link = std::get_if<UrlItemKind>(&item.kind))
        return DesktopOpen::isOpenableLink(link->url);
    return !item.isFile() || fileExists(std::get<FileItemKind>(item.kind));
}

QString TavloPreviewContent::hint(const TavloItem &item)
{
    if (canOpen(item))
        return QStringLiteral("Double-click Tavlo item, or click Open.");
    return item.isUrl() ? QStringLiteral("Only web links open")
                        : QStringLiteral("Original file is unavailable");
}

QString TavloPreviewContent::footerTitleText() const
{
    return m_footerTitle->fullText();
}

QString TavloPreviewContent::hintText() const
{
    return m_hint->text();
}

QWidget *TavloPreviewContent::buildArea(LargePreviewLoader *loader)
{
    QVBoxLayout *stack = nullptr;
    QWidget *card = nullptr;
    switch (m_area) {
    case Area::text: {
        const auto &text = std::get<TextItemKind>(m_item.kind);
        // Older records may carry only the rich text; show its characters then.
        QString plain = text.payload.plainText;
        if (plain.isEmpty())
            plain = text.payload.richText().string();
        auto *view = new QPlainTextEdit;
        view->setReadOnly(true);
        view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        view->setFrameShape(QFrame::NoFrame);
        view->setFont(monospacedFont(13));
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->document()->setDocumentMargin(18);
        view->setPlainText(plain);
        return view;
    }
    case Area::largeFile:
        return new TavloLargeFilePreview(std::get<FileItemKind>(m_item.kind).url, nullptr, loader);
    case Area::unavailableFile: {
        const QString path = localPath(std::get<FileItemKind>(m_item.kind));
        const QString shownPath =
            path.isEmpty() ? std::get<FileItemKind>(m_item.kind).url.absoluteString() : path;
        card = makeCard(stack);
        stack->addWidget(
            symbolLabel(QStringLiteral("exclamationmark.triangle"), 44, QColor(0xff, 0x95, 0x00)), 0,
            Qt::AlignHCenter);
        addLabel(stack, QStringLiteral("File Unavailable"), PanelStyle::font(20, QFont::DemiBold));
        addElided(stack, lastPathComponent(shownPath), PanelStyle::font(13, QFont::Medium));
        addSelectable(stack, shownPath, monospacedFont(11), 32);
        QLabel *note =
            addLabel(stack,
                     QStringLiteral("The original file may have been moved, renamed, deleted, or its "
                                    "drive may be disconnected."),
                     captionFont(), PanelStyle::color(palette(), PanelStyle::Tone::secondary));
        note->setWordWrap(true);
        note->setContentsMargins(42, 0, 42, 0);
        break;
    }
    case Area::folder: {
        const QString path = localPath(std::get<FileItemKind>(m_item.kind));
        card = makeCard(stack);
        stack->addWidget(symbolLabel(QStringLiteral("folder"), 54), 0, Qt::AlignHCenter);
        addElided(stack, lastPathComponent(path), PanelStyle::font(20, QFont::DemiBold));
        addLabel(stack, QStringLiteral("Folder"), captionFont(),
                 PanelStyle::color(palette(), PanelStyle::Tone::secondary));
        addSelectable(stack, path, monospacedFont(11), 32);
        break;
    }
    case Area::link: {
        const auto &link = std::get<UrlItemKind>(m_item.kind);
        card = makeCard(stack);
        stack->addWidget(symbolLabel(QStringLiteral("link"), 42), 0, Qt::AlignHCenter);
        QLabel *title = addLabel(stack, linkTitle(link), PanelStyle::font(20, QFont::DemiBold));
        title->setWordWrap(true);
        addSelectable(stack, link.url.absoluteString(), monospacedFont(12), 30);
        break;
    }
    }
    stack->addStretch();
    return card;
}

QWidget *TavloPreviewContent::buildFooter()
{
    auto *footer = new QWidget;
    footer->setFixedHeight(footerHeight);
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(10);
    row->addWidget(symbolLabel(footerSymbolName(m_item), 16));
    m_footerTitle = new ElidedLabel(footerTitle(m_item));
    m_footerTitle->setFont(PanelStyle::font(12, QFont::Medium));
    row->addWidget(m_footerTitle, 1);
    m_hint = new QLabel(hint(m_item));
    m_hint->setFont(captionFont());
    setTextColor(m_hint, PanelStyle::color(palette(), PanelStyle::Tone::tertiary));
    row->addWidget(m_hint);
    m_openButton = new QPushButton(QStringLiteral("Open"));
    m_openButton->setFont(PanelStyle::font(11));
    m_openButton->setEnabled(canOpen(m_item));
    m_openButton->setAutoDefault(false);
    connect(m_openButton, &QPushButton::clicked, this, &TavloPreviewContent::open);
    row->addWidget(m_openButton);
    return footer;
}

void TavloPreviewContent::open()
{
    // The file may have gone since the card was built; the cell's open action copes with that.
    Q_EMIT closeRequested();
    if (m_onOpen)
        m_onOpen();
}
