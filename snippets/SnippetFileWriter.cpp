#include "snippets/SnippetFileWriter.h"

#include <QFileInfo>

#include <cerrno>

#include "platform/DurableFile.h"

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

    DurableFile::Options options;
    options.privateFile = false; // the user's own file, with the usual permissions
    options.replace = replaceExisting;
    options.createFolders = false;
    const DurableFile::Result result = DurableFile::write(filePath, bytes, options);
    if (result.error == EEXIST)
        return {Outcome::alreadyExists, {}};
    if (!result.ok())
        return {Outcome::failed, result.reason};

    if (!QFileInfo::exists(filePath))
        return {Outcome::notCreated, {}};
    return {Outcome::saved, {}};
}
