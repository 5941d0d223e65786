#include <QTest>

#include "ingest/LinkDetector.h"

class TestLinkDetector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstMatch_data();
    void firstMatch();
    void allMatches();
    void matchRangeInUtf16();
    void publicSuffixRules_data();
    void publicSuffixRules();
    void hostileInputStaysBounded();
};

// text, expected URL ("" for none), expected matched text
void TestLinkDetector::firstMatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("matched");

    auto row = [](const char *name, const QString &text, const QString &url,
                  const QString &matched = QString()) {
        QTest::newRow(name) << text << url << (matched.isNull() && !url.isEmpty() ? url : matched);
    };
    row("https", u"see https://example.com/a?b=1#c now"_qs, u"https://example.com/a?b=1#c"_qs);
    row("scheme case kept", u"HTTP://Example.COM/X"_qs, u"HTTP://Example.COM/X"_qs);
    row("mixed case scheme", u"go to HtTpS://example.org"_qs, u"HtTpS://example.org"_qs);
    row("bare domain", u"visit example.com today"_qs, u"http://example.com"_qs, u"example.com"_qs);
    row("bare www", u"www.example.co.uk/path"_qs, u"http://www.example.co.uk/path"_qs,
        u"www.example.co.uk/path"_qs);
    row("bare with port", u"example.com:8080/x"_qs, u"http://example.com:8080/x"_qs,
        u"example.com:8080/x"_qs);
    row("ipv4 with scheme", u"http://192.168.1.20:8000/admin"_qs, u"http://192.168.1.20:8000/admin"_qs);
    row("bare ipv4 with port", u"at 10.0.0.1:22 ok"_qs, u"http://10.0.0.1:22"_qs, u"10.0.0.1:22"_qs);
    row("bare ipv4 alone", u"version 1.2.3.4"_qs, QString());
    row("bad ipv4", u"http://300.1.1.1/"_qs, QString());
    row("long ipv4 label", u"http://4444444444.1.1.1/"_qs, QString());
    row("localhost", u"http://localhost:3000/"_qs, u"http://localhost:3000/"_qs);
    row("ipv6", u"http://[::1]:8080/x"_qs, u"http://[::1]:8080/x"_qs);
    row("user info", u"http://user:pw@example.com/"_qs, u"http://user:pw@example.com/"_qs);
    row("trailing period", u"Read https://example.com/docs."_qs, u"https://example.com/docs"_qs);
    row("trailing question", u"Have you seen example.com?"_qs, u"http://example.com"_qs, u"example.com"_qs);
    row("trailing comma", u"https://a.example.com/x, and"_qs, u"https://a.example.com/x"_qs);
    row("balanced parens", u"(see https://en.wikipedia.org/wiki/Foo_(bar))"_qs,
        u"https://en.wikipedia.org/wiki/Foo_(bar)"_qs);
    row("unbalanced paren", u"(https://example.com/a)"_qs, u"https://example.com/a"_qs);
    row("markdown link", u"[x](https://example.com/p)."_qs, u"https://example.com/p"_qs);
    row("double quotes", u"href=\"https://example.com/q\">"_qs, u"https://example.com/q"_qs);
    row("single quotes", u"'https://example.com/q'"_qs, u"https://example.com/q"_qs);
    row("curly quotes", u"\u201Chttps://example.com/q\u201D"_qs, u"https://example.com/q"_qs);
    row("angle brackets", u"<https://example.com/>"_qs, u"https://example.com/"_qs);
    row("idn host", u"http://b\u00FCcher.de/x"_qs, u"http://xn--bcher-kva.de/x"_qs,
        u"http://b\u00FCcher.de/x"_qs);
    row("bare idn", u"\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444"_qs,
        u"http://xn--e1afmkfd.xn--p1ai"_qs, u"\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444"_qs);
    row("ace tld", u"xn--e1afmkfd.xn--p1ai"_qs, u"http://xn--e1afmkfd.xn--p1ai"_qs,
        u"xn--e1afmkfd.xn--p1ai"_qs);
    row("non-ascii path", u"https://example.com/caf\u00E9"_qs, u"https://example.com/caf%C3%A9"_qs,
        u"https://example.com/caf\u00E9"_qs);
    row("unsafe path chars", u"https://example.com/a|b{c}"_qs, u"https://example.com/a%7Cb%7Bc%7D"_qs,
        u"https://example.com/a|b{c}"_qs);
    row("stray percent", u"https://example.com/100%/x%2F"_qs, u"https://example.com/100%25/x%2F"_qs,
        u"https://example.com/100%/x%2F"_qs);
    row("email", u"mail bob@example.com please"_qs, QString());
    row("dotted email", u"john.doe@example.org"_qs, QString());
    row("mailto", u"mailto:bob@example.com"_qs, QString());
    row("ftp scheme", u"ftp://example.com/file"_qs, QString());
    row("other scheme host", u"ssh://git@example.com/repo"_qs, QString());
    row("file url", u"file:///home/me/site.com"_qs, QString());
    row("file name", u"open file.txt now"_qs, QString());
    row("extension tld", u"see README.md and setup.sh"_qs, QString());
    row("extension tld with path", u"docs.rs/serde"_qs, u"http://docs.rs/serde"_qs, u"docs.rs/serde"_qs);
    row("e.g.", u"e.g. this, i.e. that"_qs, QString());
    row("version", u"Qt 6.4.2 and v1.2.3"_qs, QString());
    row("decimal", u"pi is 3.14159"_qs, QString());
    row("bare public suffix", u"co.uk"_qs, QString());
    row("unknown tld", u"foo.notatld"_qs, QString());
    row("path after slash", u"/usr/share/example.com"_qs, QString());
    row("underscore host", u"my_var.com"_qs, QString());
    row("scheme inside word", u"xhttp://example.com"_qs, QString());
    row("scheme without host", u"http:// nothing"_qs, QString());
    row("later link", u"http://-bad-.com then https://ok.example.net"_qs, u"https://ok.example.net"_qs);
    row("port out of range", u"http://example.com:99999/"_qs, u"http://example.com"_qs);
    row("sentence end", u"Go to example.com."_qs, u"http://example.com"_qs, u"example.com"_qs);
    row("cjk punctuation", u"\u898B\u3066https://example.jp/a\u3002"_qs, u"https://example.jp/a"_qs);
}

void TestLinkDetector::firstMatch()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    QFETCH(QString, matched);
    const auto match = LinkDetector::findNext(text);
    if (url.isEmpty()) {
        QVERIFY2(!match, qPrintable(match ? match->url : QString()));
        return;
    }
    QVERIFY(match);
    QCOMPARE(match->url, url);
    QCOMPARE(text.mid(match->start, match->length), matched);
}

void TestLinkDetector::allMatches()
{
    const QString text = u"a https://one.example.com/x b two.example.org, c@d.com three.example.net."_qs;
    const auto matches = LinkDetector::findAll(text);
    QStringList urls;
    for (const auto &m : matches)
        urls << m.url;
    QCOMPARE(urls,
             (QStringList {u"https://one.example.com/x"_qs, u"http://two.example.org"_qs,
                           u"http://three.example.net"_qs}));

    // Resuming in the middle of a word does not find a link inside it.
    const QString word = u"notexample.com"_qs;
    QVERIFY(!LinkDetector::findNext(word, 3));
    QCOMPARE(LinkDetector::findNext(word, 0)->url, u"http://notexample.com"_qs);
}

void TestLinkDetector::matchRangeInUtf16()
{
    // A character outside the BMP takes two units before the link.
    const QString text = u"\U0001F600 example.com"_qs;
    const auto match = LinkDetector::findNext(text);
    QVERIFY(match);
    QCOMPARE(match->start, 3);
    QCOMPARE(match->length, 11);
}

void TestLinkDetector::publicSuffixRules_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("registrable");
    QTest::newRow("com") << u"example.com"_qs << true;
    QTest::newRow("upper case") << u"EXAMPLE.COM"_qs << true;
    QTest::newRow("tld only") << u"com"_qs << false;
    QTest::newRow("two-level suffix") << u"co.uk"_qs << false;
    QTest::newRow("under two-level") << u"bbc.co.uk"_qs << true;
    QTest::newRow("wildcard suffix") << u"foo.ck"_qs << false;
    QTest::newRow("under wildcard") << u"a.foo.ck"_qs << true;
    QTest::newRow("wildcard exception") << u"www.ck"_qs << true;
    QTest::newRow("private suffix") << u"github.io"_qs << false;
    QTest::newRow("under private suffix") << u"me.github.io"_qs << true;
    QTest::newRow("unicode tld") << u"\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444"_qs << true;
    QTest::newRow("not a tld") << u"file.txt"_qs << false;
    QTest::newRow("empty") << QString() << false;
}

void TestLinkDetector::publicSuffixRules()
{
    QFETCH(QString, host);
    QFETCH(bool, registrable);
    QCOMPARE(LinkDetector::isRegistrableDomain(host), registrable);
}

void TestLinkDetector::hostileInputStaysBounded()
{
    // Shapes that make backtracking matchers slow; each must finish and find nothing odd.
    const QString dots = QString(u"a."_qs).repeated(200000);
    QVERIFY(!LinkDetector::findNext(dots));
    const QString schemes = QString(u"http://"_qs).repeated(100000);
    QVERIFY(!LinkDetector::findNext(schemes));
    const QString parens = u"https://example.com/"_qs + QString(u"("_qs).repeated(200000);
    QCOMPARE(LinkDetector::findNext(parens)->length, parens.size());
    // Names that fail the suffix check must not make the scanner read their tails again.
    const QString queries = QString(u"a.b?"_qs).repeated(100000);
    QVERIFY(!LinkDetector::findNext(queries));
    const QString ats = QString(u"a@"_qs).repeated(100000) + u"example.com"_qs;
    QVERIFY(!LinkDetector::findNext(ats));
    QString lone = u"example.com "_qs;
    lone.append(QChar(0xD800)); // unpaired surrogate
    lone.append(u"https://example.org/\xDC00"_qs);
    QCOMPARE(LinkDetector::findAll(lone).size(), 2);
}

QTEST_GUILESS_MAIN(TestLinkDetector)
#include "tst_link_detector.moc"
