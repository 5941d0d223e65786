#pragma once

#include <QList>
#include <QObject>
#include <QWidget>

#include <functional>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

class Settings;
class TextSnippetDetailView;

// A "Text Snippet" window: an ordinary top-level window around one detail view.
class TextSnippetWindow : public QWidget
{
    Q_OBJECT

public:
    TextSnippetWindow(const RichTextPayload &payload, std::function<void(const RichText &)> updateText,
                      Settings *settings = nullptr);

    TextSnippetDetailView *detailView() const { return m_detailView; }

Q_SIGNALS:
    void closed(TextSnippetWindow *window);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TextSnippetDetailView *m_detailView;
};

// Owns the open snippet windows: each open call makes a new one, kept in `windows` (in opening
// order) until the user closes it.
class TextSnippetWindowController : public QObject
{
    Q_OBJECT

public:
    explicit TextSnippetWindowController(QObject *parent = nullptr);
    // Closes what is still open, so every pending edit reaches its owner.
    ~TextSnippetWindowController() override;

    // Opens a new window for `payload`, centred and in front; every edit goes to `updateText`.
    TextSnippetWindow *openSnippet(const RichTextPayload &payload,
                                   std::function<void(const RichText &)> updateText);

    const QList<QWidget *> &windows() const { return m_windows; }
    // Where the windows remember the last save folder.
    void setSettings(Settings *settings) { m_settings = settings; }

Q_SIGNALS:
    void windowsChanged();

private:
    void forgetWindow(TextSnippetWindow *window);

    QList<QWidget *> m_windows;
    Settings *m_settings = nullptr;
};
