#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include "PersistenceFixtures.h"
#include "StoreTestSupport.h"
#include "model/StoredTavloItem.h"

using namespace StoreTest;

namespace {

using Fixtures::homeId;
using Fixtures::itemA;
using Fixtures::itemB;
using Fixtures::twoTavlos;
using Fixtures::workId;

QJsonObject objectAt(const QJsonArray &array, int index)
{
    return array.at(index).toObject();
}

QJsonObject objectWithId(const QJsonArray &array, const QString &id)
{
    for (const QJsonValue &value : array) {
        if (value.toObject().value("id").toString() == id)
            return value.toObject();
    }
    return {};
}

} // namespace

// Loading, migrating and writing the stored keys, and the three write-path guarantees:
// drain at shutdown, coalescing of waiting snapshots, and a copy of unreadable data.
class TestTavloStorePersistence : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetDefaults(); }

    void roundTrip()
    {
        QUuid workTavlo;
        QList<TavloItem> homeItems;
        QList<TavloItem> workItems;
        {
            TavloStore store;
            store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")));
            store.addURL(*TavloUrl::parse(QStringLiteral("https://example.com/\u00e9")),
                         QStringLiteral("Link"));
            store.addText(QStringLiteral("snippet \"quoted\" \\ \u0001 \U0001F600"));
            store.renameItem(store.items().last().id, QStringLiteral("Note"));
            homeItems = store.items();
            store.createTavlo(QStringLiteral("Work"));
            store.addText(QStringLiteral("second"));
            workItems = store.items();
            workTavlo = store.activeTavloID();
        }
        TavloStore reloaded;
        QCOMPARE(reloaded.tavlos().size(), 2);
        QCOMPARE(reloaded.activeTavloID(), workTavlo);
        QCOMPARE(reloaded.items(), workItems);
        QCOMPARE(reloaded.allItemsByTavlo().value(reloaded.tavlos().first().id), homeItems);
        // Loading writes back what it read, which leaves the file alone.
        QVERIFY(reloaded.waitForPendingWrites());
        QCOMPARE(reloaded.persistenceQueue().stats().syncs, quint64(0));
    }

    void writtenJsonShape()
    {
        TavloStore store;
        store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/x/../f")));
        store.addText(QStringLiteral("t"));
        store.addURL(*TavloUrl::parse(QStringLiteral("http://u.example")));
        QVERIFY(store.waitForPendingWrites());
        const QByteArray json = stored(itemsKey).toByteArray();
        QVERIFY(!json.contains(' '));
        QVERIFY(!json.contains("null"));
        const QJsonArray array = QJsonDocument::fromJson(json).array();
        QCOMPARE(array.size(), 3);
        const QString tavlo = uuidString(store.activeTavloID());

        const QJsonObject file = objectAt(array, 0);
        QCOMPARE(file.keys(), (QStringList {"fileURLString", "id", "kind", "tavloID"}));
        QCOMPARE(file.value("fileURLString").toString(), QStringLiteral("file:///tmp/f"));
        QCOMPARE(file.value("tavloID").toString(), tavlo);
        QCOMPARE(file.value("id").toString(), uuidString(store.items()[0].id));
        QCOMPARE(file.value("id").toString(), file.value("id").toString().toUpper());

        const QJsonObject text = objectAt(array, 1);
        QCOMPARE(text.keys(), (QStringList {"id", "kind", "richTextData", "richTextPlainText", "tavloID"}));
        const QByteArray rtf = std::get<TextItemKind>(store.items()[1].kind).payload.rtfData;
        QCOMPARE(text.value("richTextData").toString(), QString::fromLatin1(rtf.toBase64()));

        const QJsonObject link = objectAt(array, 2);
        QCOMPARE(link.keys(), (QStringList {"id", "kind", "tavloID", "urlString"}));
        QCOMPARE(link.value("kind").toString(), QStringLiteral("url"));

        const QJsonArray tavlos = storedArray(tavlosKey);
        QCOMPARE(objectAt(tavlos, 0).keys(), (QStringList {"id", "name"}));
        // Snippets can be private: the file is for its owner alone.
        QCOMPARE(QFile::permissions(Defaults::open()->fileName()) & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
    }

    void tavloListMigration_data()
    {
        QTest::addColumn<QByteArray>("storedTavlos");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("first Current")
            << twoTavlos(QStringLiteral("Current")) << QStringList {"Home", "Work"};
        QTest::newRow("later Current") << Fixtures::laterCurrentTavlos() << QStringList {"A", "Current"};
        QTest::newRow("empty array") << QByteArray("[]") << QStringList {"Home"};
        QTest::newRow("not json") << QByteArray("{\"id\":") << QStringList {"Home"};
        QTest::newRow("bad uuid") << Fixtures::badUuidTavlos() << QStringList {"Home"};
        QTest::newRow("missing name") << Fixtures::namelessTavlos() << QStringList {"Home"};
    }

    void tavloListMigration()
    {
        QFETCH(QByteArray, storedTavlos);
        QFETCH(QStringList, names);
        setStored(tavlosKey, storedTavlos);
        TavloStore store;
        QStringList loaded;
        for (const auto &t : store.tavlos())
            loaded.append(t.name);
        QCOMPARE(loaded, names);
        QCOMPARE(store.activeTavloID(), store.tavlos().first().id);
        QVERIFY(store.waitForPendingWrites());
        const QJsonArray written = storedArray(tavlosKey);
        QCOMPARE(written.size(), names.size());
        QCOMPARE(objectAt(written, 0).value("name").toString(), names.first());
        QCOMPARE(objectAt(written, 0).value("id").toString(), uuidString(store.tavlos().first().id));
    }

    void itemMigration()
    {
        setStored(tavlosKey, twoTavlos());
        const QString json = Fixtures::migrationItems();
        setStored(itemsKey, json.toUtf8());
        TavloStore store;

        const QList<TavloItem> home = store.allItemsByTavlo().value(QUuid::fromString(homeId));
        const QList<TavloItem> work = store.allItemsByTavlo().value(QUuid::fromString(workId));
        QCOMPARE(work.size(), 2);
        QCOMPARE(std::get<TextItemKind>(work[0].kind).payload.plainText, QStringLiteral("legacy"));
        QCOMPARE(std::get<FileItemKind>(work[1].kind).url.absoluteString(), QStringLiteral("file:///tmp/g"));
        QVERIFY(std::get<FileItemKind>(work[1].kind).bookmark.isEmpty());

        QCOMPARE(home.size(), 4);
        QCOMPARE(home[0].id, QUuid::fromString(itemB));
        QCOMPARE(std::get<UrlItemKind>(home[0].kind).url.absoluteString(), QStringLiteral("ftp://x.example"));
        // Stored titles are taken as they are.
        QCOMPARE(home[1].title(), std::optional<QString>(QStringLiteral("  T  ")));
        QCOMPARE(home[1].kind.index(), size_t(1));
        const RichTextPayload &badly = std::get<TextItemKind>(home[1].kind).payload;
        QVERIFY(badly.rtfData.isEmpty());
        QCOMPARE(badly.attributedString().string(), QStringLiteral("exported badly"));
        const auto &marked = std::get<FileItemKind>(home[2].kind);
        QCOMPARE(marked.url.absoluteString(), QStringLiteral("file:///tmp/x/../marked"));
        QCOMPARE(marked.bookmark, QByteArray("file:///tmp/x/../marked"));
        QCOMPARE(std::get<TextItemKind>(home[3].kind).payload.plainText, QStringLiteral("old plain"));
        QVERIFY(!home[3].title());

        // The cleaned-up state replaces the stored one at once.
        QVERIFY(store.waitForPendingWrites());
        const QJsonArray written = storedArray(itemsKey);
        QCOMPARE(written.size(), 6);
        for (const QJsonValue &value : written) {
            const QJsonObject o = value.toObject();
            QVERIFY(!o.contains("text"));
            QVERIFY(o.contains("tavloID"));
            if (o.value("kind") == QLatin1String("text")) {
                QVERIFY(o.contains("richTextData"));
                QVERIFY(o.contains("richTextPlainText"));
            }
        }
        const QJsonObject writtenMarked =
            objectWithId(written, QStringLiteral("AAAAAAAA-0000-4000-8000-000000000007"));
        QCOMPARE(writtenMarked.value("fileURLString").toString(), QStringLiteral("file:///tmp/marked"));
        QCOMPARE(writtenMarked.value("bookmarkData").toString(),
                 QString::fromLatin1(QByteArray("file:///tmp/x/../marked").toBase64()));
        QCOMPARE(objectWithId(written, itemA).value("tavloID").toString(), workId);
        QCOMPARE(objectWithId(written, itemB).value("tavloID").toString(), homeId);
        QCOMPARE(objectWithId(written, QStringLiteral("AAAAAAAA-0000-4000-8000-000000000005")).keys(),
                 (QStringList {"fileURLString", "id", "kind", "tavloID"}));
        QVERIFY(store.securityScopedURLs().isEmpty());
    }

    void groupOrderDoesNotMatter()
    {
        setStored(tavlosKey, twoTavlos());
        const QString a = Fixtures::urlItem(itemA, QStringLiteral("https://a.example"), homeId);
        const QString b = Fixtures::urlItem(itemB, QStringLiteral("https://b.example"), workId);
        QHash<QUuid, QList<TavloItem>> first;
        for (const QString &json : {u'[' + a + u',' + b + u']', u'[' + b + u',' + a + u']'}) {
            setStored(itemsKey, json.toUtf8());
            TavloStore store;
            QVERIFY(store.waitForPendingWrites());
            if (first.isEmpty())
                first = store.allItemsByTavlo();
            else
                QCOMPARE(store.allItemsByTavlo(), first);
        }
    }

    void activeTavloRestore_data()
    {
        QTest::addColumn<QVariant>("storedActive");
        QTest::addColumn<QString>("expected");
        QTest::newRow("known") << QVariant(workId) << workId;
        QTest::newRow("lower-case") << QVariant(workId.toLower()) << workId;
        QTest::newRow("unknown") << QVariant(QStringLiteral("33333333-3333-4333-8333-333333333333"))
                                 << homeId;
        QTest::newRow("garbage") << QVariant(QStringLiteral("{%1}").arg(workId)) << homeId;
        QTest::newRow("missing") << QVariant() << homeId;
    }

    void activeTavloRestore()
    {
        QFETCH(QVariant, storedActive);
        QFETCH(QString, expected);
        setStored(tavlosKey, twoTavlos());
        if (storedActive.isValid())
            setStored(activeKey, storedActive);
        TavloStore store;
        QCOMPARE(uuidString(store.activeTavloID()), expected);
        QVERIFY(store.waitForPendingWrites());
        // Restoring never rewrites the stored id.
        QCOMPARE(stored(activeKey), storedActive);
    }

    void unreadableItemsAreKept()
    {
        setStored(tavlosKey, twoTavlos());
        const QByteArray bad = Fixtures::unknownKindItems();
        setStored(itemsKey, bad);
        {
            TavloStore store;
            QVERIFY(store.items().isEmpty());
            QVERIFY(store.waitForPendingWrites());
            QCOMPARE(stored(itemsKey).toByteArray(), bad);
            QVERIFY(!QFileInfo::exists(PersistenceWorker::recoveryFolder()));

            store.addText(QStringLiteral("new"));
            QVERIFY(store.waitForPendingWrites());
            QCOMPARE(storedArray(itemsKey).size(), 1);
            store.addText(QStringLiteral("newer"));
        }
        const QDir folder(PersistenceWorker::recoveryFolder());
        const QStringList copies = folder.entryList(QDir::Files);
        QCOMPARE(copies.size(), 1);
        QVERIFY(copies.first().startsWith(QStringLiteral("StoredItems-")));
        QFile copy(folder.filePath(copies.first()));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), bad);
        QCOMPARE(copy.permissions()
                     & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QCOMPARE(QFileInfo(folder.path()).permissions() & (QFile::ReadOther | QFile::ExeOther),
                 QFile::Permissions());
    }

    void pendingWritesDrainAtShutdown()
    {
        {
            TavloStore store;
            store.persistenceQueue().setPaused(true);
            for (int i = 0; i < 20; ++i)
                store.addText(QStringLiteral("item %1").arg(i));
            store.createTavlo(QStringLiteral("Last"));
            QVERIFY(!store.waitForPendingWrites(50));
            QVERIFY(!stored(itemsKey).isValid());
        }
        TavloStore reloaded;
        QCOMPARE(reloaded.activeTavloName(), QStringLiteral("Last"));
        QCOMPARE(reloaded.allItemsByTavlo().value(reloaded.tavlos().first().id).size(), 20);
    }

    void waitingSnapshotsCoalesce()
    {
        TavloStore store;
        QVERIFY(store.waitForPendingWrites());
        const auto before = store.persistenceQueue().stats();
        store.persistenceQueue().setPaused(true);
        for (int i = 0; i < 100; ++i)
            store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/file-%1").arg(i)));
        store.persistenceQueue().setPaused(false);
        QVERIFY(store.waitForPendingWrites());
        const auto after = store.persistenceQueue().stats();
        QCOMPARE(after.itemSnapshotsSubmitted - before.itemSnapshotsSubmitted, quint64(100));
        QCOMPARE(after.itemSnapshotsWritten - before.itemSnapshotsWritten, quint64(1));
        const QJsonArray written = storedArray(itemsKey);
        QCOMPARE(written.size(), 100);
        QCOMPARE(objectAt(written, 99).value("fileURLString").toString(),
                 QStringLiteral("file:///tmp/file-99"));
    }

    void tavloDeletionIsOneSync()
    {
        TavloStore store;
        store.createTavlo(QStringLiteral("Work"));
        store.addText(QStringLiteral("goes with its tavlo"));
        QVERIFY(store.waitForPendingWrites());
        const quint64 before = store.persistenceQueue().stats().syncs;
        store.deleteActiveTavlo();
        QVERIFY(store.waitForPendingWrites());
        // Tavlo list, item list and active id together: a crash cannot split them.
        QCOMPARE(store.persistenceQueue().stats().syncs - before, quint64(1));
        QCOMPARE(storedArray(itemsKey).size(), 0);
    }

    void unusableConfigFolder()
    {
        // A file where the config folder belongs: nothing can be written, nothing may break.
        const QString folder = QFileInfo(Defaults::open()->fileName()).absolutePath();
        QDir(folder).removeRecursively();
        {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        {
            TavloStore store;
            store.addText(QStringLiteral("kept in memory"));
            store.createTavlo(QStringLiteral("Other"));
            QVERIFY(store.waitForPendingWrites());
            QCOMPARE(store.tavlos().size(), 2);
        }
        QFile::remove(folder);
        QVERIFY(QDir().mkpath(folder));
    }

    void settingsFileThatIsNotIni()
    {
        const QString path = Defaults::open()->fileName();
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray junk;
            for (int i = 0; i < 4096; ++i)
                junk.append(char((i * 131 + 7) % 256));
            file.write("[General\n=\\x\n@Variant(\\0\\0\\0\n" + junk);
        }
        TavloStore store;
        QVERIFY(!store.tavlos().isEmpty());
        store.addText(QStringLiteral("works"));
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(store.items().size(), 1);
    }
};

QTEST_MAIN(TestTavloStorePersistence)
#include "tst_tavlo_store_persistence.moc"
