// The clipboard read on a connection of our own, against xclip on the X server; an owner that
// stopped answering must cost no more than the budget.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <memory>

#include "platform/x11/X11Clipboard.h"

class TestX11Clipboard : public QObject
{
    Q_OBJECT

    std::unique_ptr<QProcess> m_owner;

    // xclip owns the clipboard and serves `bytes` as `target` until it is ended.
    void offer(const QByteArray &bytes, const QString &target)
    {
        m_owner = std::make_unique<QProcess>();
        m_owner->start(QStringLiteral("xclip"),
                       {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                        QStringLiteral("-t"), target, QStringLiteral("-i")});
        QVERIFY(m_owner->waitForStarted());
        m_owner->write(bytes);
        m_owner->closeWriteChannel();
        QTRY_VERIFY(X11Clipboard::targets(1000).targets.contains(target));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server");
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("needs xclip");
    }

    void cleanup()
    {
        if (m_owner) {
            ::kill(pid_t(m_owner->processId()), SIGCONT);
            m_owner->kill();
            m_owner->waitForFinished();
        }
    }

    void readsWhatIsOffered()
    {
        QByteArray large;
        while (large.size() < 3 * 1024 * 1024)
            large += "a line of text that goes on, ";
        offer(large, QStringLiteral("UTF8_STRING")); // far beyond one request: an incremental transfer
        const X11Clipboard::Reply offered = X11Clipboard::targets(1000);
        QCOMPARE(offered.status, X11Clipboard::Status::answered);
        QVERIFY(
            X11Clipboard::mimeFormats(offered.targets).contains(QStringLiteral("text/plain;charset=utf-8")));
        const X11Clipboard::Reply text =
            X11Clipboard::read(QStringLiteral("UTF8_STRING"), 5000, large.size());
        QCOMPARE(text.status, X11Clipboard::Status::answered);
        QVERIFY(text.data == large);
        QCOMPARE(X11Clipboard::read(QStringLiteral("UTF8_STRING"), 5000, 1000).status,
                 X11Clipboard::Status::tooLarge);
    }

    void stoppedOwnerCostsTheBudget()
    {
        offer("words", QStringLiteral("UTF8_STRING"));
        ::kill(pid_t(m_owner->processId()), SIGSTOP);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(X11Clipboard::targets(300).status, X11Clipboard::Status::noAnswer);
        QCOMPARE(X11Clipboard::read(QStringLiteral("UTF8_STRING"), 300, 1000).status,
                 X11Clipboard::Status::noAnswer);
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(TestX11Clipboard)
#include "tst_x11_clipboard.moc"
