#include "model/TavloStore.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <cstdio>
#include <utility>

#include "model/PersistenceWorker.h"
#include "model/StoredTavloItem.h"
#include "platform/AppPaths.h"
#include "platform/DataFolderLock.h"
#include "platform/SaveStatus.h"
#include "richtext/Rtf.h"

namespace {

// Views, not copies: these run on every text, and texts can be 50 MB.
bool isBlank(const QString &text)
{
    return QStringView(text).trimmed().isEmpty();
}

bool isWebScheme(const QString &scheme)
{
    const QString lower = scheme.toLower();
    return lower == QLatin1String("http") || lower == QLatin1String("https");
}

constexpr qreal maxParagraphSpacing = 12;
constexpr qreal maxHeadIndent = 72;
constexpr qreal tamedHeadIndent = 24;

// The taming of sanitizeRichText, on a document of our own.
void sanitizeInPlace(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat original = block.blockFormat();
        QTextBlockFormat format = original;
        // Pasted lists and deep indents look wrong in a narrow snippet.
        if (block.textList())
            format.setObjectIndex(-1);
        format.setTopMargin(std::min(format.topMargin(), maxParagraphSpacing));
        format.setBottomMargin(std::min(format.bottomMargin(), maxParagraphSpacing));
        const qreal firstLine = format.leftMargin() + format.textIndent();
        if (format.leftMargin() > maxHeadIndent)
            format.setLeftMargin(tamedHeadIndent);
        if (firstLine > maxHeadIndent)
            format.setTextIndent(0);
        else
            format.setTextIndent(firstLine - format.leftMargin());
        if (format != original)
            QTextCursor(block).setBlockFormat(format);
    }

    // Object replacement characters that carry no object are left over from dropped attachments.
    QList<int> orphans;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().objectType() != QTextFormat::NoObject)
                continue;
            const QString text = fragment.text();
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text[i] == QChar::ObjectReplacementCharacter)
                    orphans.append(fragment.position() + int(i));
            }
        }
    }
    QTextCursor cursor(&document);
    for (auto it = orphans.crbegin(); it != orphans.crend(); ++it) {
        cursor.setPosition(*it);
        cursor.setPosition(*it + 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}

bool isBlockBreak(char16_t u)
{
    return u == u'\r' || u == u'\n' || u == QChar::ParagraphSeparator || u == 0xfdd0 || u == 0xfdd1;
}

// The characters a document made by setPlainText() would hold: every paragraph break as '\n'
// and no object replacement character, since there is no object. Line separators stay, so
// the RTF keeps them as line breaks. In place: a large text is not copied.
void normalizePlainText(QString &text)
{
    const auto needsWork = [](QChar c) {
        const char16_t u = c.unicode();
        return (u != u'\n' && isBlockBreak(u)) || u == QChar::ObjectReplacementCharacter;
    };
    const auto first = std::find_if(text.cbegin(), text.cend(), needsWork);
    if (first == text.cend())
        return;
    qsizetype out = first - text.cbegin();
    QChar *chars = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = out; i < n; ++i) {
        const char16_t u = chars[i].unicode();
        if (u == QChar::ObjectReplacementCharacter)
            continue;
        if (u == u'\r' && i + 1 < n && chars[i + 1] == u'\n')
            continue; // the '\n' that follows stands for both
        chars[out++] = isBlockBreak(u) ? QChar(u'\n') : chars[i];
    }
    text.truncate(out);
}

// What addRichText does with the sanitized document, on any thread.
TavloStore::PreparedText prepareDocument(std::unique_ptr<QTextDocument> document)
{
    sanitizeInPlace(*document);
    const RichText cleaned(std::move(document));
    QString s = cleaned.string();
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (isBlank(s))
        return std::monostate();
    if (auto link = TavloStore::linkFromText(s))
        return std::move(*link);
    return makeRichTextPayload(cleaned);
}

} // namespace

TavloStore::TavloStore(QObject *parent) : TavloStore(LoadLater {}, parent)
{
    finishLoading();
}

TavloStore::TavloStore(LoadLater, QObject *parent)
    : QObject(parent), m_persistenceWorker(std::make_unique<PersistenceWorker>())
{
    // Changes are written as they happen; at quit only the queue needs to drain.
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (waitForPendingWrites())
                return;
            const QStringList unsaved = m_persistenceWorker->unsaved();
            if (unsaved.isEmpty())
                return;
            const QString failure = m_persistenceWorker->failure();
            std::fprintf(stderr, "quorvin: not saved: %s (%s, in %s)\n", qPrintable(unsaved.join(u", ")),
                         qPrintable(failure.isEmpty() ? QStringLiteral("still writing") : failure),
                         qPrintable(AppPaths::dataFolder()));
        });
}

void TavloStore::finishLoading()
{
    if (m_dataLock)
        return;
    auto preloaded = StoreFiles::takePreloaded();
    StoreFiles::Loaded loaded = preloaded ? std::move(*preloaded) : StoreFiles::load();
    m_activeTavloID = loaded.defaultTavloID;
    m_dataLock = std::move(loaded.lock);
    if (!m_dataLock->owned()) {
        // Loading would show a state the owner is about to change; writing would undo its work.
        std::fprintf(stderr, "quorvin: %s: items are neither loaded nor saved\n",
                     qPrintable(m_dataLock->reason()));
        SaveStatus::instance().report(QStringLiteral("data folder"), m_dataLock->reason(),
                                      AppPaths::dataFolder());
    }
    m_loaded = &loaded;
    loadTavlos(m_activeTavloID);
    loadItems();
    restoreActiveTavlo();
    m_loaded = nullptr;
    refreshVisibleItems();
}

TavloStore::~TavloStore()
{
    // The worker's destructor writes whatever is still queued before its thread ends.
    m_persistenceWorker.reset();
    m_dataLock.reset();
}

QString TavloStore::activeTavloName() const
{
    for (const auto &tavlo : m_tavlos) {
        if (tavlo.id == m_activeTavloID)
            return tavlo.name;
    }
    return QStringLiteral("Home");
}

bool TavloStore::ownsData() const
{
    return m_dataLock && m_dataLock->owned();
}

bool TavloStore::waitForPendingWrites(int timeoutMs)
{
    return m_persistenceWorker->waitForIdle(timeoutMs);
}

// ---- Loading and writing ----

void TavloStore::loadTavlos(const QUuid &defaultID)
{
    std::optional<QList<StoredTavloDefinition>> decoded = std::move(m_loaded->tavlos);
    if (m_loaded->tavlosBytes && !m_loaded->tavlosBytes->isEmpty())
        m_persistenceWorker->preserveBeforeOverwrite(m_tavlosKey, *m_loaded->tavlosBytes,
                                                     QStringLiteral("Tavlos"));
    m_persistenceWorker->setStoredTavlos(decoded.value_or(QList<StoredTavloDefinition>()));
    if (decoded && !decoded->isEmpty()) {
        if (decoded->first().name == QLatin1String("Current"))
            (*decoded)[0].name = QStringLiteral("Home");
        m_tavlos = *decoded;
    } else {
        m_tavlos = {StoredTavloDefinition {defaultID, QStringLiteral("Home")}};
    }
    Q_EMIT tavlosChanged();
    persistTavlos();
}

void TavloStore::loadItems()
{
    std::optional<StoreFiles::LoadedItems> loaded = std::move(m_loaded->items);
    m_loaded->items.reset();
    // The stored list stays as it is until the next change, which replaces it; keep a copy.
    if (m_loaded->itemsBytes && !m_loaded->itemsBytes->isEmpty())
        m_persistenceWorker->preserveBeforeOverwrite(m_defaultsKey, *m_loaded->itemsBytes,
                                                     QStringLiteral("StoredItems"));
    for (const auto &tavlo : std::as_const(m_tavlos))
        m_allItemsByTavlo.insert(tavlo.id, {});
    if (!loaded)
        return;
    // The loader filed the items under the same tavlos this store has just taken.
    m_allItemsByTavlo = std::move(loaded->byTavlo);
    for (const auto &[tavlo, index] : std::as_const(loaded->plainTextOnly)) {
        auto &text = std::get<TextItemKind>(m_allItemsByTavlo[tavlo][index].kind);
        text.payload = makeRichTextPayload(RichText::fromPlainText(text.payload.plainText));
    }
    // The write after loading only cleans up; it is left out when it would change nothing.
    if (loaded->cleaned)
        persistItems();
}

void TavloStore::restoreActiveTavlo()
{
    if (const auto &stored = m_loaded->active) {
        const auto id = StoredJson::parseUuid(QString::fromUtf8(*stored));
        if (id) {
            for (const auto &tavlo : std::as_const(m_tavlos)) {
                if (tavlo.id == *id) {
                    m_activeTavloID = *id;
                    Q_EMIT activeTavloIDChanged();
                    return;
                }
            }
        }
    }
    if (!m_tavlos.isEmpty()) {
        m_activeTavloID = m_tavlos.first().id;
        Q_EMIT activeTavloIDChanged();
    }
}

void TavloStore::persistTavlos()
{
    if (!ownsData())
        return;
    m_persistenceWorker->submitTavlos(m_tavlos);
}

void TavloStore::persistItems()
{
    if (m_batchDepth > 0) {
        m_batchPersist = true;
        return;
    }
    if (!ownsData())
        return;
    ItemsSnapshot snapshot;
    snapshot.tavloOrder.reserve(m_tavlos.size());
    for (const auto &tavlo : std::as_const(m_tavlos))
        snapshot.tavloOrder.append(tavlo.id);
    snapshot.itemsByTavlo = m_allItemsByTavlo;
    m_persistenceWorker->submitItems(std::move(snapshot));
}

void TavloStore::refreshVisibleItems()
{
    m_items = m_allItemsByTavlo.value(m_activeTavloID);
    m_activeFileURLsValid = false;
    publishItems();
}

void TavloStore::publishItems()
{
    if (m_batchDepth > 0)
        m_batchPublish = true;
    else
        Q_EMIT itemsChanged();
}

TavloStore::ItemBatch::ItemBatch(TavloStore &store) : m_store(store)
{
    ++m_store.m_batchDepth;
}

TavloStore::ItemBatch::~ItemBatch()
{
    if (--m_store.m_batchDepth > 0)
        return;
    // Same order as a single operation: publish, then commit and write.
    if (std::exchange(m_store.m_batchPublish, false))
        Q_EMIT m_store.itemsChanged();
    m_store.commitBatchedItems();
    if (std::exchange(m_store.m_batchPersist, false))
        m_store.persistItems();
}

void TavloStore::commit()
{
    // In a batch the map is left alone: sharing `m_items` with it would make every append
    // copy the whole list.
    if (m_batchDepth > 0) {
        m_batchCommit = true;
        return;
    }
    m_allItemsByTavlo[m_activeTavloID] = m_items;
    persistItems();
}

// Before the active tavlo changes or the map is read, what a batch appended goes in.
void TavloStore::commitBatchedItems()
{
    if (!std::exchange(m_batchCommit, false))
        return;
    m_allItemsByTavlo[m_activeTavloID] = m_items;
    persistItems();
}

void TavloStore::appendItem(TavloItemKind kind)
{
    m_items.append(TavloItem {QUuid::createUuid(), std::move(kind)});
    publishItems();
    commit();
}

// ---- Tavlos ----

void TavloStore::selectTavlo(const QUuid &id)
{
    commitBatchedItems();
    const bool known =
        std::any_of(m_tavlos.cbegin(), m_tavlos.cend(), [&](const auto &t) { return t.id == id; });
    if (!known)
        return;
    m_activeTavloID = id;
    Q_EMIT activeTavloIDChanged();
    if (ownsData())
        m_persistenceWorker->submitActiveTavlo(id);
    refreshVisibleItems();
}

void TavloStore::createTavlo(const QString &name)
{
    commitBatchedItems();
    const PersistenceWorker::Together together(*m_persistenceWorker);
    QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        trimmed = QStringLiteral("New Tavlo");
    const QUuid id = QUuid::createUuid();
    m_tavlos.append({id, trimmed});
    Q_EMIT tavlosChanged();
    m_allItemsByTavlo.insert(id, {});
    persistTavlos();
    selectTavlo(id);
}

void TavloStore::renameActiveTavlo(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return;
    for (auto &tavlo : m_tavlos) {
        if (tavlo.id == m_activeTavloID) {
            tavlo.name = trimmed;
            Q_EMIT tavlosChanged();
            persistTavlos();
            return;
        }
    }
}

void TavloStore::deleteActiveTavlo()
{
    commitBatchedItems();
    // The tavlo list without the tavlo and the item list without its items go out in one sync,
    // else a crash between them would load the deleted items into the first tavlo.
    const PersistenceWorker::Together together(*m_persistenceWorker);
    if (m_tavlos.size() < 2)
        return;
    qsizetype index = -1;
    for (qsizetype i = 0; i < m_tavlos.size(); ++i) {
        if (m_tavlos[i].id == m_activeTavloID) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return;
    m_tavlos.removeAt(index);
    Q_EMIT tavlosChanged();
    m_allItemsByTavlo.remove(m_activeTavloID);
    m_activeTavloID = m_tavlos[std::min(index, m_tavlos.size() - 1)].id;
    Q_EMIT activeTavloIDChanged();
    persistTavlos();
    persistItems();
    selectTavlo(m_activeTavloID);
}

// ---- Items ----

void TavloStore::addFile(const TavloUrl &url)
{
    const TavloUrl standardized = url.standardizedFileURL();
    if (!m_activeFileURLsValid) {
        m_activeFileURLs.clear();
        for (const TavloItem &item : std::as_const(m_items)) {
            if (const auto *file = std::get_if<FileItemKind>(&item.kind))
                m_activeFileURLs.insert(file->url.standardizedFileURL().absoluteString());
        }
        m_activeFileURLsValid = true;
    }
    if (m_activeFileURLs.contains(standardized.absoluteString()))
        return;
    m_activeFileURLs.insert(standardized.absoluteString());
    appendItem(FileItemKind {standardized, QByteArray()});
}

void TavloStore::addURL(const TavloUrl &url, const std::optional<QString> &title)
{
    if (!isWebScheme(url.scheme()))
        return;
    for (const TavloItem &item : std::as_const(m_items)) {
        const auto *link = std::get_if<UrlItemKind>(&item.kind);
        if (link && link->url == url)
            return;
    }
    appendItem(UrlItemKind {url, normalizedTitle(title)});
}

void TavloStore::addText(const QString &text)
{
    addPreparedText(prepareText(text));
}

void TavloStore::addRichText(const RichText &richText)
{
    addPreparedText(prepareRichText(richText));
}

TavloStore::PreparedText TavloStore::prepareText(QString text)
{
    normalizePlainText(text);
    if (isBlank(text))
        return std::monostate();
    if (auto link = linkFromText(text))
        return std::move(*link);
    QByteArray rtf = Rtf::writePlainText(text);
    std::replace(text.begin(), text.end(), QChar(QChar::LineSeparator), QChar(u'\n'));
    return RichTextPayload {std::move(rtf), std::move(text)};
}

TavloStore::PreparedText TavloStore::prepareRichText(const RichText &richText)
{
    return prepareDocument(richText.toDocument());
}

void TavloStore::addPreparedText(PreparedText prepared)
{
    if (auto *link = std::get_if<TavloUrl>(&prepared))
        addURL(*link);
    else if (auto *payload = std::get_if<RichTextPayload>(&prepared))
        appendItem(TextItemKind {std::move(*payload), std::nullopt});
}

void TavloStore::removeItem(const QUuid &id)
{
    m_items.removeIf([&](const TavloItem &item) { return item.id == id; });
    m_activeFileURLsValid = false;
    publishItems();
    commit();
}

void TavloStore::renameItem(const QUuid &id, const QString &title)
{
    const auto it =
        std::find_if(m_items.begin(), m_items.end(), [&](const TavloItem &i) { return i.id == id; });
    if (it == m_items.end())
        return;
    const std::optional<QString> newTitle = normalizedTitle(title);
    if (it->isFile())
        return;
    TavloItem renamed = *it;
    if (auto *text = std::get_if<TextItemKind>(&renamed.kind))
        text->title = newTitle;
    else if (auto *link = std::get_if<UrlItemKind>(&renamed.kind))
        link->title = newTitle;
    *it = std::move(renamed);
    publishItems();
    commit();
}

void TavloStore::updateItemText(const QUuid &id, const RichText &richText)
{
    const auto it =
        std::find_if(m_items.begin(), m_items.end(), [&](const TavloItem &i) { return i.id == id; });
    if (it == m_items.end())
        return;
    const auto *text = std::get_if<TextItemKind>(&it->kind);
    if (!text)
        return;
    it->kind = TextItemKind {makeRichTextPayload(richText), text->title};
    publishItems();
    commit();
}

void TavloStore::clearActiveTavlo()
{
    m_items.clear();
    m_activeFileURLsValid = false;
    publishItems();
    commit();
}

// ---- Text helpers ----

std::optional<TavloUrl> TavloStore::linkFromText(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    if (std::any_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isSpace(); }))
        return std::nullopt;
    auto url = TavloUrl::parse(trimmed.toString());
    if (!url || url->scheme().isEmpty() || !isWebScheme(url->scheme()))
        return std::nullopt;
    return url;
}

std::optional<QString> TavloStore::normalizedTitle(const std::optional<QString> &title)
{
    if (!title)
        return std::nullopt;
    const QString trimmed = title->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

RichText TavloStore::sanitizeRichText(const RichText &richText)
{
    auto document = richText.toDocument();
    sanitizeInPlace(*document);
    return RichText(std::move(document));
}
