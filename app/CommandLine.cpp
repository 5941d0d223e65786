#include "app/CommandLine.h"

#include <QStringDecoder>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray usage = "usage: quorvin [--add PATH_OR_URL... | --add-text < TEXT]";

LaunchRequest failure(const QString &message, int exitCode = 1)
{
    LaunchRequest result;
    result.error = message;
    result.exitCode = exitCode;
    return result;
}

bool isWebLink(const QByteArray &argument)
{
    const QByteArray lower = argument.left(8).toLower();
    return (lower.startsWith("http://") || lower.startsWith("https://")) && argument.size() > 8;
}

// The argument as an entry of a URI list: a web link as given, a path as an absolute file URL.
std::optional<QByteArray> uriEntry(const QByteArray &argument, QString *error)
{
    struct stat info = {};
    const bool exists = ::stat(argument.constData(), &info) == 0;
    if (!exists && isWebLink(argument)) {
        for (const char c : argument) {
            if (uchar(c) <= ' ' || c == 0x7f) {
                *error = QStringLiteral("not a web link: %1").arg(QString::fromLocal8Bit(argument));
                return std::nullopt;
            }
        }
        return argument;
    }
    if (!exists) {
        *error = QStringLiteral("no such file, folder or web link: %1").arg(QString::fromLocal8Bit(argument));
        return std::nullopt;
    }
    QByteArray path = argument;
    if (!path.startsWith('/')) {
        char folder[4096];
        if (!::getcwd(folder, sizeof folder)) {
            *error = QStringLiteral("cannot tell the current folder");
            return std::nullopt;
        }
        path = QByteArray(folder) + '/' + path;
    }
    return "file://" + path.toPercentEncoding("/!$&'()*+,;=:@");
}

} // namespace

LaunchRequest parseCommandLine(const QList<QByteArray> &arguments,
                               const std::function<QByteArray(qsizetype limit)> &readInput)
{
    LaunchRequest result;
    if (arguments.isEmpty()) {
        result.request = {"toggle", {}};
        return result;
    }
    const QByteArray &option = arguments.first();
    if (option == "--add" && arguments.size() > 1) {
        QByteArray list;
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            QString error;
            const std::optional<QByteArray> entry = uriEntry(arguments.at(i), &error);
            if (!entry)
                return failure(error);
            list += *entry + "\r\n";
        }
        if (list.size() > SingleInstance::maxPayload)
            return failure(QStringLiteral("too many items at once"));
        result.request = {"add", list};
        return result;
    }
    if (option == "--add-text" && arguments.size() == 1) {
        QByteArray text = readInput(SingleInstance::maxPayload + 1);
        if (text.size() > SingleInstance::maxPayload)
            return failure(
                QStringLiteral("the text is longer than %1 MB").arg(SingleInstance::maxPayload >> 20));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8(text);
        if (utf8.hasError())
            return failure(QStringLiteral("standard input is not UTF-8 text"));
        if (decoded.trimmed().isEmpty())
            return failure(QStringLiteral("nothing to add: standard input is empty"));
        result.request = {"add-text", text};
        return result;
    }
    return failure(QString::fromLatin1(usage), 2);
}
