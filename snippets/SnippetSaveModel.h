#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "snippets/SaveDestination.h"
#include "snippets/SnippetFileWriter.h"

class Settings;

// The state of one snippet window's save popover and the steps of saving, apart from any widget.
// Folder and file values are cleaned absolute paths. Writing runs on a worker thread; everything
// else, and every signal, on the GUI thread.
class SnippetSaveModel : public QObject
{
    Q_OBJECT

public:
    // `currentText` returns the snippet's plain text as it is now. The last folder is remembered
    // in `settings`; without them only for this model.
    explicit SnippetSaveModel(std::function<QString()> currentText, QObject *parent = nullptr,
                              Settings *settings = nullptr);

    const QString &saveFilename() const { return m_saveFilename; }
    SaveDestination saveDestination() const { return m_saveDestination; }
    const QString &saveStatus() const { return m_saveStatus; }
    bool showingSavePopover() const { return m_showingSavePopover; }
    const std::optional<QString> &lastFolder() const { return m_lastFolder; }
    const std::optional<QString> &chosenFolder() const { return m_chosenFolder; }
    const std::optional<QString> &pendingOverwrite() const { return m_pendingOverwrite; }
    const std::optional<QString> &lastSavedFile() const { return m_lastSavedFile; }
    bool isWriting() const { return m_writing; }

    // The folder that Save writes to for the selected quick location.
    std::optional<QString> targetFolder() const;
    // Where the folder chooser starts.
    std::optional<QString> chooserStartFolder() const;

    void setSaveFilename(const QString &name);
    void setSaveDestination(SaveDestination destination);
    void setShowingSavePopover(bool showing);

    // Save As…: fills an empty filename with a suggestion, clears the status, shows the popover.
    void openPopover();
    // The popover's Cancel.
    void cancelPopover();
    void save();
    // Choose Folder…: false (with a status) when there is no filename yet, so no chooser is shown.
    bool beginChooseFolder();
    // The chooser ended with a folder: remember it and save into it.
    void folderChosen(const QString &folder);
    // The chooser was cancelled.
    void folderChoiceCancelled();
    void cancelOverwrite();
    void replace();

Q_SIGNALS:
    void changed();
    void saved(const QString &fileName);

private:
    void write(const QString &folder, const QString &file, bool replaceExisting);
    void finishWrite(const QString &folder, const QString &file, const SnippetWriteResult &result);
    void rememberFolder(const QString &folder);
    // The trimmed filename, or nothing with the status set.
    std::optional<QString> validatedName(const QString &emptyStatus);

    std::function<QString()> m_currentText;
    Settings *m_settings;
    QString m_saveFilename;
    SaveDestination m_saveDestination = SaveDestination::lastFolder;
    QString m_saveStatus;
    bool m_showingSavePopover = false;
    bool m_writing = false;
    std::optional<QString> m_lastFolder;
    std::optional<QString> m_chosenFolder;
    std::optional<QString> m_pendingOverwrite;
    std::optional<QString> m_lastSavedFile;
};
