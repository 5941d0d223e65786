// The real application trading items with other processes: "Paste" from what xclip holds,
// "Copy" read back by xclip, and items dragged out onto another application's window.
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <memory>
#include <vector>

#include "e2e/Desktop.h"

namespace {

const QString targetTitle = QStringLiteral("Quorvin e2e target");
const QByteArray richText = "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Pasted {\\i rich} text\\par}";

} // namespace

class TestE2eExchange : public QObject
{
    Q_OBJECT

    Desktop m_desktop;
    QuorvinProcess m_app {m_desktop};
    Peer m_target;
    std::vector<std::unique_ptr<QProcess>> m_xclips;

    QString file(const QString &name) const
    {
        return m_desktop.homePath() + QStringLiteral("/files/") + name;
    }
    QJsonArray items() const { return StoredState::read(m_desktop).itemsOf(); }
    QByteArray rtfOf(const QJsonValue &item) const
    {
        return QByteArray::fromBase64(item[QLatin1String("richTextData")].toString().toLatin1());
    }

    // xclip takes the clipboard and serves `bytes` as `type` until someone else takes it.
    void offer(const QByteArray &bytes, const QString &type)
    {
        const XWindow before = m_desktop.clipboardOwner();
        auto xclip = std::make_unique<QProcess>();
        m_desktop.prepare(*xclip);
        xclip->setStandardOutputFile(QProcess::nullDevice());
        xclip->start(QStringLiteral("xclip"),
                     {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                      QStringLiteral("-t"), type, QStringLiteral("-i")});
        QVERIFY(xclip->waitForStarted());
        xclip->write(bytes);
        xclip->closeWriteChannel();
        QVERIFY(waitFor([&] { return m_desktop.clipboardOwner() != before && m_desktop.clipboardOwner(); }));
        m_xclips.push_back(std::move(xclip));
    }

    QByteArray clipboard(const QString &type)
    {
        return runProgram(m_desktop, QStringLiteral("xclip"),
                          {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                           QStringLiteral("-t"), type});
    }

    // "Paste" is the only entry of the card's own menu.
    void paste(qsizetype expectedCount)
    {
        QVERIFY(m_app.openContextMenu(m_app.cardMargin()));
        QVERIFY(m_app.chooseInMenu(0));
        QVERIFY(waitFor([&] { return items().size() == expectedCount; }));
    }

    // Runs an entry of an item's own menu and waits for the clipboard to change hands.
    void copyFromItemMenu(int row, int entry)
    {
        offer("placeholder", QStringLiteral("UTF8_STRING")); // so the copy shows as a change of owner
        const XWindow before = m_desktop.clipboardOwner();
        QVERIFY(m_app.openContextMenu(m_app.tileCentre(row)));
        QVERIFY(m_app.chooseInMenu(entry));
        QVERIFY2(waitFor([&] { return m_desktop.clipboardOwner() != before; }), "nothing was copied");
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString unavailable = m_desktop.start();
        if (!unavailable.isEmpty() && !m_desktop.hasXServer())
            QSKIP(qPrintable(unavailable));
        QVERIFY2(unavailable.isEmpty(), qPrintable(unavailable));
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
                 "xclip is not installed (Debian package xclip)");
        QVERIFY(m_app.start());
        QVERIFY(m_target.start(m_desktop,
                               {QStringLiteral("target"), targetTitle, QStringLiteral("1500"),
                                QStringLiteral("80"), file(QStringLiteral("target.json"))}));
    }

    void cleanupTestCase()
    {
        for (const auto &xclip : m_xclips) {
            xclip->kill();
            xclip->waitForFinished();
        }
        if (m_app.pid() > 0)
            QVERIFY(m_app.terminate());
    }

    void pasteTakesTextFilesLinksAndRichText()
    {
        offer("Call the plumber at nine", QStringLiteral("UTF8_STRING"));
        paste(1);

        // A lone picture is nothing "Paste" takes: the entry is disabled and a click does nothing.
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QVERIFY(picture.save(file(QStringLiteral("copied.png")), "PNG"));
        offer(readBytes(file(QStringLiteral("copied.png"))), QStringLiteral("image/png"));
        QVERIFY(m_app.openContextMenu(m_app.cardMargin()));
        QVERIFY(m_app.chooseInMenu(0));
        m_desktop.click({1000, 400}); // a click outside closes the menu
        QVERIFY(waitFor([&] { return m_app.openMenu() == 0; }, 5000));

        const QString notes = file(QStringLiteral("notes.txt"));
        QVERIFY(QFile(notes).open(QIODevice::WriteOnly));
        offer(QUrl::fromLocalFile(notes).toEncoded() + "\r\n", QStringLiteral("text/uri-list"));
        paste(2); // only the file: the picture before it added nothing
        offer("  https://www.example.org/e2e?paste=1\n", QStringLiteral("UTF8_STRING"));
        paste(3);
        offer(richText, QStringLiteral("text/rtf"));
        paste(4);

        const QJsonArray stored = items();
        QCOMPARE(stored.at(0)[QLatin1String("kind")].toString(), QStringLiteral("text"));
        QCOMPARE(stored.at(0)[QLatin1String("richTextPlainText")].toString(),
                 QStringLiteral("Call the plumber at nine"));
        QCOMPARE(stored.at(1)[QLatin1String("kind")].toString(), QStringLiteral("file"));
        QCOMPARE(QUrl(stored.at(1)[QLatin1String("fileURLString")].toString()).toLocalFile(), notes);
        QCOMPARE(stored.at(2)[QLatin1String("kind")].toString(), QStringLiteral("url"));
        QCOMPARE(stored.at(2)[QLatin1String("urlString")].toString(),
                 QStringLiteral("https://www.example.org/e2e?paste=1"));
        QCOMPARE(stored.at(3)[QLatin1String("kind")].toString(), QStringLiteral("text"));
        QCOMPARE(stored.at(3)[QLatin1String("richTextPlainText")].toString().trimmed(),
                 QStringLiteral("Pasted rich text"));
        QVERIFY(rtfOf(stored.at(3)).startsWith("{\\rtf"));
        QVERIFY(QDir(m_desktop.clippingsPath()).isEmpty());
    }

    void copyPutsItemsOnTheClipboard()
    {
        const QJsonArray stored = items();
        QCOMPARE(stored.size(), 4);

        // Text: "Open", "Copy": the RTF and the plain text, RTF first.
        copyFromItemMenu(3, 1);
        const QList<QByteArray> targets = clipboard(QStringLiteral("TARGETS")).split('\n');
        QVERIFY2(targets.contains("text/rtf") && targets.indexOf("text/rtf") < targets.indexOf("text/plain"),
                 targets.join(' ').constData());
        QCOMPARE(clipboard(QStringLiteral("text/rtf")), rtfOf(stored.at(3)));
        QCOMPARE(QString::fromUtf8(clipboard(QStringLiteral("UTF8_STRING"))),
                 stored.at(3)[QLatin1String("richTextPlainText")].toString());

        // Link: "Open URL", "Copy URL": the URL as text and as a URI list.
        copyFromItemMenu(2, 1);
        const QByteArray url = "https://www.example.org/e2e?paste=1";
        QCOMPARE(clipboard(QStringLiteral("UTF8_STRING")), url);
        QCOMPARE(clipboard(QStringLiteral("text/uri-list")).trimmed(), url);
    }

    void dragOutDeliversTheFormatsOfEachKind_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("plain text") << 0;
        QTest::newRow("file") << 1;
        QTest::newRow("link") << 2;
        QTest::newRow("rich text") << 3;
    }

    void dragOutDeliversTheFormatsOfEachKind()
    {
        QFETCH(int, row);
        const QString recordPath = file(QStringLiteral("target.json"));
        QFile::remove(recordPath);
        const QJsonValue item = items().at(row);

        m_desktop.moveTo(m_app.tileCentre(row));
        m_desktop.press();
        m_desktop.glideTo(m_target.geometry(m_desktop).center());
        QVERIFY2(m_target.waitForLine(QStringLiteral("over")), "no drag reached the other application");
        // One more step and a pause, so the source has the target's answer before the release; on
        // a busy machine a release right after the first position can end the drag as a leave.
        m_desktop.glideTo(m_target.geometry(m_desktop).center() + QPoint(6, 6));
        QTest::qWait(250);
        m_desktop.release();
        QVERIFY(m_target.waitForLine(QStringLiteral("dropped")));

        const QJsonObject record = QJsonDocument::fromJson(readBytes(recordPath)).object();
        QStringList formats;
        for (const QJsonValue &format : record[QLatin1String("formats")].toArray())
            formats.append(format.toString());
        const auto data = [&](const QString &format) {
            return QByteArray::fromBase64(record[QLatin1String("data")][format].toString().toLatin1());
        };
        const QString kind = item[QLatin1String("kind")].toString();
        if (kind == QLatin1String("text")) {
            // Rich text first, so receivers that take the first format they know keep the formatting.
            QCOMPARE(formats.value(0), QStringLiteral("text/rtf"));
            QVERIFY2(formats.contains(QStringLiteral("text/plain")), qPrintable(formats.join(u' ')));
            QCOMPARE(data(QStringLiteral("text/rtf")), rtfOf(item));
            QCOMPARE(QString::fromUtf8(data(QStringLiteral("text/plain"))),
                     item[QLatin1String("richTextPlainText")].toString());
        } else {
            const QString url = kind == QLatin1String("file")
                ? item[QLatin1String("fileURLString")].toString()
                : item[QLatin1String("urlString")].toString();
            QCOMPARE(formats.value(0), QStringLiteral("text/uri-list"));
            QCOMPARE(QString::fromUtf8(data(QStringLiteral("text/uri-list"))).trimmed(), url);
        }
        // Let go outside the panel, the item stays where it was.
        QCOMPARE(items().size(), 4);
    }

    void addFromTheCommandLine()
    {
        // Runs `quorvin args` in the files folder; its exit code, and its error line when it fails.
        const auto run = [&](const QStringList &args, const QByteArray &input = {}) {
            QProcess process;
            m_desktop.prepare(process);
            process.setWorkingDirectory(m_desktop.homePath() + QStringLiteral("/files"));
            process.start(QStringLiteral(QUORVIN_BINARY), args);
            process.write(input);
            process.closeWriteChannel();
            process.waitForFinished(20000);
            const QByteArray error = process.readAllStandardError();
            return std::pair(process.exitCode(), error.count('\n') <= 1 ? error.trimmed() : error);
        };
        QVERIFY(QFile(file(QStringLiteral("from the shell.txt"))).open(QIODevice::WriteOnly));
        QCOMPARE(run({"--add", "from the shell.txt", "https://www.example.org/cli"}),
                 std::pair(0, QByteArray()));
        QCOMPARE(run({"--add-text"}, "  https://www.example.org/alone \n"), std::pair(0, QByteArray()));
        QCOMPARE(run({"--add-text"}, "Typed in a terminal\n"), std::pair(0, QByteArray()));
        QVERIFY(waitFor([&] { return items().size() == 8; }));
        const QJsonArray stored = items();
        QCOMPARE(QUrl(stored.at(4)[QLatin1String("fileURLString")].toString()).toLocalFile(),
                 file(QStringLiteral("from the shell.txt")));
        QCOMPARE(stored.at(5)[QLatin1String("urlString")].toString(),
                 QStringLiteral("https://www.example.org/cli"));
        QCOMPARE(stored.at(6)[QLatin1String("urlString")].toString(),
                 QStringLiteral("https://www.example.org/alone"));
        QCOMPARE(stored.at(7)[QLatin1String("richTextPlainText")].toString().trimmed(),
                 QStringLiteral("Typed in a terminal"));

        // Refused with one line and nothing added: a missing file, another scheme, no text, bad usage.
        QCOMPARE(run({"--add", "missing.txt"}),
                 std::pair(1, QByteArray("quorvin: no such file, folder or web link: missing.txt")));
        QCOMPARE(run({"--add", "mailto:a@example.org"}).first, 1);
        QCOMPARE(run({"--add-text"}, " \n"),
                 std::pair(1, QByteArray("quorvin: nothing to add: standard input is empty")));
        QCOMPARE(run({"--add-text"}, "\xff\xfe"),
                 std::pair(1, QByteArray("quorvin: standard input is not UTF-8 text")));
        QCOMPARE(run({"--bogus"}).first, 2);
        QTest::qWait(500);
        QCOMPARE(items().size(), 8);
    }
};

QTEST_GUILESS_MAIN(TestE2eExchange)
#include "tst_e2e_exchange.moc"
