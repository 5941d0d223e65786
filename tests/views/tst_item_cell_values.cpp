#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include "views/TavloItemCell.h"
#include "views/TavloItemListModel.h"

namespace {

TavloUrl link(const QString &text)
{
    return TavloUrl::parse(text).value_or(TavloUrl());
}

TavloItem textItem(const QString &plain, std::optional<QString> title = std::nullopt, QByteArray rtf = {})
{
    return TavloItem {QUuid::createUuid(), TextItemKind {RichTextPayload {rtf, plain}, title}};
}

TavloItem linkItem(const QString &url, std::optional<QString> title = std::nullopt)
{
    return TavloItem {QUuid::createUuid(), UrlItemKind {link(url), title}};
}

TavloItem fileItem(const QString &path)
{
    return TavloItem {QUuid::createUuid(), FileItemKind {TavloUrl::fromLocalFile(path), {}}};
}

} // namespace

// Titles, tooltips, drag and copy data of single cells, and the list model's row bookkeeping.
class TestItemCellValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titles_data()
    {
        QTest::addColumn<TavloItem>("item");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("draft");
        const auto row = [](const char *name, const TavloItem &item, const QString &title,
                            const QString &draft) {
            QTest::newRow(name) << item << title << draft;
        };
        row("text first line", textItem("\n\nSecond\nThird"), "Second", "Second");
        row("text only line feeds", textItem("\n\n\n"), "Text", "Text");
        row("text spaces kept", textItem("   \nx"), "   ", "   ");
        row("text empty title", textItem("Body", QString()), "Body", "Body");
        row("text title", textItem("Body", QString("Label")), "Label", "Label");
        row("link title", linkItem("https://example.com/a", QString("Docs")), "Docs", "Docs");
        row("link host", linkItem("https://example.com/a"), "example.com", "example.com");
        row("link without host", linkItem("mailto:someone@example.com"), "Link", "Link");
        row("file", fileItem("/tmp/some folder/report final.pdf"), "report final.pdf", "");
        row("file with newline", fileItem("/tmp/a\nb.txt"), "a\nb.txt", "");
    }

    void titles()
    {
        QFETCH(TavloItem, item);
        QFETCH(QString, title);
        QFETCH(QString, draft);
        QCOMPARE(TavloItemCell::displayTitle(item), title);
        QCOMPARE(TavloItemCell::renameDraft(item), draft);
    }

    void helpTexts()
    {
        const TavloItem file = fileItem("/tmp/x y.txt");
        QCOMPARE(TavloItemCell::helpText(file, true), QString("/tmp/x y.txt"));
        QCOMPARE(TavloItemCell::helpText(file, false), QString("File unavailable:\n/tmp/x y.txt"));
        QCOMPARE(TavloItemCell::helpText(textItem("a\nb"), false), QString("Double-click to open:\na\nb"));
        QCOMPARE(TavloItemCell::helpText(textItem(QString(5000, u'x')), false).size(), 1023);
        QCOMPARE(TavloItemCell::helpText(linkItem("https://example.com/p?q=1"), false),
                 QString("Double-click to open:\nhttps://example.com/p?q=1"));
        QCOMPARE(TavloItemCell::snippetTileText("a\tb\nc"), QString("a b c"));
    }

    void textData()
    {
        std::unique_ptr<QMimeData> rich(TavloItemCell::copyMimeData(textItem("Hello", {}, "{\\rtf1 Hello}")));
        QCOMPARE(rich->formats(), (QStringList {"text/rtf", "application/rtf", "text/plain"}));
        QCOMPARE(rich->data("text/rtf"), QByteArray("{\\rtf1 Hello}"));
        QCOMPARE(rich->text(), QString("Hello"));

        std::unique_ptr<QMimeData> plain(TavloItemCell::dragMimeData(textItem("Only plain")));
        QCOMPARE(plain->formats(), QStringList {"text/plain"});
    }

    void linkData()
    {
        const TavloItem item = linkItem("https://example.com/a%20b?x=1", QString("Example"));
        for (auto make : {&TavloItemCell::dragMimeData, &TavloItemCell::copyMimeData}) {
            std::unique_ptr<QMimeData> data(make(item));
            QVERIFY(data->hasUrls());
            QCOMPARE(data->urls().first().toString(QUrl::FullyEncoded),
                     QString("https://example.com/a%20b?x=1"));
            QCOMPARE(data->text(), QString("https://example.com/a%20b?x=1"));
            const QByteArray moz = data->data("text/x-moz-url");
            QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(moz.constData()), moz.size() / 2),
                     QString("https://example.com/a%20b?x=1\nExample"));
        }
    }

    void fileData()
    {
        const QString path = "/tmp/it's a \"file\"\n.txt";
        const TavloItem item = fileItem(path);
        std::unique_ptr<QMimeData> drag(TavloItemCell::dragMimeData(item));
        QCOMPARE(drag->urls(), QList<QUrl> {QUrl::fromLocalFile(path)});
        QCOMPARE(drag->urls().first().toLocalFile(), path);

        std::unique_ptr<QMimeData> copy(TavloItemCell::copyMimeData(item));
        QCOMPARE(copy->urls(), QList<QUrl> {QUrl::fromLocalFile(path)});
        const QByteArray gnome = copy->data("x-special/gnome-copied-files");
        QVERIFY(gnome.startsWith("copy\nfile:///tmp/"));
        QCOMPARE(QUrl::fromEncoded(gnome.mid(5)).toLocalFile(), path);
    }

    void modelFollowsRows()
    {
        TavloItemListModel model;
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        const TavloItem a = textItem("a"), b = textItem("b"), c = textItem("c"), d = textItem("d");
        model.setItems({a, b});
        QCOMPARE(reset.count(), 1); // nothing in common with the empty list
        model.setItems({a, b, c});
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.last().at(1).toInt(), 2);
        model.setItems({a, c});
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.last().at(1).toInt(), 1);

        TavloItem renamed = c;
        std::get<TextItemKind>(renamed.kind).title = QString("C");
        model.setItems({d, a, renamed});
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.last().at(1).toInt(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().at(0).value<QModelIndex>().row(), 2);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowForID(c.id), 2);
        QCOMPARE(model.itemAt(2), renamed);

        model.setItems({renamed, a, d}); // a reorder
        QCOMPARE(reset.count(), 2);
        QCOMPARE(model.rowForID(d.id), 2);
        model.setItems({});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.rowForID(d.id), -1);
        QVERIFY(!model.data(model.index(5), TavloItemListModel::ItemRole).isValid());
    }
};

QTEST_GUILESS_MAIN(TestItemCellValues)
#include "tst_item_cell_values.moc"
