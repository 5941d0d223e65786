#include "ingest/TavloIngest.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>
#include <utility>

#include "ingest/Clippings.h"
#include "ingest/LinkDetector.h"
#include "ingest/WebLinks.h"
#include "model/TavloStore.h"
#include "richtext/Rtf.h"
#include "richtext/TextDocuments.h"

namespace {

using Call = TavloIngest::Call;

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kMozUrl = QStringLiteral("text/x-moz-url");
const QString kNetscapeUrl = QStringLiteral("_NETSCAPE_URL");
const QString kPlainText = QStringLiteral("text/plain");
const QString kHtml = QStringLiteral("text/html");
const QString kQtImage = QStringLiteral("application/x-qt-image");
const QStringList kRtfFormats = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                 QStringLiteral("text/richtext")};
const QStringList kImageFormats = {QStringLiteral("image/png"), QStringLiteral("image/jpeg"),
                                   QStringLiteral("image/tiff")};

const QString kTooLarge = QStringLiteral("This text is too large to add: texts of up to 64 MB are kept.");
const QString kTooDeep = QStringLiteral("This rich text is nested too deeply to add.");

// Time the GUI thread spends on store calls before it lets other events in.
constexpr int kSliceMs = 8;

struct Blob
{
    QString format;
    QByteArray bytes;
};

// What a drop or paste offered, copied while its QMimeData was alive.
struct Snapshot
{
    QByteArray uriList;
    QByteArray gnomeCopiedFiles;
    QList<Blob> urls; // text/x-moz-url, _NETSCAPE_URL
    QList<Blob> texts; // text/plain variants, preferred first
    QByteArray rtf;
    QByteArray html;
    QByteArray image; // PNG, JPEG or TIFF bytes
    QImage qimage; // an in-process image, encoded as PNG on the worker
};

enum class Rule { none, uriList, url, plainText, rtf, html, image };

bool isPlainTextFormat(const QString &format)
{
    return format == kPlainText || format.startsWith(kPlainText + u';');
}

// ---- copying out of QMimeData (GUI thread) ----------------------------------------------

QList<Blob> plainTexts(const QMimeData &data)
{
    QList<Blob> texts;
    QStringList formats;
    for (const QString &format : data.formats()) {
        if (isPlainTextFormat(format))
            formats.append(format);
    }
    // UTF-8 first, then other declared charsets, then the bare type.
    auto rank = [](const QString &format) {
        if (format == kPlainText)
            return 2;
        return format.contains(QLatin1String("utf-8"), Qt::CaseInsensitive)
                || format.contains(QLatin1String("utf8"), Qt::CaseInsensitive)
            ? 0
            : 1;
    };
    std::stable_sort(formats.begin(), formats.end(),
                     [&](const QString &a, const QString &b) { return rank(a) < rank(b); });
    for (const QString &format : formats)
        texts.append({format, data.data(format)});
    return texts;
}

QList<Blob> urlBlobs(const QMimeData &data)
{
    QList<Blob> urls;
    for (const QString &format : {kMozUrl, kNetscapeUrl}) {
        if (data.hasFormat(format))
            urls.append({format, data.data(format)});
    }
    return urls;
}

QByteArray firstFormat(const QMimeData &data, const QStringList &formats)
{
    for (const QString &format : formats) {
        if (data.hasFormat(format))
            return data.data(format);
    }
    return QByteArray();
}

bool hasAny(const QMimeData &data, const QStringList &formats)
{
    return std::any_of(formats.begin(), formats.end(), [&](const QString &f) { return data.hasFormat(f); });
}

bool hasPlainText(const QMimeData &data)
{
    const QStringList formats = data.formats();
    return std::any_of(formats.begin(), formats.end(), isPlainTextFormat);
}

// An image handed over as a QImage within this process. Qt's drop data from another application
// also claims one whenever any image type it can read is offered, so a GIF-only drag would
// become a PNG clipping: the QImage counts only when no image type is offered at all.
bool hasInProcessImage(const QMimeData &data)
{
    const QStringList formats = data.formats();
    return data.hasImage() && std::none_of(formats.begin(), formats.end(), [](const QString &f) {
               return f.startsWith(u"image/");
           });
}

// True when a URI list names at least one entry (blank lines and comments do not count).
bool hasUriEntries(const QByteArray &list)
{
    qsizetype from = 0;
    while (from < list.size()) {
        qsizetype end = list.indexOf('\n', from);
        if (end < 0)
            end = list.size();
        const QByteArrayView line = QByteArrayView(list).sliced(from, end - from).trimmed();
        if (!line.isEmpty() && !line.startsWith('#'))
            return true;
        from = end + 1;
    }
    return false;
}

// ---- conversions (worker thread) --------------------------------------------------------

QStringList uriEntries(const QByteArray &list)
{
    QStringList entries;
    for (const QByteArray &line : list.split('\n')) {
        const QByteArray entry = line.trimmed();
        if (!entry.isEmpty() && !entry.startsWith('#'))
            entries.append(QString::fromUtf8(entry));
    }
    return entries;
}

// Only absolute local paths: "file:-rf.pdf" and files on other hosts are not ours to open.
bool isLocalFile(const TavloUrl &url)
{
    return !url.toLocalFile().isEmpty();
}

// The store call for a URL entry: files as files, anything else as a link (which the store
// refuses unless it is http or https).
std::optional<Call> callForUrl(const TavloUrl &url)
{
    if (url.isFileURL()) {
        if (!isLocalFile(url))
            return std::nullopt;
        return TavloIngest::AddFile {url};
    }
    return TavloIngest::AddUrl {url};
}

std::optional<QString> decode(const QByteArray &bytes, QStringDecoder decoder)
{
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    // Some senders count a terminating NUL into the data.
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

// Text by the charset its format declares; UTF-8 (or what a byte order mark says) otherwise.
std::optional<QString> decodeText(const Blob &blob)
{
    QByteArray charset;
    const qsizetype at = blob.format.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        charset = blob.format.mid(at + 8).section(u';', 0, 0).trimmed().toLatin1();
        if (charset.size() > 1 && (charset.startsWith('"') || charset.startsWith('\'')))
            charset = charset.mid(1, charset.size() - 2);
    }
    if (charset.isEmpty()) {
        const auto encoding = QStringConverter::encodingForData(blob.bytes).value_or(QStringConverter::Utf8);
        return decode(blob.bytes, QStringDecoder(encoding));
    }
    if (const auto encoding = QStringConverter::encodingForName(charset.constData()))
        return decode(blob.bytes, QStringDecoder(*encoding));
    return decode(blob.bytes, QStringDecoder(charset.constData()));
}

std::optional<QString> firstText(const QList<Blob> &texts)
{
    for (const Blob &blob : texts) {
        if (auto text = decodeText(blob))
            return text;
    }
    return std::nullopt;
}

// Link formats carry absolute URLs; anything else is noise, not a relative reference.
std::optional<TavloUrl> absoluteUrl(const QString &text)
{
    auto url = TavloUrl::parse(text);
    if (!url || url->scheme().isEmpty())
        return std::nullopt;
    return url;
}

// text/x-moz-url is UTF-16 "url\ntitle"; _NETSCAPE_URL is the same in UTF-8.
std::optional<TavloUrl> urlFromBlobs(const QList<Blob> &urls)
{
    for (const Blob &blob : urls) {
        std::optional<QString> text;
        if (blob.format == kMozUrl) {
            const auto encoding =
                QStringConverter::encodingForData(blob.bytes).value_or(QStringConverter::Utf16LE);
            text = decode(blob.bytes, QStringDecoder(encoding));
        } else {
            text = decode(blob.bytes, QStringDecoder(QStringConverter::Utf8));
        }
        if (!text)
            continue;
        const QString line = text->section(u'\n', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        if (auto url = absoluteUrl(line))
            return url;
    }
    return std::nullopt;
}

// Firefox sends HTML as UTF-16 without a byte order mark, while its meta tag says UTF-8.
std::optional<QStringConverter::Encoding> sniffUtf16(const QByteArray &bytes)
{
    const qsizetype n = std::min<qsizetype>(bytes.size() & ~qsizetype(1), 64);
    if (n < 2)
        return std::nullopt;
    int evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    if (oddZeros * 2 > n / 2 && evenZeros == 0)
        return QStringConverter::Utf16LE;
    if (evenZeros * 2 > n / 2 && oddZeros == 0)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

std::optional<QString> decodeHtml(const QByteArray &bytes)
{
    auto encoding = QStringConverter::encodingForData(bytes);
    if (!encoding)
        encoding = sniffUtf16(bytes);
    if (encoding)
        return decode(bytes, QStringDecoder(*encoding));
    return decode(bytes, QStringDecoder::decoderForHtml(bytes));
}

// Namespace and document type URIs are part of the markup, not links the user dropped.
bool isMarkupUri(QStringView html, qsizetype start)
{
    const QStringView before = html.mid(std::max<qsizetype>(0, start - 256), std::min<qsizetype>(start, 256));
    const qsizetype open = before.lastIndexOf(u'<');
    if (open >= 0 && before.indexOf(u'>', open) < 0
        && before.mid(open).startsWith(QLatin1String("<!doctype"), Qt::CaseInsensitive))
        return true;
    QStringView attribute = before.trimmed();
    if (!attribute.endsWith(u'"') && !attribute.endsWith(u'\''))
        return false;
    attribute.chop(1);
    attribute = attribute.trimmed();
    if (!attribute.endsWith(u'='))
        return false;
    attribute.chop(1);
    attribute = attribute.trimmed();
    qsizetype nameStart = attribute.size();
    while (nameStart > 0 && !attribute[nameStart - 1].isSpace())
        --nameStart;
    return attribute.mid(nameStart).startsWith(QLatin1String("xmlns"), Qt::CaseInsensitive);
}

std::optional<TavloUrl> firstWebLinkInHtml(QStringView html)
{
    qsizetype from = 0;
    while (const auto match = LinkDetector::findNext(html, from)) {
        from = match->start + match->length;
        if (isMarkupUri(html, match->start))
            continue;
        if (auto url = firstWebLink(html.mid(match->start, match->length)))
            return url;
    }
    return std::nullopt;
}

// Documents live and die on the worker; only the prepared payload crosses to the GUI thread.
std::optional<RichText> readRtf(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    auto document = std::make_unique<InertTextDocument>();
    if (!Rtf::read(bytes, *document))
        return std::nullopt;
    return RichText(std::move(document));
}

std::optional<RichText> readHtml(const QString &html)
{
    // Reading HTML must not fetch anything: no style sheets, no images, no local files.
    auto document = std::make_unique<InertTextDocument>();
    document->setHtml(html);
    removeResources(*document);
    return RichText(std::move(document));
}

// HTML too deeply nested for Qt to read in reasonable time is passed over, like unreadable HTML.
std::optional<RichText> readHtml(const QByteArray &bytes, bool *tooDeep)
{
    if (bytes.isEmpty())
        return std::nullopt;
    const auto html = decodeHtml(bytes);
    if (!html)
        return std::nullopt;
    if (!htmlNestingWithin(*html, maxHtmlNesting)) {
        *tooDeep = true;
        return std::nullopt;
    }
    return readHtml(*html);
}

bool isTooLarge(const QByteArray &bytes)
{
    return bytes.size() > TavloIngest::maxTextBytes;
}

Call addText(QString text)
{
    return TavloIngest::AddText {TavloStore::prepareText(std::move(text))};
}

Call addRichText(const RichText &richText)
{
    return TavloIngest::AddText {TavloStore::prepareRichText(richText)};
}

std::optional<TavloUrl> saveImage(const Snapshot &snapshot)
{
    if (!snapshot.image.isEmpty())
        return Clippings::saveClippingImage(snapshot.image);
    if (snapshot.qimage.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(snapshot.qimage))
        return std::nullopt;
    return Clippings::saveClippingImage(png);
}

// The URL rule's fallbacks: the link-ish formats, then the first web link of the text.
void addUrlFallback(const Snapshot &snapshot, QList<Call> &calls)
{
    if (const auto url = urlFromBlobs(snapshot.urls)) {
        if (auto call = callForUrl(*url))
            calls.append(*call);
        return;
    }
    if (const auto text = firstText(snapshot.texts)) {
        if (auto link = firstWebLink(*text))
            calls.append(TavloIngest::AddUrl {*link});
    }
}

QList<Call> convertDrop(Rule rule, Snapshot &snapshot)
{
    QList<Call> calls;
    switch (rule) {
    case Rule::none:
        break;
    case Rule::uriList: {
        const QStringList entries = uriEntries(snapshot.uriList);
        for (const QString &entry : entries) {
            if (const auto url = absoluteUrl(entry)) {
                if (auto call = callForUrl(*url))
                    calls.append(*call);
            } else if (entries.size() == 1) {
                addUrlFallback(snapshot, calls);
            }
        }
        break;
    }
    case Rule::url:
        addUrlFallback(snapshot, calls);
        break;
    case Rule::plainText:
        if (isTooLarge(snapshot.texts.value(0).bytes)) {
            calls.append(TavloIngest::Refuse {kTooLarge});
        } else if (auto text = firstText(snapshot.texts)) {
            snapshot.texts.clear(); // the bytes can go before the text is converted
            if (auto link = firstWebLink(*text))
                calls.append(TavloIngest::AddUrl {*link});
            else
                calls.append(addText(std::move(*text)));
        }
        break;
    case Rule::rtf:
        if (isTooLarge(snapshot.rtf))
            calls.append(TavloIngest::Refuse {kTooLarge});
        else if (auto rich = readRtf(snapshot.rtf))
            calls.append(addRichText(*rich));
        break;
    case Rule::html:
        if (isTooLarge(snapshot.html)) {
            calls.append(TavloIngest::Refuse {kTooLarge});
        } else if (const auto html = decodeHtml(snapshot.html)) {
            if (auto link = firstWebLinkInHtml(*html))
                calls.append(TavloIngest::AddUrl {*link});
            else if (!htmlNestingWithin(*html, maxHtmlNesting))
                calls.append(TavloIngest::Refuse {kTooDeep}); // a drop with text is taken as text
            else if (auto rich = readHtml(*html))
                calls.append(addRichText(*rich));
        }
        break;
    case Rule::image:
        if (auto url = saveImage(snapshot))
            calls.append(TavloIngest::AddFile {*url});
        break;
    }
    return calls;
}

QList<TavloUrl> localFileUrls(const QStringList &entries)
{
    QList<TavloUrl> files;
    for (const QString &entry : entries) {
        const auto url = absoluteUrl(entry);
        if (url && isLocalFile(*url))
            files.append(*url);
    }
    return files;
}

QList<Call> convertPaste(Snapshot &snapshot)
{
    QList<Call> calls;
    // Copied files: the URI list, or GNOME's list whose first line says "copy" or "cut".
    QList<TavloUrl> files = localFileUrls(uriEntries(snapshot.uriList));
    if (files.isEmpty()) {
        QStringList entries = uriEntries(snapshot.gnomeCopiedFiles);
        if (!entries.isEmpty())
            entries.removeFirst();
        files = localFileUrls(entries);
    }
    if (!files.isEmpty()) {
        for (const TavloUrl &url : std::as_const(files))
            calls.append(TavloIngest::AddFile {url});
        return calls;
    }

    // One text too large refuses the paste: which representation would have won is unknown.
    if (isTooLarge(snapshot.texts.value(0).bytes) || isTooLarge(snapshot.rtf) || isTooLarge(snapshot.html)) {
        calls.append(TavloIngest::Refuse {kTooLarge});
        return calls;
    }
    auto text = firstText(snapshot.texts);
    const bool hasText = text && !text->trimmed().isEmpty();
    if (hasText) {
        if (auto link = singleWebLink(*text)) {
            calls.append(TavloIngest::AddUrl {*link});
            return calls;
        }
    }
    if (auto rich = readRtf(snapshot.rtf)) {
        calls.append(addRichText(*rich));
        return calls;
    }
    bool tooDeep = false;
    if (auto rich = readHtml(snapshot.html, &tooDeep)) {
        calls.append(addRichText(*rich));
        return calls;
    }
    if (hasText) {
        calls.append(addText(std::move(*text)));
        return calls;
    }
    if (tooDeep) {
        calls.append(TavloIngest::Refuse {kTooDeep});
        return calls;
    }
    // Only a URL: the first entry that is no local file, or the browser's own link format.
    QString urlText;
    for (const QString &entry : uriEntries(snapshot.uriList)) {
        const auto url = absoluteUrl(entry);
        if (!url || !url->isFileURL()) {
            urlText = entry;
            break;
        }
    }
    if (urlText.isEmpty()) {
        if (const auto url = urlFromBlobs(snapshot.urls))
            urlText = url->absoluteString();
    }
    if (auto link = singleWebLink(urlText))
        calls.append(TavloIngest::AddUrl {*link});
    return calls;
}

// What a drop offers, copied out while its QMimeData is alive, and the rule that takes it.
std::pair<Rule, Snapshot> dropSnapshot(const QMimeData &data)
{
    Snapshot snapshot;
    Rule rule = Rule::none;
    // A URI list is one item per entry; the other formats then describe the same entries.
    if (data.hasFormat(kUriList)) {
        snapshot.uriList = data.data(kUriList);
        if (hasUriEntries(snapshot.uriList))
            rule = Rule::uriList;
    }
    if (rule == Rule::uriList || hasAny(data, {kMozUrl, kNetscapeUrl})) {
        // Fallbacks of the URL rule, used when the URL itself does not parse.
        snapshot.urls = urlBlobs(data);
        snapshot.texts = plainTexts(data);
        if (rule == Rule::none)
            rule = Rule::url;
    } else if (hasPlainText(data)) {
        snapshot.texts = plainTexts(data);
        rule = Rule::plainText;
    } else if (hasAny(data, kRtfFormats)) {
        snapshot.rtf = firstFormat(data, kRtfFormats);
        rule = Rule::rtf;
    } else if (data.hasFormat(kHtml)) {
        snapshot.html = data.data(kHtml);
        rule = Rule::html;
    } else if (hasAny(data, kImageFormats)) {
        snapshot.image = firstFormat(data, kImageFormats);
        rule = Rule::image;
    } else if (hasInProcessImage(data)) {
        snapshot.qimage = qvariant_cast<QImage>(data.imageData());
        rule = Rule::image;
    }
    return {rule, std::move(snapshot)};
}

Snapshot pasteSnapshot(const QMimeData &data)
{
    Snapshot snapshot;
    snapshot.uriList = data.data(kUriList);
    snapshot.gnomeCopiedFiles = data.data(kGnomeCopiedFiles);
    snapshot.urls = urlBlobs(data);
    snapshot.texts = plainTexts(data);
    snapshot.rtf = firstFormat(data, kRtfFormats);
    snapshot.html = data.data(kHtml);
    return snapshot;
}

} // namespace

TavloIngest::TavloIngest(TavloStore &store, QObject *parent)
    : QObject(parent), m_store(store), m_link(std::make_shared<Link>()), m_pool(new QThreadPool)
{
    m_link->owner = this;
    m_pool->setMaxThreadCount(2);
    m_drainTimer.setSingleShot(true);
    m_drainTimer.setInterval(0);
    connect(&m_drainTimer, &QTimer::timeout, this, &TavloIngest::drain);
}

TavloIngest::~TavloIngest()
{
    {
        QMutexLocker lock(&m_link->mutex);
        m_link->owner = nullptr;
    }
    m_pool->clear();
    if (m_pool->activeThreadCount() == 0) {
        delete m_pool;
        return;
    }
    // Quitting must not wait for Qt to finish reading a large drop. The pool stays reachable,
    // so its threads end with the process and nothing counts as leaked.
    static auto *abandoned = new QList<QThreadPool *>;
    abandoned->append(m_pool);
}

QStringList TavloIngest::acceptedFormats()
{
    QStringList formats {kUriList, kMozUrl, kNetscapeUrl, kPlainText};
    formats << kRtfFormats << kHtml << kImageFormats << kQtImage;
    return formats;
}

bool TavloIngest::canAccept(const QMimeData *data)
{
    if (!data)
        return false;
    QStringList formats = acceptedFormats();
    formats.removeAll(kQtImage);
    return hasAny(*data, formats) || hasPlainText(*data) || hasInProcessImage(*data);
}

bool TavloIngest::handleDrop(const QMimeData *data)
{
    if (!data)
        return false;
    auto [rule, snapshot] = dropSnapshot(*data);
    if (rule == Rule::none)
        return false;
    submit([rule = rule, snapshot = std::move(snapshot)]() mutable { return convertDrop(rule, snapshot); });
    return true;
}

void TavloIngest::pasteFromClipboard()
{
    if (const QMimeData *data = QGuiApplication::clipboard()->mimeData())
        pasteFromMimeData(*data);
}

void TavloIngest::pasteFromMimeData(const QMimeData &data)
{
    submit([snapshot = pasteSnapshot(data)]() mutable { return convertPaste(snapshot); });
}

QList<TavloIngest::Call> TavloIngest::convertNow(const QMimeData &data, bool paste)
{
    if (paste) {
        Snapshot snapshot = pasteSnapshot(data);
        return convertPaste(snapshot);
    }
    auto [rule, snapshot] = dropSnapshot(data);
    return convertDrop(rule, snapshot);
}

QStringList TavloIngest::pasteFormats()
{
    QStringList formats {kUriList, kGnomeCopiedFiles, kMozUrl, kNetscapeUrl, kHtml};
    formats << kRtfFormats;
    return formats;
}

bool TavloIngest::canPaste() const
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && canPaste(data->formats());
}

bool TavloIngest::canPaste(const QStringList &formats)
{
    const QStringList wanted = pasteFormats();
    return std::any_of(formats.begin(), formats.end(),
                       [&](const QString &f) { return wanted.contains(f) || isPlainTextFormat(f); });
}

bool TavloIngest::isIdle() const
{
    return m_jobsInFlight == 0 && m_pending.empty();
}

template<typename Work>
void TavloIngest::submit(Work work)
{
    ++m_jobsInFlight;
    m_pool->start([link = m_link, ticket = m_submitted++, work = std::move(work)]() mutable {
        QList<Call> calls = work();
        QMutexLocker lock(&link->mutex);
        if (TavloIngest *owner = link->owner) {
            QMetaObject::invokeMethod(
                owner,
                [owner, ticket, calls = std::move(calls)]() mutable {
                    owner->deliver(ticket, std::move(calls));
                },
                Qt::QueuedConnection);
        }
    });
}

void TavloIngest::deliver(quint64 ticket, QList<Call> calls)
{
    --m_jobsInFlight;
    m_finished.emplace(ticket, std::move(calls));
    for (auto next = m_finished.begin(); next != m_finished.end() && next->first == m_delivered;
         next = m_finished.erase(next), ++m_delivered) {
        for (Call &call : next->second)
            m_pending.push_back(std::move(call));
    }
    if (!m_drainTimer.isActive())
        drain();
}

void TavloIngest::drain()
{
    {
        // One list update and one write per slice, however many items it adds.
        TavloStore::ItemBatch batch(m_store);
        QElapsedTimer slice;
        slice.start();
        while (!m_pending.empty()) {
            Call call = std::move(m_pending.front());
            m_pending.pop_front();
            std::visit(
                [this](auto &c) {
                    using T = std::decay_t<decltype(c)>;
                    if constexpr (std::is_same_v<T, AddFile>)
                        m_store.addFile(c.url);
                    else if constexpr (std::is_same_v<T, AddUrl>)
                        m_store.addURL(c.url);
                    else if constexpr (std::is_same_v<T, AddText>)
                        m_store.addPreparedText(std::move(c.prepared));
                    else
                        Q_EMIT refused(c.message);
                },
                call);
            if (slice.elapsed() >= kSliceMs)
                break;
        }
    }
    if (!m_pending.empty())
        m_drainTimer.start();
    else if (m_jobsInFlight == 0)
        Q_EMIT idle();
}
