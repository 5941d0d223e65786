#include "snippets/SnippetSaveModel.h"

#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/Settings.h"

namespace {

QString cleanFolder(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

QString fileIn(const QString &folder, const QString &name)
{
    return QDir::cleanPath(folder + QLatin1Char('/') + name);
}

} // namespace

SnippetSaveModel::SnippetSaveModel(std::function<QString()> currentText, QObject *parent, Settings *settings)
    : QObject(parent), m_currentText(std::move(currentText)), m_settings(settings)
{
    const QString remembered = m_settings ? m_settings->lastSaveFolder() : QString();
    if (!remembered.isEmpty()) {
        // No existence check: a vanished folder stays selectable and fails only when written to.
        m_lastFolder = cleanFolder(remembered);
        m_chosenFolder = m_lastFolder;
    }
}

std::optional<QString> SnippetSaveModel::targetFolder() const
{
    if (m_saveDestination == SaveDestination::lastFolder)
        return m_chosenFolder ? m_chosenFolder : m_lastFolder;
    return standardFolder(m_saveDestination);
}

std::optional<QString> SnippetSaveModel::chooserStartFolder() const
{
    return m_chosenFolder ? m_chosenFolder : m_lastFolder;
}

void SnippetSaveModel::setSaveFilename(const QString &name)
{
    if (name == m_saveFilename)
        return;
    m_saveFilename = name;
    Q_EMIT changed();
}

void SnippetSaveModel::setSaveDestination(SaveDestination destination)
{
    if (destination == m_saveDestination)
        return;
    m_saveDestination = destination;
    Q_EMIT changed();
}

void SnippetSaveModel::setShowingSavePopover(bool showing)
{
    if (showing == m_showingSavePopover)
        return;
    m_showingSavePopover = showing;
    Q_EMIT changed();
}

void SnippetSaveModel::openPopover()
{
    if (m_saveFilename.isEmpty())
        m_saveFilename = suggestedFilename(m_currentText());
    m_saveStatus.clear();
    m_showingSavePopover = true;
    Q_EMIT changed();
}

void SnippetSaveModel::cancelPopover()
{
    m_showingSavePopover = false;
    m_saveStatus.clear();
    Q_EMIT changed();
}

std::optional<QString> SnippetSaveModel::validatedName(const QString &emptyStatus)
{
    const QString name = trimmedName(m_saveFilename);
    if (name.isEmpty()) {
        m_saveStatus = emptyStatus;
        return std::nullopt;
    }
    if (const auto problem = filenameProblem(name)) {
        m_saveStatus = *problem;
        return std::nullopt;
    }
    return name;
}

void SnippetSaveModel::save()
{
    if (m_writing)
        return;
    const auto name = validatedName(QStringLiteral("Enter a filename"));
    if (!name) {
        Q_EMIT changed();
        return;
    }
    const auto folder = targetFolder();
    if (!folder) {
        m_saveStatus = QStringLiteral("Choose a folder");
        Q_EMIT changed();
        return;
    }
    const QString cleaned = cleanFolder(*folder);
    const QString file = fileIn(cleaned, *name);
    m_lastSavedFile = file;
    if (QFileInfo::exists(file)) {
        m_pendingOverwrite = file;
        m_saveStatus.clear();
        Q_EMIT changed();
        return;
    }
    write(cleaned, file, false);
}

bool SnippetSaveModel::beginChooseFolder()
{
    if (m_writing)
        return false;
    if (!validatedName(QStringLiteral("Enter a filename first"))) {
        Q_EMIT changed();
        return false;
    }
    return true;
}

void SnippetSaveModel::folderChosen(const QString &chosen)
{
    const QString name = trimmedName(m_saveFilename);
    if (m_writing || chosen.isEmpty() || name.isEmpty() || filenameProblem(name))
        return;
    const QString folder = cleanFolder(chosen);
    const QString file = fileIn(folder, name);
    rememberFolder(folder);
    m_saveDestination = SaveDestination::lastFolder;
    m_lastSavedFile = file;
    m_saveStatus.clear();
    if (QFileInfo::exists(file)) {
        m_pendingOverwrite = file;
        // The confirmation lives in the popover, so bring it back.
        m_showingSavePopover = true;
        Q_EMIT changed();
        return;
    }
    write(folder, file, false);
}

void SnippetSaveModel::folderChoiceCancelled()
{
    setShowingSavePopover(true);
}

void SnippetSaveModel::cancelOverwrite()
{
    m_pendingOverwrite.reset();
    m_saveStatus.clear();
    Q_EMIT changed();
}

void SnippetSaveModel::replace()
{
    if (m_writing || !m_pendingOverwrite)
        return;
    const QString file = *m_pendingOverwrite;
    m_pendingOverwrite.reset();
    write(QFileInfo(file).absolutePath(), file, true);
}

void SnippetSaveModel::write(const QString &folder, const QString &file, bool replaceExisting)
{
    m_writing = true;
    Q_EMIT changed();
    const QString text = m_currentText();
    QPointer<SnippetSaveModel> self(this);
    QtConcurrent::run(writeSnippetFile, folder, file, text, replaceExisting)
        .then(this, [self, folder, file](const SnippetWriteResult &result) {
            if (self)
                self->finishWrite(folder, file, result);
        });
}

void SnippetSaveModel::finishWrite(const QString &folder, const QString &file,
                                   const SnippetWriteResult &result)
{
    using Outcome = SnippetWriteResult::Outcome;
    m_writing = false;
    switch (result.outcome) {
    case Outcome::saved:
        rememberFolder(folder);
        m_saveDestination = SaveDestination::lastFolder;
        m_lastSavedFile = file;
        m_saveStatus.clear();
        m_showingSavePopover = false;
        m_pendingOverwrite.reset();
        Q_EMIT changed();
        Q_EMIT saved(QFileInfo(file).fileName());
        return;
    case Outcome::alreadyExists:
        // Someone else created the file meanwhile: ask before replacing it.
        m_pendingOverwrite = file;
        m_saveStatus.clear();
        break;
    case Outcome::folderMissing:
        m_saveStatus = QStringLiteral("Folder does not exist: ") + folder;
        break;
    case Outcome::notEncodable:
        m_saveStatus = QStringLiteral("Could not encode text");
        break;
    case Outcome::failed:
        m_saveStatus = QStringLiteral("Save failed: ") + result.error;
        m_pendingOverwrite.reset();
        break;
    case Outcome::notCreated:
        m_saveStatus = QStringLiteral("File was not created: ") + file;
        break;
    }
    m_showingSavePopover = true;
    Q_EMIT changed();
}

void SnippetSaveModel::rememberFolder(const QString &folder)
{
    const QString cleaned = cleanFolder(folder);
    m_lastFolder = cleaned;
    m_chosenFolder = cleaned;
    if (m_settings)
        m_settings->setLastSaveFolder(cleaned);
}
