// Drops and pastes arbitrary bytes the way another program offers them, and follows what the
// store would keep back out again. The first byte chooses the offer: RTF, HTML or plain text
// alone, or all three (the rest split in thirds), as a drop or as a paste. Every text item must
// read back from its RTF, write again, and carry plain text without Qt's internal markers.
// QUORVIN_FUZZ_OFFER=rtf, html or plain keeps every run on that one format.
#include <QGuiApplication>
#include <QMimeData>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ingest/TavloIngest.h"
#include "model/TavloItem.h"
#include "model/TavloStore.h"
#include "richtext/RichText.h"
#include "richtext/Rtf.h"

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

void followBackOut(const RichTextPayload &payload)
{
    for (QChar c : payload.plainText)
        check(c.unicode() != 0xfdd0 && c.unicode() != 0xfdd1 && c != QChar::ParagraphSeparator,
              "a frame marker or paragraph separator in the plain text");
    const RichText shown = payload.richText();
    // An edit in the snippet window copies the text and stores it again.
    auto editable = shown.toDocument();
    const RichTextPayload again = makeRichTextPayload(RichText(std::move(editable)));
    check(again.rtfData.startsWith("{\\rtf1"), "stored text does not write as RTF");
    check(Rtf::toRichText(again.rtfData).has_value(), "written RTF does not read");
    (void)TavloStore::prepareRichText(shown);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const int only = [] {
        const QByteArray offer = qgetenv("QUORVIN_FUZZ_OFFER");
        return offer == "rtf" ? 0 : offer == "html" ? 1 : offer == "plain" ? 2 : -1;
    }();
    const uint8_t mode = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QMimeData offer;
    switch (only >= 0 ? only : mode % 4) {
    case 0:
        offer.setData(QStringLiteral("text/rtf"), bytes);
        break;
    case 1:
        offer.setData(QStringLiteral("text/html"), bytes);
        break;
    case 2:
        offer.setData(QStringLiteral("text/plain"), bytes);
        break;
    default: {
        const qsizetype third = bytes.size() / 3;
        offer.setData(QStringLiteral("text/rtf"), bytes.first(third));
        offer.setData(QStringLiteral("text/html"), bytes.sliced(third, third));
        offer.setData(QStringLiteral("text/plain"), bytes.sliced(2 * third));
        break;
    }
    }
    const QList<TavloIngest::Call> calls = TavloIngest::convertNow(offer, mode & 4);
    for (const TavloIngest::Call &call : calls) {
        const auto *text = std::get_if<TavloIngest::AddText>(&call);
        if (!text)
            continue;
        if (const auto *payload = std::get_if<RichTextPayload>(&text->prepared))
            followBackOut(*payload);
    }
    return 0;
}
