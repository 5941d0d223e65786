#include "thumbnails/YouTube.h"

namespace YouTube {

namespace {

const QString shortHost = QStringLiteral("youtu.be");
const QString mainHost = QStringLiteral("youtube.com");
const QString thumbnailHost = QStringLiteral("i.ytimg.com");

bool isShortHost(const QString &host)
{
    return host == shortHost || host == QStringLiteral("www.") + shortHost;
}

// The id becomes part of the thumbnail request's path: nothing that could steer it elsewhere.
std::optional<QString> validID(const QString &id)
{
    if (id.isEmpty() || id.size() > 64)
        return std::nullopt;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
              || u == u'-'))
            return std::nullopt;
    }
    return id;
}

} // namespace

bool isYouTubeURL(const TavloUrl &url)
{
    const QString host = url.host().toLower();
    if (host.isEmpty())
        return false;
    return isShortHost(host) || host == mainHost || host == QStringLiteral("www.") + mainHost
        || host == QStringLiteral("m.") + mainHost;
}

std::optional<QString> youTubeVideoID(const TavloUrl &url)
{
    const QString host = url.host().toLower();
    if (host.isEmpty())
        return std::nullopt;

    if (isShortHost(host)) {
        QString path = url.path();
        qsizetype start = 0;
        qsizetype end = path.size();
        while (start < end && path.at(start) == u'/')
            ++start;
        while (end > start && path.at(end - 1) == u'/')
            --end;
        if (start == end)
            return std::nullopt;
        return validID(path.mid(start, end - start));
    }

    if (!host.contains(mainHost))
        return std::nullopt;

    if (url.path() == QStringLiteral("/watch")) {
        const QList<std::pair<QString, QString>> items = url.queryItems();
        for (const auto &[name, value] : items) {
            if (name != QStringLiteral("v"))
                continue;
            if (!value.isEmpty())
                return validID(value);
            break;
        }
    }

    QStringList components = url.pathComponents();
    components.removeAll(QStringLiteral("/"));
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QString &component = components.at(i);
        if (component != QStringLiteral("shorts") && component != QStringLiteral("embed")
            && component != QStringLiteral("live"))
            continue;
        if (i + 1 >= components.size() || components.at(i + 1).isEmpty())
            return std::nullopt;
        return validID(components.at(i + 1));
    }
    return std::nullopt;
}

std::optional<TavloUrl> youTubeThumbnailURL(const TavloUrl &url)
{
    const std::optional<QString> id = youTubeVideoID(url);
    if (!id)
        return std::nullopt;
    return TavloUrl::parse(QStringLiteral("https://") + thumbnailHost + QStringLiteral("/vi/") + *id
                           + QStringLiteral("/hqdefault.jpg"));
}

} // namespace YouTube
