#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "model/LocalFileName.h"
#include "model/TavloItem.h"
#include "model/TavloUrl.h"

#include <fcntl.h>
#include <unistd.h>

// URL parsing and the item values: the pieces every other folder compares and hashes.
class TestTavloValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseAcceptsAndRejects_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("https") << "https://example.com/a?b=c#d" << true;
        QTest::newRow("upper-case scheme") << "HTTPS://example.com" << true;
        QTest::newRow("file") << "file:///tmp/a%20b.txt" << true;
        QTest::newRow("relative path") << "a/b/c" << true;
        QTest::newRow("mailto") << "mailto:someone@example.com" << true;
        QTest::newRow("ipv6 host") << "http://[::1]:8080/" << true;
        QTest::newRow("non-ascii path") << "https://example.com/\u00e9t\u00e9" << true;
        QTest::newRow("bracket in query") << "https://example.com/?a[]=1" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << "https://exa mple.com" << false;
        QTest::newRow("trailing space") << "https://example.com " << false;
        QTest::newRow("tab") << "https://example.com/\t" << false;
        QTest::newRow("newline") << "https://a.com\nhttps://b.com" << false;
        QTest::newRow("control char") << "https://example.com/\x01" << false;
        QTest::newRow("no-break space") << "https://example.com/\u00a0" << false;
        QTest::newRow("bad percent") << "https://example.com/%zz" << false;
        QTest::newRow("short percent") << "https://example.com/%4" << false;
        QTest::newRow("bad scheme") << "1http://example.com" << false;
        QTest::newRow("colon in first segment") << ":foo" << false;
        QTest::newRow("unclosed ipv6") << "http://[::1/" << false;
        QTest::newRow("letters in port") << "http://example.com:80a/" << false;
        QTest::newRow("quote") << "https://example.com/\"x\"" << false;
        QTest::newRow("backslash") << "https://example.com\\x" << false;
    }

    void parseAcceptsAndRejects()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto url = TavloUrl::parse(text);
        QCOMPARE(url.has_value(), valid);
        if (url)
            QCOMPARE(url->absoluteString(), text);
    }

    void components()
    {
        const auto url =
            TavloUrl::parse(QStringLiteral("HTTPS://user@Example.com:8443/a%20b/c/?q=1&r=%C3%A9&s#frag"));
        QVERIFY(url);
        QCOMPARE(url->scheme(), QStringLiteral("HTTPS"));
        QCOMPARE(url->host(), QStringLiteral("Example.com"));
        QCOMPARE(url->port(), std::optional<int>(8443));
        QCOMPARE(url->path(), QStringLiteral("/a b/c/"));
        QCOMPARE(url->pathComponents(), (QStringList {"/", "a b", "c"}));
        QCOMPARE(url->query(), QStringLiteral("q=1&r=%C3%A9&s"));
        const auto items = url->queryItems();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[1], std::make_pair(QStringLiteral("r"), QStringLiteral("\u00e9")));
        QCOMPARE(items[2].first, QStringLiteral("s"));
        QCOMPARE(url->fragment(), QStringLiteral("frag"));

        const auto bare = TavloUrl::parse(QStringLiteral("example.com/path"));
        QVERIFY(bare);
        QVERIFY(bare->scheme().isEmpty());
        QVERIFY(bare->host().isEmpty());
        QCOMPARE(TavloUrl::parse(QStringLiteral("http://[fe80::1]/"))->host(), QStringLiteral("fe80::1"));
    }

    void equalityKeepsExactText()
    {
        const auto lower = TavloUrl::parse(QStringLiteral("https://a.example/"));
        const auto upper = TavloUrl::parse(QStringLiteral("HTTPS://a.example/"));
        QVERIFY(lower && upper);
        QVERIFY(!(*lower == *upper));
        QCOMPARE(*lower, *TavloUrl::parse(QStringLiteral("https://a.example/")));
        QCOMPARE(qHash(*lower), qHash(*TavloUrl::parse(QStringLiteral("https://a.example/"))));
        // QUrl would lower-case the scheme; going through it must not be the only way in.
        QCOMPARE(TavloUrl::fromQUrl(QUrl(QStringLiteral("https://a.example/x")))->absoluteString(),
                 QStringLiteral("https://a.example/x"));
        QVERIFY(!TavloUrl::fromQUrl(QUrl()));
    }

    void standardizedFileURL_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *text, const char *expected) {
            QTest::newRow(name) << QString(text) << QString(expected);
        };
        row("plain", "file:///tmp/a.txt", "file:///tmp/a.txt");
        row("dot", "file:///tmp/./a.txt", "file:///tmp/a.txt");
        row("dot-dot", "file:///tmp/x/../a.txt", "file:///tmp/a.txt");
        row("trailing dot-dot", "file:///tmp/x/..", "file:///tmp/");
        row("above root", "file:///../../a", "file:///a");
        row("folder slash kept", "file:///tmp/dir/", "file:///tmp/dir/");
        row("dotted names kept", "file:///tmp/.hidden/..x/a.", "file:///tmp/.hidden/..x/a.");
        row("web untouched", "https://a.example/x/../y", "https://a.example/x/../y");
        row("localhost", "file://localhost/a/./b", "file://localhost/a/b");
    }

    void standardizedFileURL()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto url = TavloUrl::parse(text);
        QVERIFY(url);
        QCOMPARE(url->standardizedFileURL().absoluteString(), expected);
    }

    void localFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // the file name on disk; empty: not a local file
        QTest::newRow("escapes") << "file:///tmp/a%20b%23c%25d/%C3%A9.txt"
                                 << QByteArray("/tmp/a b#c%d/\xc3\xa9.txt");
        QTest::newRow("latin-1 name") << "file:///tmp/caf%E9.txt" << QByteArray("/tmp/caf\xe9.txt");
        QTest::newRow("overlong and surrogate forms kept")
            << "file:///t/%C0%AF%ED%A0%80%F0%9F%98%80%FF"
            << QByteArray("/t/\xc0\xaf\xed\xa0\x80\xf0\x9f\x98\x80\xff");
        QTest::newRow("localhost") << "file://localhost/x" << QByteArray("/x");
        QTest::newRow("other host") << "file://server/x" << QByteArray();
        QTest::newRow("relative, dash first") << "file:-rf.pdf" << QByteArray();
        QTest::newRow("relative path") << "FILE:a/b" << QByteArray();
        QTest::newRow("web") << "https://a.example/x" << QByteArray();
    }

    void localFiles()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const auto url = TavloUrl::parse(text);
        QVERIFY(url);
        const QString path = url->toLocalFile();
        QCOMPARE(encodeFileName(path), bytes);
        if (bytes.isEmpty())
            return;
        QCOMPARE(decodeFileName(bytes), path);
        QCOMPARE(TavloUrl::fromLocalFile(path).toLocalFile(), path);
        QCOMPARE(TavloUrl::fromQUrl(localFileQUrl(path))->toLocalFile(), path);
    }

    void nonUtf8NamesExist()
    {
        QTemporaryDir dir;
        const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.txt";
        QVERIFY(::close(::creat(name.constData(), 0600)) == 0);
        const TavloUrl url = TavloUrl::fromLocalFile(decodeFileName(name));
        QVERIFY(url.absoluteString().endsWith(QStringLiteral("/caf%E9.txt")));
        QVERIFY(localFileExists(url.toLocalFile()));
        QVERIFY(!localFileExists(url.toLocalFile().chopped(1)));
        QCOMPARE(localFileQUrl(url.toLocalFile()).toEncoded(), url.absoluteString().toLatin1());
    }

    void itemEqualityAndHash()
    {
        const QUuid id = QUuid::createUuid();
        const auto link = *TavloUrl::parse(QStringLiteral("https://a.example"));
        const TavloItem plain {id, UrlItemKind {link, std::nullopt}};
        const TavloItem titled {id, UrlItemKind {link, QStringLiteral("x")}};
        const TavloItem emptyTitle {id, UrlItemKind {link, QString()}};
        const TavloItem otherId {QUuid::createUuid(), UrlItemKind {link, std::nullopt}};
        QVERIFY(plain != titled);
        QVERIFY(plain != emptyTitle);
        QVERIFY(plain != otherId);
        QCOMPARE(plain, (TavloItem {id, UrlItemKind {link, std::nullopt}}));
        QCOMPARE(qHash(plain, 7), qHash(TavloItem {id, UrlItemKind {link, std::nullopt}}, 7));
        QVERIFY(qHash(plain) != qHash(emptyTitle));

        const TavloItem text1 {id, TextItemKind {{"r", "p"}, QStringLiteral("a")}};
        const TavloItem text2 {id, TextItemKind {{"r", "p"}, QStringLiteral("b")}};
        QVERIFY(text1 != text2);
        QCOMPARE(text1.title(), std::optional<QString>(QStringLiteral("a")));
        QVERIFY(text1.isText() && !text1.isUrl());

        // The same bytes as a file and as a link are different kinds.
        const TavloItem file {id, FileItemKind {link, {}}};
        QVERIFY(file != plain);
        QVERIFY(qHash(file) != qHash(plain));
        QVERIFY(!file.title());
        QVERIFY(file != (TavloItem {id, FileItemKind {link, QByteArray("b")}}));
    }

    void payloadConversion()
    {
        QCOMPARE((RichTextPayload {{}, QStringLiteral("abc")}).richText().string(), QStringLiteral("abc"));
        QCOMPARE((RichTextPayload {"not rtf at all", QStringLiteral("abc")}).richText().string(),
                 QStringLiteral("abc"));
        const RichTextPayload empty = makeRichTextPayload(RichText());
        QVERIFY(empty.plainText.isEmpty());
        const RichTextPayload two = makeRichTextPayload(RichText::fromPlainText(QStringLiteral("one\ntwo")));
        QCOMPARE(two.plainText, QStringLiteral("one\ntwo"));
        QCOMPARE(two.richText().string(), QStringLiteral("one\ntwo"));
        QCOMPARE(qHash(two), qHash(RichTextPayload {two.rtfData, two.plainText}));
    }
};

QTEST_MAIN(TestTavloValues)
#include "tst_tavlo_values.moc"
