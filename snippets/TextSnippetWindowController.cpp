#include "snippets/TextSnippetWindowController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "snippets/TextSnippetDetailView.h"

TextSnippetWindow::TextSnippetWindow(const RichTextPayload &payload,
                                     std::function<void(const RichText &)> updateText, Settings *settings)
    : QWidget(nullptr, Qt::Window)
{
    setWindowTitle(QStringLiteral("Text Snippet"));
    setObjectName(QStringLiteral("textSnippetWindow"));
    m_detailView = new TextSnippetDetailView(payload, std::move(updateText), this, settings);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_detailView);
    // 600 × 420 asked for; the content's own minimum makes it at least 620 wide.
    resize(QSize(600, 420).expandedTo(m_detailView->minimumSize()));
}

void TextSnippetWindow::closeEvent(QCloseEvent *event)
{
    m_detailView->flushEdits();
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed(this);
}

TextSnippetWindowController::TextSnippetWindowController(QObject *parent) : QObject(parent) { }

TextSnippetWindowController::~TextSnippetWindowController()
{
    // Each view hands its last edit on as it goes.
    const QList<QWidget *> windows = std::exchange(m_windows, {});
    qDeleteAll(windows);
}

TextSnippetWindow *TextSnippetWindowController::openSnippet(const RichTextPayload &payload,
                                                            std::function<void(const RichText &)> updateText)
{
    auto *window = new TextSnippetWindow(payload, std::move(updateText), m_settings);
    connect(window, &TextSnippetWindow::closed, this, &TextSnippetWindowController::forgetWindow);

    const QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    m_windows.append(window);
    Q_EMIT windowsChanged();

    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void TextSnippetWindowController::forgetWindow(TextSnippetWindow *window)
{
    if (!m_windows.removeAll(window))
        return;
    Q_EMIT windowsChanged();
    window->deleteLater();
}
