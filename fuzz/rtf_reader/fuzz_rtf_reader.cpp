// Reads arbitrary bytes as RTF, writes the document back and reads that again. Besides crashes,
// hangs and leaks, it checks two properties of the codec: the writer's output is 7-bit, and what
// it writes reads back to the same text.

#include <QTextDocument>

#include <cstdio>
#include <cstdlib>

#include "richtext/RichText.h"
#include "richtext/Rtf.h"

namespace {

QString comparableText(const QTextDocument &doc)
{
    QString text = RichText::fromDocument(doc).string();
    text.remove(QChar::ObjectReplacementCharacter); // images are not written
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTextDocument doc;
    if (!Rtf::read(QByteArrayView(data, qsizetype(size)), doc))
        return 0;
    const QByteArray written = Rtf::write(doc);
    for (char c : written) {
        if (uchar(c) >= 0x80) {
            std::fprintf(stderr, "writer produced a non-ASCII byte\n");
            std::abort();
        }
    }
    QTextDocument again;
    if (!Rtf::read(written, again)) {
        std::fprintf(stderr, "writer output is not RTF\n");
        std::abort();
    }
    if (comparableText(doc) != comparableText(again)) {
        std::fprintf(stderr, "text changed in a round trip:\n%s\n---\n%s\n", qPrintable(comparableText(doc)),
                     qPrintable(comparableText(again)));
        std::abort();
    }
    return 0;
}
