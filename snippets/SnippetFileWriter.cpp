#include "snippets/SnippetFileWriter.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

// The UTF-8 encoder would quietly put a replacement character in place of these.
bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

SnippetWriteResult writeSnippetFile(const QString &folderPath, const QString &filePath, const QString &text,
                                    bool replaceExisting)
{
    using Outcome = SnippetWriteResult::Outcome;
    if (!QFileInfo(folderPath).isDir())
        return {Outcome::folderMissing, {}};

    if (hasLoneSurrogate(text))
        return {Outcome::notEncodable, {}};
    const QByteArray bytes = text.toUtf8();

    const QFileInfo target(filePath);
    if (target.exists() && !replaceExisting)
        return {Outcome::alreadyExists, {}};
    // QSaveFile would write through a folder's name into nothing useful; say so plainly.
    if (target.isDir())
        return {Outcome::failed, QStringLiteral("Is a directory")};

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return {Outcome::failed, file.errorString()};
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return {Outcome::failed, error};
    }
    if (!file.commit())
        return {Outcome::failed, file.errorString()};

    if (!QFileInfo::exists(filePath))
        return {Outcome::notCreated, {}};
    return {Outcome::saved, {}};
}
