#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

#include <QFileDialog>
class Settings;
class QLabel;
class QPushButton;
class RichTextEditor;
class SnippetSaveModel;
class SnippetSavePopover;

// The content of a snippet window: the header with the title, the character count, Save As… and
// Copy, and the editor below. Every edit goes to `onChange`.
class TextSnippetDetailView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int copiedResetMs = 800;
    // Payloads above this size (RTF plus UTF-16 text) are read on a worker thread.
    static constexpr qsizetype backgroundLoadBytes = 512 * 1024;

    TextSnippetDetailView(const RichTextPayload &payload, std::function<void(const RichText &)> onChange,
                          QWidget *parent = nullptr, Settings *settings = nullptr);
    ~TextSnippetDetailView() override;

    // The live text (after any edit still being gathered is taken in).
    QString currentPlainText();
    QByteArray currentRTFData();
    bool copied() const { return m_copied; }

    void copy();
    void openSavePopover();
    void chooseFolder();

    // Hands any edit still being gathered to the owner now.
    void flushEdits();

    RichTextEditor *editor() const { return m_editor; }
    SnippetSaveModel *saveModel() const { return m_saveModel; }
    SnippetSavePopover *savePopover() const { return m_popover; }
    QPushButton *saveAsButton() const { return m_saveAs; }
    QPushButton *copyButton() const { return m_copy; }
    QLabel *countLabel() const { return m_count; }
    QFileDialog *folderChooser() const { return m_folderChooser; }

Q_SIGNALS:
    // After a successful save; the toast is shown by then.
    void savedToFile(const QString &fileName);

private:
    void textEdited(const RichText &text);
    void updateCount();
    void updateCopyButton();
    void syncPopover();
    void showToast(const QString &fileName);

    std::function<void(const RichText &)> m_onChange;
    RichText m_currentText;
    QString m_currentPlainText;
    QByteArray m_currentRTFData;
    bool m_rtfStale = false;
    bool m_copied = false;

    RichTextEditor *m_editor = nullptr;
    SnippetSaveModel *m_saveModel = nullptr;
    SnippetSavePopover *m_popover = nullptr;
    QPushButton *m_saveAs = nullptr;
    QPushButton *m_copy = nullptr;
    QLabel *m_count = nullptr;
    QPointer<QFileDialog> m_folderChooser;
};
