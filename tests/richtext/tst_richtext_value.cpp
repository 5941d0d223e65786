#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "richtext/RichText.h"

class TestRichTextValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stringKeepsSpecialCharacters()
    {
        const QString text = QStringLiteral("a\u00a0b\nc\uFFFCd");
        QCOMPARE(RichText::fromPlainText(text).string(), text);
        QVERIFY(RichText().isEmpty());
        QCOMPARE(RichText().string(), QString());
    }

    void copiesDoNotSeeLaterEdits()
    {
        const RichText original = RichText::fromPlainText(QStringLiteral("one"));
        auto editable = original.toDocument();
        QTextCursor(editable.get()).insertText(QStringLiteral("zero "));
        QCOMPARE(original.string(), QStringLiteral("one"));
        QCOMPARE(RichText(std::move(editable)).string(), QStringLiteral("zero one"));
    }
};

QTEST_GUILESS_MAIN(TestRichTextValue)
#include "tst_richtext_value.moc"
