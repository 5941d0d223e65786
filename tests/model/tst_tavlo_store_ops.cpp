#include <QJsonObject>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>

#include <functional>
#include <future>

#include "StoreTestSupport.h"

using namespace StoreTest;

namespace {

TavloUrl url(const char *text)
{
    return *TavloUrl::parse(QString::fromUtf8(text));
}

quint64 itemWrites(const TavloStore &store)
{
    return store.persistenceWorker().stats().itemSnapshotsSubmitted;
}

quint64 valueWrites(const TavloStore &store)
{
    return store.persistenceWorker().stats().valuesSubmitted;
}

// Pasted rich text with everything the store tames: wide spacing, deep indents, a list, an
// orphan object character and an image.
RichText pastedRichText()
{
    auto doc = std::make_unique<QTextDocument>();
    QTextCursor cursor(doc.get());
    QTextBlockFormat spaced;
    spaced.setTopMargin(30);
    spaced.setBottomMargin(30);
    spaced.setLeftMargin(100);
    cursor.setBlockFormat(spaced);
    cursor.insertText(QStringLiteral("deep"));
    QTextBlockFormat firstLine;
    firstLine.setLeftMargin(50);
    firstLine.setTextIndent(30);
    cursor.insertBlock(firstLine);
    cursor.insertText(QStringLiteral("first line"));
    cursor.insertBlock(QTextBlockFormat());
    cursor.createList(QTextListFormat::ListDisc);
    cursor.insertText(QStringLiteral("bullet"));
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QStringLiteral("a\uFFFCb"));
    QTextImageFormat image;
    image.setName(QStringLiteral("picture.png"));
    cursor.insertImage(image);
    return RichText(std::move(doc));
}

// What one add did: the items' kinds, the signals, the writes and the stored records (ids
// left out, they are fresh each time).
struct AddOutcome
{
    QList<TavloItemKind> kinds;
    QStringList signalNames;
    quint64 itemWrites = 0;
    QJsonArray records;
};

AddOutcome addOutcome(const std::function<void(TavloStore &)> &add)
{
    resetSettings();
    TavloStore store;
    SignalLog log(store);
    add(store);
    AddOutcome outcome;
    for (const TavloItem &item : store.items())
        outcome.kinds.append(item.kind);
    outcome.signalNames = log.names;
    outcome.itemWrites = itemWrites(store);
    if (!store.waitForPendingWrites())
        return outcome;
    for (const QJsonValue &value : storedArray(itemsKey)) {
        QJsonObject record = value.toObject();
        record.remove(QStringLiteral("id"));
        record.remove(QStringLiteral("tavloID"));
        outcome.records.append(record);
    }
    return outcome;
}

} // namespace

// The store's operations: what they change, what they publish and what they write.
class TestTavloStoreOps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetSettings(); }

    void firstLaunch()
    {
        TavloStore store;
        QCOMPARE(store.tavlos().size(), 1);
        QCOMPARE(store.tavlos().first().name, QStringLiteral("Home"));
        QCOMPARE(store.activeTavloID(), store.tavlos().first().id);
        QCOMPARE(store.activeTavloName(), QStringLiteral("Home"));
        QVERIFY(store.items().isEmpty());
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(tavlosKey).size(), 1);
        QVERIFY(!stored(itemsKey).isValid());
        QVERIFY(!stored(activeKey).isValid());
    }

    void createAndSelect()
    {
        TavloStore store;
        SignalLog log(store);
        store.createTavlo(QStringLiteral(" \n "));
        QCOMPARE(log.names, (QStringList {"tavlos", "activeTavloID", "items"}));
        QCOMPARE(store.tavlos().size(), 2);
        QCOMPARE(store.tavlos().last().name, QStringLiteral("New Tavlo"));
        QCOMPARE(store.activeTavloID(), store.tavlos().last().id);
        QVERIFY(visibleMatchesMap(store));

        store.createTavlo(QStringLiteral("  Work  "));
        QCOMPARE(store.activeTavloName(), QStringLiteral("Work"));
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(stored(activeKey).toString(), uuidString(store.activeTavloID()));
        QCOMPARE(storedArray(tavlosKey).size(), 3);

        // Selecting an unknown tavlo changes nothing and writes nothing.
        const quint64 before = valueWrites(store);
        log.names.clear();
        store.selectTavlo(QUuid::createUuid());
        QVERIFY(log.names.isEmpty());
        QCOMPARE(valueWrites(store), before);

        const QUuid home = store.tavlos().first().id;
        store.selectTavlo(home);
        QCOMPARE(log.names, (QStringList {"activeTavloID", "items"}));
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(stored(activeKey).toString(), uuidString(home));
        QCOMPARE(itemWrites(store), quint64(0));
    }

    void renameActiveTavlo()
    {
        TavloStore store;
        SignalLog log(store);
        const quint64 before = valueWrites(store);
        store.renameActiveTavlo(QStringLiteral("\t "));
        QCOMPARE(store.activeTavloName(), QStringLiteral("Home"));
        QCOMPARE(valueWrites(store), before);
        store.renameActiveTavlo(QStringLiteral("  Desk "));
        QCOMPARE(store.activeTavloName(), QStringLiteral("Desk"));
        QCOMPARE(log.names, QStringList {"tavlos"});
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(tavlosKey).first().toObject().value("name").toString(), QStringLiteral("Desk"));
    }

    void deleteActiveTavlo_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("active");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<QString>("expectedActive");
        QTest::newRow("last active") << 3 << 2 << QStringList {"A", "B"} << "B";
        QTest::newRow("first active") << 3 << 0 << QStringList {"B", "C"} << "B";
        QTest::newRow("middle active") << 3 << 1 << QStringList {"A", "C"} << "C";
        QTest::newRow("only one") << 1 << 0 << QStringList {"A"} << "A";
    }

    void deleteActiveTavlo()
    {
        QFETCH(int, count);
        QFETCH(int, active);
        QFETCH(QStringList, expectedNames);
        QFETCH(QString, expectedActive);

        TavloStore store;
        store.renameActiveTavlo(QStringLiteral("A"));
        for (int i = 1; i < count; ++i)
            store.createTavlo(QString(QChar(u'A' + i)));
        for (int i = 0; i < count; ++i) {
            store.selectTavlo(store.tavlos()[i].id);
            store.addText(QStringLiteral("item of %1").arg(i));
        }
        const QUuid doomed = store.tavlos()[active].id;
        store.selectTavlo(doomed);
        const quint64 itemsBefore = itemWrites(store);
        SignalLog log(store);
        store.deleteActiveTavlo();

        QStringList names;
        for (const auto &t : store.tavlos())
            names.append(t.name);
        QCOMPARE(names, expectedNames);
        QCOMPARE(store.activeTavloName(), expectedActive);
        QVERIFY(visibleMatchesMap(store));
        QCOMPARE(store.items().size(), 1);
        if (count == 1) {
            QVERIFY(log.names.isEmpty());
            QCOMPARE(itemWrites(store), itemsBefore);
            return;
        }
        QVERIFY(!store.allItemsByTavlo().contains(doomed));
        QCOMPARE(log.names, (QStringList {"tavlos", "activeTavloID", "activeTavloID", "items"}));
        QCOMPARE(itemWrites(store), itemsBefore + 1);
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(itemsKey).size(), count - 1);
        QCOMPARE(stored(activeKey).toString(), uuidString(store.activeTavloID()));
    }

    void addFileDeduplicates()
    {
        TavloStore store;
        store.addFile(url("file:///tmp/report.pdf"));
        store.addFile(url("file:///tmp/./x/../report.pdf"));
        QCOMPARE(store.items().size(), 1);
        const auto &file = std::get<FileItemKind>(store.items().first().kind);
        QCOMPARE(file.url.absoluteString(), QStringLiteral("file:///tmp/report.pdf"));
        QVERIFY(file.bookmark.isEmpty());

        store.addFile(url("file:///tmp/x/../other.pdf"));
        QCOMPARE(std::get<FileItemKind>(store.items().last().kind).url.absoluteString(),
                 QStringLiteral("file:///tmp/other.pdf"));

        const QUuid firstId = store.items().first().id;
        store.createTavlo(QStringLiteral("Second"));
        store.addFile(url("file:///tmp/report.pdf"));
        QCOMPARE(store.items().size(), 1);
        QVERIFY(store.items().first().id != firstId);
        QVERIFY(visibleMatchesMap(store));

        // Back on the first tavlo its files still count as present; once removed or cleared,
        // the same file can come back.
        store.selectTavlo(store.tavlos().first().id);
        store.addFile(url("file:///tmp/report.pdf"));
        QCOMPARE(store.items().size(), 2);
        store.removeItem(firstId);
        store.addFile(url("file:///tmp/report.pdf"));
        QCOMPARE(store.items().size(), 2);
        QCOMPARE(std::get<FileItemKind>(store.items().last().kind).url.absoluteString(),
                 QStringLiteral("file:///tmp/report.pdf"));
        store.clearActiveTavlo();
        store.addFile(url("file:///tmp/report.pdf"));
        QCOMPARE(store.items().size(), 1);
        QVERIFY(visibleMatchesMap(store));
    }

    void addURL()
    {
        TavloStore store;
        const quint64 before = itemWrites(store);
        store.addURL(url("https://example.com/a"));
        store.addURL(url("https://example.com/a"), QStringLiteral("ignored"));
        store.addURL(url("HTTPS://example.com/a"));
        store.addURL(url("ftp://example.com/a"));
        store.addURL(url("mailto:a@example.com"));
        store.addURL(url("example.com/a"));
        QCOMPARE(store.items().size(), 2);
        QCOMPARE(itemWrites(store), before + 2);
        QVERIFY(!store.items().first().title());

        store.addURL(url("http://b.example"), QStringLiteral("   "));
        QVERIFY(!store.items().last().title());
        store.addURL(url("http://c.example"), QStringLiteral("  word \n"));
        QCOMPARE(store.items().last().title(), std::optional<QString>(QStringLiteral("word")));
    }

    void addText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind"); // -1: nothing added
        QTest::addColumn<QString>("content");
        QTest::newRow("link with spaces") << "  https://example.com/x \n" << 2 << "https://example.com/x";
        QTest::newRow("upper-case link") << "HTTP://EXAMPLE.COM" << 2 << "HTTP://EXAMPLE.COM";
        QTest::newRow("word and link") << "see https://example.com" << 1 << "see https://example.com";
        QTest::newRow("two links") << "https://a.example\nhttps://b.example" << 1
                                   << "https://a.example\nhttps://b.example";
        QTest::newRow("other scheme") << "ftp://example.com" << 1 << "ftp://example.com";
        QTest::newRow("untrimmed text kept") << "  hello  " << 1 << "  hello  ";
        QTest::newRow("blank") << " \n\t \u2003" << -1 << "";
        QTest::newRow("empty") << "" << -1 << "";
    }

    void addText()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, content);
        TavloStore store;
        store.addText(text);
        if (kind < 0) {
            QVERIFY(store.items().isEmpty());
            QCOMPARE(itemWrites(store), quint64(0));
            return;
        }
        QCOMPARE(store.items().size(), 1);
        const TavloItem &item = store.items().first();
        QCOMPARE(int(item.kind.index()), kind);
        if (kind == 2)
            QCOMPARE(std::get<UrlItemKind>(item.kind).url.absoluteString(), content);
        else
            QCOMPARE(std::get<TextItemKind>(item.kind).payload.plainText, content);
        QVERIFY(!item.title());

        // Text is never de-duplicated; links are.
        store.addText(text);
        QCOMPARE(store.items().size(), kind == 1 ? 2 : 1);
    }

    void addRichTextSanitizes()
    {
        const RichText cleaned = TavloStore::sanitizeRichText(pastedRichText());
        const QTextDocument &out = cleaned.document();
        const QTextBlockFormat b0 = out.findBlockByNumber(0).blockFormat();
        QCOMPARE(b0.topMargin(), 12.0);
        QCOMPARE(b0.bottomMargin(), 12.0);
        QCOMPARE(b0.leftMargin(), 24.0);
        QCOMPARE(b0.leftMargin() + b0.textIndent(), 24.0);
        const QTextBlockFormat b1 = out.findBlockByNumber(1).blockFormat();
        QCOMPARE(b1.leftMargin(), 50.0);
        QCOMPARE(b1.leftMargin() + b1.textIndent(), 50.0);
        QVERIFY(!out.findBlockByNumber(2).textList());
        // The orphan is gone, the image's own character stays.
        QCOMPARE(out.findBlockByNumber(3).text(), QStringLiteral("ab\uFFFC"));
    }

    void addRichTextBlankOrLink()
    {
        TavloStore store;
        store.addRichText(RichText::fromPlainText(QStringLiteral("\uFFFC \uFFFC\n ")));
        QVERIFY(store.items().isEmpty());
        store.addRichText(RichText::fromPlainText(QStringLiteral(" https://example.com\r\n")));
        QCOMPARE(store.items().size(), 1);
        QVERIFY(store.items().first().isUrl());
        store.addRichText(RichText::fromPlainText(QStringLiteral("line\r\nline")));
        QVERIFY(store.items().last().isText());
    }

    // The ingest prepares text on a worker and hands over only the result; the store must end
    // up exactly as after adding the text as a document on the GUI thread, although a plain
    // text never becomes one.
    void preparedTextMatchesDirectAdd_data()
    {
        QTest::addColumn<QString>("text"); // empty: the pasted rich text
        QTest::addColumn<bool>("asRichText");
        QTest::newRow("words") << "  two\r\nlines \uFFFC" << false;
        QTest::newRow("every break, escapes, scripts")
            << "a{b}\\c\td\re\u2029f\u2028g\ufdd0h\n\n\u4e2d\u6587 caf\u00e9 \U0001F600\x01" << false;
        QTest::newRow("link") << " https://example.com/x\n" << false;
        QTest::newRow("other scheme") << "ftp://example.com" << false;
        QTest::newRow("blank") << " \n\t" << false;
        QTest::newRow("rich link after crlf") << "https://example.com\r\n" << true;
        QTest::newRow("rich orphans only") << "\uFFFC \uFFFC\n " << true;
        QTest::newRow("pasted rich text") << "" << true;
    }

    void preparedTextMatchesDirectAdd()
    {
        QFETCH(QString, text);
        QFETCH(bool, asRichText);
        const auto rich = [&] {
            return text.isEmpty() ? pastedRichText() : RichText::fromPlainText(text);
        };
        const AddOutcome direct = addOutcome([&](TavloStore &store) { store.addRichText(rich()); });
        const AddOutcome prepared = addOutcome([&](TavloStore &store) {
            // As in a drop, the document is made and read on the worker alone.
            auto onWorker = std::async(std::launch::async, [&] {
                return asRichText ? TavloStore::prepareRichText(rich()) : TavloStore::prepareText(text);
            });
            store.addPreparedText(onWorker.get());
        });
        QCOMPARE(prepared.kinds, direct.kinds);
        QCOMPARE(prepared.signalNames, direct.signalNames);
        QCOMPARE(prepared.itemWrites, direct.itemWrites);
        QCOMPARE(prepared.records, direct.records);
    }

    void itemBatchPublishesAndWritesOnce()
    {
        TavloStore store;
        SignalLog log(store);
        QVERIFY(store.waitForPendingWrites());
        const quint64 before = itemWrites(store);
        {
            TavloStore::ItemBatch outer(store);
            {
                TavloStore::ItemBatch inner(store);
                store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")));
                store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/./a.txt"))); // duplicate
            }
            store.addURL(url("https://example.com"));
            store.addText(QStringLiteral("note"));
            // Each operation has run: later ones see earlier ones, nothing is published yet.
            QCOMPARE(store.items().size(), 3);
            QVERIFY(log.names.isEmpty());
            QCOMPARE(itemWrites(store), before);
        }
        QCOMPARE(log.names, QStringList {"items"});
        QVERIFY(visibleMatchesMap(store));
        QCOMPARE(itemWrites(store), before + 1);
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(itemsKey).size(), 3);

        // A batch in which nothing qualifies publishes and writes nothing.
        log.names.clear();
        {
            TavloStore::ItemBatch batch(store);
            store.addText(QStringLiteral("  "));
            store.addURL(url("https://example.com"));
        }
        QVERIFY(log.names.isEmpty());
        QCOMPARE(itemWrites(store), before + 1);

        // Switching tavlos inside a batch keeps what was added to each.
        const QUuid home = store.activeTavloID();
        {
            TavloStore::ItemBatch batch(store);
            store.addText(QStringLiteral("home 4"));
            store.createTavlo(QStringLiteral("Other"));
            store.addText(QStringLiteral("other 1"));
        }
        QVERIFY(visibleMatchesMap(store));
        QCOMPARE(store.items().size(), 1);
        QCOMPARE(store.allItemsByTavlo().value(home).size(), 4);
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(itemsKey).size(), 5);
    }

    void removeItem()
    {
        TavloStore store;
        store.addText(QStringLiteral("a"));
        store.addText(QStringLiteral("b"));
        store.addText(QStringLiteral("c"));
        const QUuid middle = store.items()[1].id;
        const quint64 before = itemWrites(store);
        SignalLog log(store);
        store.removeItem(middle);
        QCOMPARE(store.items().size(), 2);
        QCOMPARE(std::get<TextItemKind>(store.items()[1].kind).payload.plainText, QStringLiteral("c"));
        store.removeItem(QUuid::createUuid());
        QCOMPARE(store.items().size(), 2);
        QCOMPARE(itemWrites(store), before + 2);
        QCOMPARE(log.names, (QStringList {"items", "items"}));
        QVERIFY(visibleMatchesMap(store));
    }

    void renameItem()
    {
        TavloStore store;
        store.addURL(url("https://example.com"), QStringLiteral("Old"));
        store.addFile(url("file:///tmp/a"));
        store.addText(QStringLiteral("snippet"));
        const auto ids = QList<QUuid> {store.items()[0].id, store.items()[1].id, store.items()[2].id};

        store.renameItem(ids[0], QStringLiteral("   "));
        QVERIFY(!store.items()[0].title());
        QCOMPARE(std::get<UrlItemKind>(store.items()[0].kind).url.absoluteString(),
                 QStringLiteral("https://example.com"));

        const TavloItem fileBefore = store.items()[1];
        const quint64 before = itemWrites(store);
        store.renameItem(ids[1], QStringLiteral("name"));
        store.renameItem(QUuid::createUuid(), QStringLiteral("name"));
        QCOMPARE(store.items()[1], fileBefore);
        QCOMPARE(itemWrites(store), before);

        const RichTextPayload payload = std::get<TextItemKind>(store.items()[2].kind).payload;
        store.renameItem(ids[2], QStringLiteral(" Label "));
        QCOMPARE(store.items()[2].title(), std::optional<QString>(QStringLiteral("Label")));
        QCOMPARE(std::get<TextItemKind>(store.items()[2].kind).payload, payload);
        QCOMPARE(store.items()[2].id, ids[2]);
        QVERIFY(visibleMatchesMap(store));
    }

    void updateItemText()
    {
        TavloStore store;
        store.addText(QStringLiteral("before"));
        store.addURL(url("https://example.com"));
        const QUuid textId = store.items()[0].id;
        store.renameItem(textId, QStringLiteral("Label"));

        const quint64 before = itemWrites(store);
        store.updateItemText(store.items()[1].id, RichText::fromPlainText(QStringLiteral("x")));
        store.updateItemText(QUuid::createUuid(), RichText::fromPlainText(QStringLiteral("x")));
        QCOMPARE(itemWrites(store), before);

        // Edits are not sanitized and keep the label.
        store.updateItemText(textId, RichText::fromPlainText(QStringLiteral("after \uFFFC")));
        const auto &text = std::get<TextItemKind>(store.items()[0].kind);
        QCOMPARE(text.payload.plainText, QStringLiteral("after \uFFFC"));
        QCOMPARE(text.title, std::optional<QString>(QStringLiteral("Label")));
        store.updateItemText(textId, RichText::fromPlainText(QStringLiteral("after \uFFFC")));
        QCOMPARE(itemWrites(store), before + 2);
    }

    void clearActiveTavloKeepsOthers()
    {
        TavloStore store;
        store.addText(QStringLiteral("home item"));
        store.createTavlo(QStringLiteral("Other"));
        store.addText(QStringLiteral("other item"));
        store.clearActiveTavlo();
        QVERIFY(store.items().isEmpty());
        QCOMPARE(store.allItemsByTavlo().value(store.tavlos().first().id).size(), 1);
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(storedArray(itemsKey).size(), 1);
    }

    void linkFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");
        const auto row = [](const char *name, const QString &text, const char *link = "") {
            QTest::newRow(name) << text << QString(link);
        };
        row("plain", "https://a.example", "https://a.example");
        row("trimmed", "\n http://a.example/p?q \t", "http://a.example/p?q");
        row("inner space", "https://a.example/ x");
        row("inner ideographic space", "https://a.example/\u3000x");
        row("no scheme", "a.example");
        row("other scheme", "file:///tmp");
        row("not a url", "https://a.example/%");
    }

    void linkFromText()
    {
        QFETCH(QString, text);
        QFETCH(QString, link);
        const auto result = TavloStore::linkFromText(text);
        QCOMPARE(result ? result->absoluteString() : QString(), link);
    }
};

QTEST_MAIN(TestTavloStoreOps)
#include "tst_tavlo_store_ops.moc"
