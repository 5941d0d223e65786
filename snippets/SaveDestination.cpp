#include "snippets/SaveDestination.h"

#include <QStandardPaths>
#include <QTextBoundaryFinder>

QString saveDestinationRawValue(SaveDestination destination)
{
    switch (destination) {
    case SaveDestination::lastFolder:
        return QStringLiteral("Last Folder");
    case SaveDestination::desktop:
        return QStringLiteral("Desktop");
    case SaveDestination::documents:
        return QStringLiteral("Documents");
    case SaveDestination::downloads:
        return QStringLiteral("Downloads");
    }
    return {};
}

std::optional<SaveDestination> saveDestinationFromRawValue(const QString &raw)
{
    for (SaveDestination destination : allSaveDestinations()) {
        if (saveDestinationRawValue(destination) == raw)
            return destination;
    }
    return std::nullopt;
}

const QList<SaveDestination> &allSaveDestinations()
{
    static const QList<SaveDestination> all {SaveDestination::lastFolder, SaveDestination::desktop,
                                             SaveDestination::documents, SaveDestination::downloads};
    return all;
}

std::optional<QString> standardFolder(SaveDestination destination)
{
    QStandardPaths::StandardLocation location;
    switch (destination) {
    case SaveDestination::desktop:
        location = QStandardPaths::DesktopLocation;
        break;
    case SaveDestination::documents:
        location = QStandardPaths::DocumentsLocation;
        break;
    case SaveDestination::downloads:
        location = QStandardPaths::DownloadLocation;
        break;
    default:
        return std::nullopt;
    }
    const QStringList folders = QStandardPaths::standardLocations(location);
    if (folders.isEmpty() || folders.first().isEmpty())
        return std::nullopt;
    return folders.first();
}

namespace {

bool isTrimmable(QChar c)
{
    return c.isSpace() || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The first `count` grapheme clusters of `text`.
QString leftPerceived(const QString &text, qsizetype count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (seen < count && finder.toNextBoundary() != -1)
        ++seen;
    return seen < count ? text : text.left(finder.position());
}

} // namespace

QString trimmedName(const QString &name)
{
    qsizetype start = 0;
    qsizetype end = name.size();
    while (start < end && isTrimmable(name.at(start)))
        ++start;
    while (end > start && isTrimmable(name.at(end - 1)))
        --end;
    return name.mid(start, end - start);
}

QString suggestedFilename(const QString &plainText)
{
    QString first;
    for (QStringView line : QStringView(plainText).split(u'\n', Qt::SkipEmptyParts)) {
        first = line.toString();
        break;
    }
    first = trimmedName(first);
    first.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char(':'), QLatin1Char('-'));
    first = trimmedName(first);
    if (first.isEmpty())
        return QStringLiteral("Snippet.txt");
    first = leftPerceived(first, 48);
    if (first.contains(QLatin1Char('.')))
        return first;
    return first + QStringLiteral(".txt");
}

std::optional<QString> filenameProblem(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("A filename cannot contain \"/\"");
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0)))
        return QStringLiteral("Enter a valid filename");
    return std::nullopt;
}

qsizetype perceivedLength(QStringView text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}
