#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <memory>

#include "ingest/Clippings.h"
#include "ingest/TavloIngest.h"
#include "model/PersistenceWorker.h"
#include "model/StoredTavloItem.h"
#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/SettingsFile.h"
#include "richtext/Rtf.h"

namespace {

// One line per item of the active tavlo: "file:<path>", "url:<url>" or "text:<characters>".
QStringList describe(const TavloStore &store)
{
    QStringList lines;
    for (const TavloItem &item : store.items()) {
        if (const auto *file = std::get_if<FileItemKind>(&item.kind))
            lines << u"file:"_qs + file->url.toLocalFile();
        else if (const auto *url = std::get_if<UrlItemKind>(&item.kind))
            lines << u"url:"_qs + url->url.absoluteString();
        else if (const auto *text = std::get_if<TextItemKind>(&item.kind))
            lines << u"text:"_qs + text->payload.plainText;
    }
    return lines;
}

QByteArray png()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QByteArray rtfOf(const QString &text)
{
    QTextDocument document;
    document.setPlainText(text);
    return Rtf::write(document);
}

QStringList clippings()
{
    return QDir(Clippings::folder()).entryList(QDir::Files);
}

using Formats = QList<std::pair<QString, QByteArray>>;

std::unique_ptr<QMimeData> mime(const Formats &formats)
{
    auto data = std::make_unique<QMimeData>();
    for (const auto &[format, bytes] : formats)
        data->setData(format, bytes);
    return data;
}

} // namespace

// Drops and pastes on real QMimeData and the offscreen clipboard, through to the store.
class TestIngest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_files;
    std::unique_ptr<TavloStore> m_store;
    std::unique_ptr<TavloIngest> m_ingest;

    void settle()
    {
        // Generous: on a busy machine the large drops take many seconds.
        QTRY_VERIFY_WITH_TIMEOUT(m_ingest->isIdle(), 60000);
    }

    void drop(const Formats &formats)
    {
        auto data = mime(formats);
        QVERIFY(m_ingest->handleDrop(data.get()));
        data.reset(); // the drop event is gone before the content is converted
        settle();
    }

    // Drops and waits; returns how often a zero-interval timer fired meanwhile, that is how often
    // the GUI thread got back to its event loop.
    int eventLoopTicksDuringDrop(const Formats &formats)
    {
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(0);
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start();
        drop(formats);
        return ticks;
    }

private Q_SLOTS:
    void init()
    {
        SettingsFile::open()->clear();
        QDir(AppPaths::dataFolder()).removeRecursively();
        QGuiApplication::clipboard()->clear();
        m_store = std::make_unique<TavloStore>();
        m_ingest = std::make_unique<TavloIngest>(*m_store);
    }

    void cleanup()
    {
        m_ingest.reset();
        m_store.reset();
    }

    void dropRules_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QStringList>("items");

        const QString a = m_files.filePath(u"a file.txt"_qs);
        const QString b = m_files.filePath(u"b.txt"_qs);
        const QByteArray fileA = QUrl::fromLocalFile(a).toEncoded();
        const QByteArray fileB = QUrl::fromLocalFile(b).toEncoded();

        QTest::newRow("two files") << Formats {{u"text/uri-list"_qs, fileA + "\r\n" + fileB + "\r\n"}}
                                   << QStringList {u"file:"_qs + a, u"file:"_qs + b};
        QTest::newRow("uri list with comment, link and other scheme")
            << Formats {{u"text/uri-list"_qs,
                         "# from a browser\r\nhttps://example.com/x\r\nmailto:a@b.org\r\n" + fileA}}
            << QStringList {u"url:https://example.com/x"_qs, u"file:"_qs + a};
        QTest::newRow("file on another host, relative file urls")
            << Formats {{u"text/uri-list"_qs, "file://server/share/x.txt\r\nfile:-rf.pdf\r\nfile:a/b"}}
            << QStringList {};
        QTest::newRow("browser link drag")
            << Formats {{u"text/x-moz-url"_qs, utf16le(u"https://example.com/page\nPage title"_qs)},
                        {u"text/uri-list"_qs, "https://example.com/page"},
                        {u"text/plain"_qs, "https://example.com/page"},
                        {u"text/html"_qs, "<a href=\"https://example.com/other\">Page title</a>"}}
            << QStringList {u"url:https://example.com/page"_qs};
        QTest::newRow("moz url only")
            << Formats {{u"text/x-moz-url"_qs, utf16le(u"https://example.org/m\nT"_qs)}}
            << QStringList {u"url:https://example.org/m"_qs};
        QTest::newRow("unreadable url falls back to the text's link")
            << Formats {{u"text/x-moz-url"_qs, "not utf-16 \xff"},
                        {u"text/plain"_qs, "go to example.net now"}}
            << QStringList {u"url:http://example.net"_qs};
        QTest::newRow("unreadable url and text without link adds nothing")
            << Formats {{u"text/x-moz-url"_qs, "\xff"}, {u"text/plain"_qs, "no link"}} << QStringList {};
        QTest::newRow("text with a link becomes the link")
            << Formats {{u"text/plain"_qs, "A paragraph.\nIt cites https://example.com/paper (2024)."}}
            << QStringList {u"url:https://example.com/paper"_qs};
        QTest::newRow("bare domain") << Formats {{u"text/plain"_qs, "Try example.co.uk for that"}}
                                     << QStringList {u"url:http://example.co.uk"_qs};
        QTest::newRow("plain text before rich text") << Formats {{u"text/plain"_qs, "plain words"},
                                                                 {u"text/rtf"_qs, rtfOf(u"rtf words"_qs)},
                                                                 {u"text/html"_qs, "<b>html words</b>"}}
                                                     << QStringList {u"text:plain words"_qs};
        QTest::newRow("utf-8 charset preferred")
            << Formats {{u"text/plain"_qs, "\xff\xfe"}, {u"text/plain;charset=utf-8"_qs, "caf\xc3\xa9"}}
            << QStringList {u"text:caf\u00e9"_qs};
        QTest::newRow("utf-16 charset")
            << Formats {{u"text/plain;charset=utf-16le"_qs, utf16le(u"h\u00e9llo"_qs)}}
            << QStringList {u"text:h\u00e9llo"_qs};
        QTest::newRow("invalid utf-8 adds nothing")
            << Formats {{u"text/plain"_qs, "bad \xc3\x28 bytes"}} << QStringList {};
        QTest::newRow("blank text adds nothing") << Formats {{u"text/plain"_qs, " \n\t "}} << QStringList {};
        QTest::newRow("rtf") << Formats {{u"text/rtf"_qs, rtfOf(u"from rtf"_qs)}}
                             << QStringList {u"text:from rtf"_qs};
        QTest::newRow("application/rtf") << Formats {{u"application/rtf"_qs, rtfOf(u"other rtf"_qs)}}
                                         << QStringList {u"text:other rtf"_qs};
        QTest::newRow("rtf that does not read")
            << Formats {{u"text/rtf"_qs, "plain bytes"}} << QStringList {};
        QTest::newRow("rtf of one empty list item")
            << Formats {{u"text/rtf"_qs, "{\\rtf1\\ls1\\par}"}} << QStringList {};
        QTest::newRow("html table") << Formats {{u"text/html"_qs,
                                                 "<table><tr><td>Name</td><td>Qty</td></tr>"
                                                 "<tr><td>Apples</td><td>3</td></tr></table>"}}
                                    << QStringList {u"text:\nName\tQty\nApples\t3\n"_qs};
        QTest::newRow("html table of blank cells")
            << Formats {{u"text/html"_qs, "<table><tr><td> </td><td></td></tr></table>"}} << QStringList {};
        QTest::newRow("html with a link")
            << Formats {{u"text/html"_qs, "<p>Read <a href=\"https://example.com/a\">this</a></p>"}}
            << QStringList {u"url:https://example.com/a"_qs};
        QTest::newRow("html without link") << Formats {{u"text/html"_qs, "<p>Just <b>bold</b> text</p>"}}
                                           << QStringList {u"text:Just bold text"_qs};
        QTest::newRow("html doctype uri is markup")
            << Formats {{u"text/html"_qs,
                         "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">"
                         "<html xmlns=\"http://www.w3.org/1999/xhtml\"><p>Quiet</p></html>"}}
            << QStringList {u"text:Quiet"_qs};
        QTest::newRow("html as utf-16 without bom")
            << Formats {{u"text/html"_qs, utf16le(u"<meta charset=\"utf-8\"><p>Gr\u00fc\u00dfe</p>"_qs)}}
            << QStringList {u"text:Gr\u00fc\u00dfe"_qs};
        QTest::newRow("html image is not fetched")
            << Formats {{u"text/html"_qs, "<p>x<img src=\"file:///dev/zero\">y</p>"}}
            << QStringList {u"text:xy"_qs};
        QTest::newRow("image bytes that are no image")
            << Formats {{u"image/png"_qs, "not a png"}} << QStringList {};
        QTest::newRow("web image takes the link")
            << Formats {{u"text/uri-list"_qs, "https://example.com/cat.png"}, {u"image/png"_qs, png()}}
            << QStringList {u"url:https://example.com/cat.png"_qs};
        QTest::newRow("empty uri list does not hide the text")
            << Formats {{u"text/uri-list"_qs, "# nothing\r\n"}, {u"text/plain"_qs, "still text"}}
            << QStringList {u"text:still text"_qs};
    }

    void dropRules()
    {
        QFETCH(Formats, formats);
        QFETCH(QStringList, items);
        drop(formats);
        QStringList got = describe(*m_store);
        // Completions may arrive in any order; only multi-file drops have more than one item.
        got.sort();
        items.sort();
        QCOMPARE(got, items);
        QVERIFY(clippings().isEmpty()); // only a picture without a link is kept as a file
    }

    void dropFilesTwiceKeepsOne()
    {
        const QByteArray list = QUrl::fromLocalFile(m_files.filePath(u"same.txt"_qs)).toEncoded();
        drop({{u"text/uri-list"_qs, list}});
        drop({{u"text/uri-list"_qs, list}});
        QCOMPARE(m_store->items().size(), 1);
    }

    void dropImageWritesClipping()
    {
        const QByteArray bytes = png();
        drop({{u"image/png"_qs, bytes}, {u"image/gif"_qs, "GIF89a"}});
        const QStringList names = clippings();
        QCOMPARE(names.size(), 1);
        QVERIFY(names.first().startsWith(u"Tavlo Image "_qs));
        QCOMPARE(describe(*m_store), QStringList {u"file:"_qs + Clippings::folder() + u'/' + names.first()});
        QFile file(Clippings::folder() + u'/' + names.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }

    void dropInProcessImage()
    {
        QMimeData data;
        QImage image(5, 5, QImage::Format_RGB32);
        image.fill(Qt::green);
        data.setImageData(image);
        QVERIFY(m_ingest->handleDrop(&data));
        settle();
        const QStringList names = clippings();
        QCOMPARE(names.size(), 1);
        QVERIFY(names.first().endsWith(u".png"_qs));
        QCOMPARE(QImage(Clippings::folder() + u'/' + names.first()).pixel(2, 2), image.pixel(2, 2));
    }

    void dropNothingUsable()
    {
        QVERIFY(!m_ingest->handleDrop(nullptr));
        QMimeData empty;
        QVERIFY(!m_ingest->handleDrop(&empty));
        QVERIFY(!TavloIngest::canAccept(&empty));
        auto gif = mime({{u"image/gif"_qs, "GIF89a..."}});
        QVERIFY(!TavloIngest::canAccept(gif.get()));
        QVERIFY(!m_ingest->handleDrop(gif.get()));
        QVERIFY(m_store->items().isEmpty());
        QVERIFY(m_ingest->isIdle());
    }

    void richTextArrivesOnGuiThread()
    {
        drop({{u"text/html"_qs, "<p>threaded</p>"}});
        drop({{u"text/rtf"_qs, rtfOf(u"also threaded"_qs)}});
        QCOMPARE(m_store->items().size(), 2);
        for (const TavloItem &item : m_store->items()) {
            const auto *text = std::get_if<TextItemKind>(&item.kind);
            QVERIFY(text);
            QCOMPARE(text->payload.richText().document().thread(), QThread::currentThread());
        }
    }

    void pastesKeepTheirOrder()
    {
        // The first paste takes far longer to convert than the second.
        QString slow;
        while (slow.size() < 400000)
            slow += u"A paragraph of styled words.\n"_qs;
        for (const QByteArray &rtf : {rtfOf(slow), QByteArray("{\\rtf1 quick}")}) {
            QGuiApplication::clipboard()->setMimeData(mime({{u"text/rtf"_qs, rtf}}).release());
            m_ingest->pasteFromClipboard();
        }
        settle();
        const QStringList items = describe(*m_store);
        QCOMPARE(items.size(), 2);
        QVERIFY(items.first().startsWith(u"text:A paragraph"_qs));
        QCOMPARE(items.last(), u"text:quick"_qs);
    }

    void largeTextDrop()
    {
        QByteArray text;
        while (text.size() < 4 * 1024 * 1024)
            text += "Words and more words, but no address anywhere in this line.\r\n";
        QVERIFY(eventLoopTicksDuringDrop({{u"text/plain"_qs, text}}) > 0);
        QCOMPARE(m_store->items().size(), 1);
        const auto &payload = std::get<TextItemKind>(m_store->items().first().kind).payload;
        QCOMPARE(payload.plainText, QString::fromLatin1(text).replace(u"\r\n"_qs, u"\n"_qs));
        QVERIFY(payload.rtfData.startsWith("{\\rtf1"));
    }

    // Limits: what Qt would take minutes or gigabytes to read is refused before it starts, with
    // a message, or taken as the plain text offered with it.
    void refusals_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("message"); // the start of it; empty: none

        const QByteArray deep =
            QByteArray("<div>").repeated(300) + "deep" + QByteArray("</div>").repeated(300);
        const QByteArray siblings =
            QByteArray("<p>a<br><img src=x />").repeated(150) + "<ul>" + QByteArray("<li>b").repeated(150);
        QTest::newRow("deep html drop") << Formats {{u"text/html"_qs, deep}} << false << QStringList {}
                                        << u"This rich text is nested too deeply"_qs;
        QTest::newRow("deep html paste takes the text")
            << Formats {{u"text/html"_qs, deep}, {u"text/plain"_qs, "deep"}} << true
            << QStringList {u"text:deep"_qs} << QString();
        QTest::newRow("deep html paste alone") << Formats {{u"text/html"_qs, deep}} << true << QStringList {}
                                               << u"This rich text is nested too deeply"_qs;
        QTest::newRow("siblings that close themselves are not deep")
            << Formats {{u"text/html"_qs, siblings}} << false
            << QStringList {u"text:"_qs + QString(u"a\n\n"_qs).repeated(150)
                            + QString(u"b\n"_qs).repeated(149) + u"b"_qs}
            << QString();
        const QByteArray huge(TavloIngest::maxTextBytes + 1, 'a');
        QTest::newRow("text too large")
            << Formats {{u"text/plain"_qs, huge}} << false << QStringList {} << u"This text is too large"_qs;
        QTest::newRow("rtf too large to paste")
            << Formats {{u"text/plain"_qs, "small"}, {u"text/rtf"_qs, "{\\rtf1 " + huge + "}"}} << true
            << QStringList {} << u"This text is too large"_qs;
    }

    void refusals()
    {
        QFETCH(Formats, formats);
        QFETCH(bool, paste);
        QFETCH(QStringList, items);
        QFETCH(QString, message);
        QSignalSpy refused(m_ingest.get(), &TavloIngest::refused);
        if (paste) {
            QGuiApplication::clipboard()->setMimeData(mime(formats).release());
            m_ingest->pasteFromClipboard();
            settle();
        } else {
            drop(formats);
        }
        QStringList got = describe(*m_store);
        for (QString &line : got)
            line = line.trimmed();
        QCOMPARE(got, items);
        QCOMPARE(refused.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY(refused.first().first().toString().startsWith(message));
    }

    // Quitting must not wait for Qt to read a large drop (here many seconds of nested tables).
    void destroyingDoesNotWaitForAConversion()
    {
        const QByteArray one =
            QByteArray("<table><tr><td>").repeated(80) + "x" + QByteArray("</td></tr></table>").repeated(80);
        auto data = mime({{u"text/html"_qs, one.repeated(150)}});
        QVERIFY(m_ingest->handleDrop(data.get()));
        QThread::msleep(200); // the conversion has started
        QElapsedTimer timer;
        timer.start();
        m_ingest.reset();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCoreApplication::processEvents();
        QVERIFY(m_store->items().isEmpty());
    }

    void tenThousandFileDrop()
    {
        // Duplicates, files on other hosts, links, comments and junk among 10,000 entries.
        QByteArray list;
        QStringList expected;
        for (int i = 0; i < 10000; ++i) {
            if (i % 1000 == 999) {
                list += "# comment\r\nfile://server/share/" + QByteArray::number(i) + "\r\n";
            } else if (i % 1000 == 500) {
                const QByteArray link = "https://example.com/" + QByteArray::number(i);
                list += link + "\r\n";
                expected << u"url:"_qs + QString::fromLatin1(link);
            } else if (i % 10 == 9) {
                list += QUrl::fromLocalFile(m_files.filePath(QString::number(i - 8))).toEncoded() + "\r\n";
            } else if (i % 1000 == 123) {
                list += "not a url at all\r\n";
            } else {
                const QString path = m_files.filePath(QString::number(i));
                list += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
                expected << u"file:"_qs + path;
            }
        }
        QVERIFY(eventLoopTicksDuringDrop({{u"text/uri-list"_qs, list}}) > 0);
        // One drop's entries arrive in the order they were dropped.
        QCOMPARE(describe(*m_store), expected);
        QVERIFY(m_store->waitForPendingWrites());
        const auto stored =
            StoredJson::decodeItems(StoreFiles::read(StoreFiles::itemsKey).value_or(QByteArray()));
        QVERIFY(stored);
        QCOMPARE(stored->size(), expected.size());
    }

    void pasteRules_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QStringList>("items");

        const QString a = m_files.filePath(u"a.txt"_qs);
        const QString b = m_files.filePath(u"b.txt"_qs);
        const QByteArray fileA = QUrl::fromLocalFile(a).toEncoded();
        const QByteArray fileB = QUrl::fromLocalFile(b).toEncoded();

        QTest::newRow("copied files in order")
            << Formats {{u"text/uri-list"_qs, fileA + "\r\n" + fileB}, {u"text/plain"_qs, a.toUtf8()}}
            << QStringList {u"file:"_qs + a, u"file:"_qs + b};
        QTest::newRow("gnome copied files")
            << Formats {{u"x-special/gnome-copied-files"_qs, "copy\n" + fileA}}
            << QStringList {u"file:"_qs + a};
        QTest::newRow("one link with spaces") << Formats {{u"text/plain"_qs, "  https://example.com/x \n"}}
                                              << QStringList {u"url:https://example.com/x"_qs};
        QTest::newRow("sentence with a link stays text")
            << Formats {{u"text/plain"_qs, "see https://example.com/x"}}
            << QStringList {u"text:see https://example.com/x"_qs};
        QTest::newRow("rtf beats plain text")
            << Formats {{u"text/plain"_qs, "plain"}, {u"text/rtf"_qs, rtfOf(u"styled"_qs)}}
            << QStringList {u"text:styled"_qs};
        QTest::newRow("html when rtf does not read") << Formats {{u"text/plain"_qs, "plain"},
                                                                 {u"text/rtf"_qs, "junk"},
                                                                 {u"text/html"_qs, "<i>from html</i>"}}
                                                     << QStringList {u"text:from html"_qs};
        QTest::newRow("link beats rich text")
            << Formats {{u"text/plain"_qs, "https://example.com"}, {u"text/html"_qs, "<a href=x>y</a>"}}
            << QStringList {u"url:https://example.com"_qs};
        QTest::newRow("plain text alone")
            << Formats {{u"text/plain"_qs, "just words"}} << QStringList {u"text:just words"_qs};
        QTest::newRow("blank text, rich text wins")
            << Formats {{u"text/plain"_qs, "   "}, {u"text/rtf"_qs, rtfOf(u"rich"_qs)}}
            << QStringList {u"text:rich"_qs};
        QTest::newRow("one-cell table holding a link")
            << Formats {{u"text/html"_qs, "<table><tr><td>https://example.com/t</td></tr></table>"}}
            << QStringList {u"url:https://example.com/t"_qs};
        QTest::newRow("only a url") << Formats {{u"text/uri-list"_qs, "https://example.com/only"}}
                                    << QStringList {u"url:https://example.com/only"_qs};
        QTest::newRow("only a moz url")
            << Formats {{u"text/x-moz-url"_qs, utf16le(u"https://example.com/m\nt"_qs)}}
            << QStringList {u"url:https://example.com/m"_qs};
        QTest::newRow("url of another scheme")
            << Formats {{u"text/uri-list"_qs, "ftp://example.com/f"}} << QStringList {};
        QTest::newRow("image only") << Formats {{u"image/png"_qs, png()}} << QStringList {};
    }

    void pasteRules()
    {
        QFETCH(Formats, formats);
        QFETCH(QStringList, items);
        QGuiApplication::clipboard()->setMimeData(mime(formats).release());
        m_ingest->pasteFromClipboard();
        settle();
        QCOMPARE(describe(*m_store), items);
    }

    void canPaste_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << Formats {} << false;
        QTest::newRow("text") << Formats {{u"text/plain"_qs, "x"}} << true;
        QTest::newRow("text with charset") << Formats {{u"text/plain;charset=utf-8"_qs, "x"}} << true;
        QTest::newRow("files") << Formats {{u"text/uri-list"_qs, "file:///tmp/x"}} << true;
        QTest::newRow("rtf") << Formats {{u"text/rtf"_qs, "{\\rtf1 x}"}} << true;
        QTest::newRow("html") << Formats {{u"text/html"_qs, "<b>x</b>"}} << true;
        QTest::newRow("image only") << Formats {{u"image/png"_qs, png()}} << false;
    }

    void canPaste()
    {
        QFETCH(Formats, formats);
        QFETCH(bool, enabled);
        if (formats.isEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setMimeData(mime(formats).release());
        QCOMPARE(m_ingest->canPaste(), enabled);
    }
};

QTEST_MAIN(TestIngest)
#include "tst_ingest.moc"
