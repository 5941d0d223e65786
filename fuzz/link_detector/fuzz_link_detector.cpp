// Feeds arbitrary text to the link detector, read both as UTF-8 and as raw UTF-16 (which
// brings unpaired surrogates), and checks the matches are sane.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "ingest/LinkDetector.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void check(const QString &text)
{
    const QList<LinkDetector::Match> all = LinkDetector::findAll(text);
    qsizetype previousEnd = 0;
    qsizetype from = 0;
    qsizetype index = 0;
    while (const auto match = LinkDetector::findNext(text, from)) {
        require(index < all.size() && all[index] == *match);
        ++index;
        require(match->start >= from && match->start >= previousEnd);
        require(match->length > 0 && match->start + match->length <= text.size());
        const QString &url = match->url;
        require(url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
        for (const QChar c : url)
            require(c.unicode() > 0x20 && c.unicode() < 0x7f);
        previousEnd = match->start + match->length;
        from = previousEnd;
    }
    require(index == all.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}
