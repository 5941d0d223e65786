#include <QJsonDocument>
#include <QTest>

#include "model/StoredTavloItem.h"

namespace {

const char *const validItem =
    "{\"id\":\"AAAAAAAA-0000-4000-8000-000000000001\",\"kind\":\"url\",\"urlString\":\"https://a\"}";

QByteArray withItem(const QByteArray &item)
{
    return "[" + QByteArray(validItem) + "," + item + "]";
}

} // namespace

// The JSON codec of the stored lists: exact output, and every malformed shape failing as a whole.
class TestStoredItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodesCompactly()
    {
        StoredTavloItem text;
        text.id = QUuid::fromString(QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"));
        text.tavloID = QUuid::fromString(QStringLiteral("11111111-1111-4111-8111-111111111111"));
        text.kind = StoredTavloItem::Kind::text;
        text.richTextData = QByteArray("ab");
        text.richTextPlainText = QStringLiteral("q\"\\\n\u0001\u00e9\U0001F600/");
        StoredTavloItem file;
        file.id = *text.tavloID;
        file.kind = StoredTavloItem::Kind::file;
        file.bookmarkData = QByteArray("a");
        file.fileURLString = QStringLiteral("file:///x");
        QCOMPARE(StoredJson::encodeItems({text, file}),
                 QByteArray("[{\"id\":\"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0\","
                            "\"tavloID\":\"11111111-1111-4111-8111-111111111111\",\"kind\":\"text\","
                            "\"richTextData\":\"YWI=\",\"richTextPlainText\":"
                            "\"q\\\"\\\\\\n\\u0001\xc3\xa9\xf0\x9f\x98\x80/\"},"
                            "{\"id\":\"11111111-1111-4111-8111-111111111111\",\"kind\":\"file\","
                            "\"bookmarkData\":\"YQ==\","
                            "\"fileURLString\":\"file:///x\"}]"));
        QCOMPARE(StoredJson::encodeItems({}), QByteArray("[]"));
        QCOMPARE(StoredJson::encodeTavlos({{*text.tavloID, QStringLiteral("A")}}),
                 QByteArray("[{\"id\":\"11111111-1111-4111-8111-111111111111\",\"name\":\"A\"}]"));
    }

    void roundTripsAndReadsStandardJson()
    {
        StoredTavloItem r;
        r.id = QUuid::createUuid();
        r.kind = StoredTavloItem::Kind::url;
        r.urlString = QStringLiteral("https://a.example/\u00e9?x=\"1\"");
        r.title = QStringLiteral("tab\there \U0001F600");
        const QByteArray json = StoredJson::encodeItems({r});
        QCOMPARE(StoredJson::decodeItems(json), std::optional(QList<StoredTavloItem> {r}));
        // Another writer's spacing and escapes read the same.
        QVERIFY(QJsonDocument::fromJson(json).isArray());
        const QByteArray spaced = QJsonDocument::fromJson(json).toJson(QJsonDocument::Indented);
        QCOMPARE(StoredJson::decodeItems(spaced), std::optional(QList<StoredTavloItem> {r}));
        const auto escaped = StoredJson::decodeItems(
            "[{\"\\u0069d\":\"aaaaaaaa-0000-4000-8000-000000000001\",\"kind\":\"text\",\"text\":"
            "\"\\ud83d\\ude00\\u00e9\\/\\b\",\"richTextData\":\"\"}]");
        QVERIFY(escaped);
        QCOMPARE(escaped->first().text, std::optional(QStringLiteral("\U0001F600\u00e9/\b")));
        QCOMPARE(escaped->first().richTextData, std::optional(QByteArray()));
    }

    void readsOptionalFields()
    {
        const auto items = StoredJson::decodeItems(withItem(
            "{\"id\":\"AAAAAAAA-0000-4000-8000-000000000002\",\"kind\":\"text\",\"title\":null,\"tavloID\":"
            "null,\"extra\":{\"a\":[1,-2.5e3,true,false,null,\"s\",{}]},\"text\":\"t\"}"));
        QVERIFY(items);
        QCOMPARE(items->size(), 2);
        const StoredTavloItem &r = items->at(1);
        QVERIFY(!r.title && !r.tavloID && !r.richTextData);
        QCOMPARE(r.text, std::optional(QStringLiteral("t")));
        QVERIFY(StoredJson::decodeItems("  [ ]\n"));
        QVERIFY(StoredJson::decodeItems("[]")->isEmpty());
    }

    void rejectsWholeList_data()
    {
        QTest::addColumn<QByteArray>("json");
        // A second item with id 2 and the given fields after the id.
        const auto second = [](const QByteArray &fields) {
            return withItem("{\"id\":\"AAAAAAAA-0000-4000-8000-000000000002\"" + fields + "}");
        };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("object") << QByteArray("{}");
        QTest::newRow("truncated") << withItem("{\"id\":\"AAAAAAAA-0000-4000-8000-00000000000");
        QTest::newRow("trailing garbage") << QByteArray("[] x");
        QTest::newRow("trailing comma") << QByteArray("[") + validItem + ",]";
        QTest::newRow("element not object") << withItem("\"x\"");
        QTest::newRow("missing id") << withItem("{\"kind\":\"url\"}");
        QTest::newRow("null id") << withItem("{\"id\":null,\"kind\":\"url\"}");
        QTest::newRow("missing kind") << second("");
        QTest::newRow("unknown kind") << second(",\"kind\":\"File\"");
        QTest::newRow("braced uuid") << withItem(
            "{\"id\":\"{AAAAAAAA-0000-4000-8000-000000000002}\",\"kind\":\"url\"}");
        QTest::newRow("short uuid") << withItem(
            "{\"id\":\"AAAAAAAA-0000-4000-8000-00000000002\",\"kind\":\"url\"}");
        QTest::newRow("bad tavlo uuid") << second(",\"kind\":\"url\",\"tavloID\":\"home\"");
        QTest::newRow("unpadded base64") << second(",\"kind\":\"file\",\"bookmarkData\":\"YQ\"");
        QTest::newRow("base64 with newline") << second(",\"kind\":\"file\",\"bookmarkData\":\"YWJj\\nYWJj\"");
        QTest::newRow("base64 bad char") << second(",\"kind\":\"text\",\"richTextData\":\"YW*j\"");
        // Long runs are read sixteen letters at a time; a bad one late in a run must still count.
        QTest::newRow("base64 bad char in a long run")
            << second(",\"kind\":\"text\",\"richTextData\":\"" + QByteArray("QUJD").repeated(6) + "QU*D\"");
        QTest::newRow("base64 letter from past ASCII")
            << second(",\"kind\":\"text\",\"richTextData\":\"QUJDQUJDQUJDQUJDQUJD\xc3\xa9QQ\"");
        QTest::newRow("number title") << second(",\"kind\":\"url\",\"title\":5");
        QTest::newRow("array url") << second(",\"kind\":\"url\",\"urlString\":[\"a\"]");
        QTest::newRow("bad escape") << second(",\"kind\":\"url\",\"title\":\"\\x\"");
        // Text that is not Unicode is damage, not something to guess at: the file is kept aside.
        QTest::newRow("invalid UTF-8") << second(",\"kind\":\"url\",\"title\":\"a\xff\"");
        QTest::newRow("encoded surrogate") << second(",\"kind\":\"url\",\"title\":\"\xed\xa0\x80\"");
        QTest::newRow("lone surrogate escape") << second(",\"kind\":\"url\",\"title\":\"\\udc00\"");
        QTest::newRow("raw control char") << second(",\"kind\":\"url\",\"title\":\"a\tb\"");
        QTest::newRow("raw control char after a long run")
            << second(",\"kind\":\"url\",\"title\":\"abcdefghijklmnopqrstu\x01vwxyz0123456789abcdef\"");
        QTest::newRow("bad number in extra") << second(",\"kind\":\"url\",\"x\":01");
        QTest::newRow("bad literal in extra") << second(",\"kind\":\"url\",\"x\":tru");
        QTest::newRow("unclosed extra") << second(",\"kind\":\"url\",\"x\":[1,2");
        QTest::newRow("bad literal deep in extra") << second(",\"kind\":\"url\",\"x\":{\"a\":[trfalse]}");
        QTest::newRow("mismatched brackets in extra") << second(",\"kind\":\"url\",\"x\":{\"a\":[5,2.5}}");
        QTest::newRow("colon after value") << second(",\"kind\":\"url\":[1],\"title\":\"t\"");
        QTest::newRow("missing colon") << withItem("{\"id\" \"AAAAAAAA-0000-4000-8000-000000000002\"}");
        QTest::newRow("deep nesting")
            << second(",\"kind\":\"url\",\"x\":" + QByteArray(100000, '[') + QByteArray(100000, ']'));
        QTest::newRow("deep unclosed") << QByteArray(1000000, '[');
    }

    void rejectsWholeList()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!StoredJson::decodeItems(json));
    }

    void tavloLists()
    {
        const auto tavlos = StoredJson::decodeTavlos(
            "[{\"name\":\"A\",\"id\":\"aaaaaaaa-0000-4000-8000-000000000001\",\"kind\":7},{\"id\":\"AAAAAAAA-"
            "0000-4000-8000-000000000002\",\"name\":\"\"}]");
        QVERIFY(tavlos);
        QCOMPARE(tavlos->size(), 2);
        QCOMPARE(tavlos->at(0).name, QStringLiteral("A"));
        QVERIFY(
            !StoredJson::decodeTavlos("[{\"id\":\"AAAAAAAA-0000-4000-8000-000000000002\",\"name\":null}]"));
        QVERIFY(!StoredJson::decodeTavlos("[{\"id\":\"AAAAAAAA-0000-4000-8000-000000000002\"}]"));
        QVERIFY(!StoredJson::decodeTavlos("[{\"id\":\"AAAAAAAA-0000-4000-8000-000000000002\",\"name\":1}]"));
    }

    void largeListDecodes()
    {
        QList<StoredTavloItem> records;
        for (int i = 0; i < 2000; ++i) {
            StoredTavloItem r;
            r.id = QUuid::createUuid();
            r.kind = StoredTavloItem::Kind::text;
            QByteArray rtf(i % 97, Qt::Uninitialized);
            for (qsizetype k = 0; k < rtf.size(); ++k)
                rtf[k] = char(i * 7 + k * 13);
            r.richTextData = rtf;
            // ASCII runs of every length between escapes and multi-byte letters.
            r.richTextPlainText =
                QStringLiteral("%1 plain ASCII, \"quoted\", \\, tab\t, \u00e9, \U0001F600; ")
                    .arg(i)
                    .repeated(i % 4)
                + QString(i % 50, QChar(0x4e00 + i));
            records.append(r);
        }
        QCOMPARE(StoredJson::decodeItems(StoredJson::encodeItems(records)), std::optional(records));
    }
};

QTEST_GUILESS_MAIN(TestStoredItems)
#include "tst_stored_items.moc"
