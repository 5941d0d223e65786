#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "PersistenceFixtures.h"
#include "ScratchMount.h"
#include "StoreTestSupport.h"
#include "model/StoredTavloItem.h"
#include "platform/SaveStatus.h"

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
    void init() { resetSettings(); }

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
        // The app builds its windows before the store takes the files: nothing shows until then.
        TavloStore reloaded {TavloStore::LoadLater {}};
        SignalLog log(reloaded);
        QVERIFY(reloaded.items().isEmpty() && reloaded.tavlos().isEmpty());
        reloaded.finishLoading();
        reloaded.finishLoading();
        QCOMPARE(log.names, (QStringList {"tavlos", "activeTavloID", "items"}));
        QCOMPARE(reloaded.tavlos().size(), 2);
        QCOMPARE(reloaded.activeTavloID(), workTavlo);
        QCOMPARE(reloaded.items(), workItems);
        QCOMPARE(reloaded.allItemsByTavlo().value(reloaded.tavlos().first().id), homeItems);
        // Nothing needed cleaning up, so loading does not write the item list back.
        QVERIFY(reloaded.waitForPendingWrites());
        QCOMPARE(reloaded.persistenceWorker().stats().itemSnapshotsSubmitted, quint64(0));
        QCOMPARE(reloaded.persistenceWorker().stats().syncs, quint64(0));
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
        // Snippets can be private: the files and their folder are for their owner alone.
        for (const QString &path : {StoreFiles::path(itemsKey), AppPaths::dataFolder()})
            QCOMPARE(QFile::permissions(path)
                         & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser | QFile::ReadOwner
                             | QFile::WriteOwner | QFile::ExeOwner),
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
        QCOMPARE(badly.richText().string(), QStringLiteral("exported badly"));
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

    void unreadableItemsAreKept_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("unknown kind") << Fixtures::unknownKindItems();
        // One damaged byte in a title: not repaired into other text, the whole file is kept aside.
        QTest::newRow("invalid UTF-8") << "[{\"id\":\"" + Fixtures::itemA.toLatin1()
                + "\",\"kind\":\"url\",\"urlString\":\"https://a\",\"title\":\"\xc3\x28\"}]";
    }

    void unreadableItemsAreKept()
    {
        QFETCH(QByteArray, bad);
        setStored(tavlosKey, twoTavlos());
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
            store.persistenceWorker().setPaused(true);
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
        const auto before = store.persistenceWorker().stats();
        store.persistenceWorker().setPaused(true);
        for (int i = 0; i < 100; ++i)
            store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/file-%1").arg(i)));
        store.persistenceWorker().setPaused(false);
        QVERIFY(store.waitForPendingWrites());
        const auto after = store.persistenceWorker().stats();
        QCOMPARE(after.itemSnapshotsSubmitted - before.itemSnapshotsSubmitted, quint64(100));
        QCOMPARE(after.itemSnapshotsWritten - before.itemSnapshotsWritten, quint64(1));
        const QJsonArray written = storedArray(itemsKey);
        QCOMPARE(written.size(), 100);
        QCOMPARE(objectAt(written, 99).value("fileURLString").toString(),
                 QStringLiteral("file:///tmp/file-99"));
    }

    // A process that dies between two files leaves a state the user could have made: blocking
    // one file stands in for the kill, since the writes after it never happen.
    void crashBetweenFiles_data()
    {
        QTest::addColumn<bool>("deletes");
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<QList<int>>("counts"); // items per tavlo after a restart, in tavlo order
        QTest::newRow("delete, tavlo file fails") << true << tavlosKey << QList<int> {1, 0};
        QTest::newRow("delete, item file fails") << true << itemsKey << QList<int> {1, 2};
        QTest::newRow("create, item file fails") << false << itemsKey << QList<int> {1, 2, 0};
        QTest::newRow("create, tavlo file fails") << false << tavlosKey << QList<int> {1, 2};
    }

    void crashBetweenFiles()
    {
        QFETCH(bool, deletes);
        QFETCH(QString, blocked);
        QFETCH(QList<int>, counts);
        QByteArray old;
        {
            TavloStore store;
            store.addText(QStringLiteral("home"));
            store.createTavlo(QStringLiteral("Work"));
            store.addText(QStringLiteral("one"));
            store.addText(QStringLiteral("two"));
            QVERIFY(store.waitForPendingWrites());
            old = stored(blocked).toByteArray();
            QVERIFY(QFile::remove(StoreFiles::path(blocked)));
            QVERIFY(QDir().mkdir(StoreFiles::path(blocked)));
            if (deletes) {
                store.deleteActiveTavlo();
            } else {
                store.persistenceWorker().setPaused(true);
                store.createTavlo(QStringLiteral("New"));
                store.addText(QStringLiteral("new"));
                store.persistenceWorker().setPaused(false);
            }
            QVERIFY(!store.waitForPendingWrites());
            QVERIFY(!store.persistenceWorker().failure().isEmpty());
        }
        QVERIFY(QDir().rmdir(StoreFiles::path(blocked)));
        setStored(blocked, old);
        TavloStore reloaded;
        QList<int> loaded;
        for (const auto &tavlo : reloaded.tavlos())
            loaded.append(int(reloaded.allItemsByTavlo().value(tavlo.id).size()));
        QCOMPARE(loaded, counts);
    }

    void fullOrReadOnlyDisk_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<QByteArray>("repair");
        QTest::newRow("full") << QByteArray("full") << QByteArray("size=4m");
        QTest::newRow("read-only") << QByteArray("ro") << QByteArray("rw");
    }

    // The file keeps its last good state, the failure shows, and freed space gets the newest.
    void fullOrReadOnlyDisk()
    {
        QFETCH(QByteArray, fault);
        QFETCH(QByteArray, repair);
        ScratchMount disk(AppPaths::dataFolder());
        if (!disk.ok())
            QSKIP("needs root to mount a small tmpfs");
        TavloStore store;
        store.addText(QStringLiteral("kept"));
        QVERIFY(store.waitForPendingWrites());
        if (fault == "ro")
            QVERIFY(disk.remount("ro"));
        store.addText(QString(fault == "full" ? 100000 : 10, u'x'));
        store.addURL(*TavloUrl::parse(QStringLiteral("https://newest.example")));
        QVERIFY(!store.waitForPendingWrites());
        QTRY_VERIFY(SaveStatus::instance().hasProblem());
        QVERIFY(SaveStatus::instance().message().startsWith(QStringLiteral("Not saved: ")));
        QVERIFY(SaveStatus::instance().message().contains(AppPaths::dataFolder()));
        QCOMPARE(StoredJson::decodeItems(stored(itemsKey).toByteArray())->size(), 1);

        QVERIFY(disk.remount(repair));
        QTRY_VERIFY_WITH_TIMEOUT(!SaveStatus::instance().hasProblem(), 5000); // the timer retries
        QVERIFY(store.waitForPendingWrites());
        QCOMPARE(StoredJson::decodeItems(stored(itemsKey).toByteArray())->size(), 3);
    }

    void unusableDataFolder()
    {
        // A file where the data folder belongs: nothing can be written, nothing may break.
        QDir().mkpath(QFileInfo(AppPaths::dataFolder()).path());
        {
            QFile blocker(AppPaths::dataFolder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        {
            TavloStore store;
            store.addText(QStringLiteral("kept in memory"));
            store.createTavlo(QStringLiteral("Other"));
            QVERIFY(!store.waitForPendingWrites());
            QCOMPARE(store.persistenceWorker().unsaved().size(), 3);
            QCOMPARE(store.tavlos().size(), 2);
        }
        QFile::remove(AppPaths::dataFolder());
    }

    // Older versions kept the lists in the settings file: they move to the data files unchanged.
    void movesInFromTheSettingsFile()
    {
        QHash<QUuid, QList<TavloItem>> before;
        QMap<QString, QByteArray> bytes;
        {
            TavloStore store;
            for (int i = 0; i < 1000; ++i) {
                if (i == 500)
                    store.createTavlo(QStringLiteral("Second"));
                if (i % 3 == 0)
                    store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/f %1").arg(i)));
                else if (i % 3 == 1)
                    store.addURL(*TavloUrl::parse(QStringLiteral("https://e.example/%1").arg(i)));
                else
                    store.addText(QStringLiteral("text \u00e9 %1").arg(i));
            }
            QVERIFY(store.waitForPendingWrites());
            before = store.allItemsByTavlo();
        }
        for (const QString &key : {itemsKey, tavlosKey, activeKey})
            bytes.insert(key, stored(key).toByteArray());
        QDir(AppPaths::dataFolder()).removeRecursively();
        const auto writeOldSettings = [&](const QMap<QString, QByteArray> &values) {
            QSettings old(SettingsFile::open()->fileName(), QSettings::IniFormat);
            old.setValue(QStringLiteral("Quorvin.Orientation"), QStringLiteral("vertical"));
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                old.setValue(it.key(),
                             it.key() == activeKey ? QVariant(QString::fromUtf8(*it)) : QVariant(*it));
        };
        writeOldSettings(bytes);
        {
            TavloStore moved;
            QCOMPARE(moved.allItemsByTavlo(), before);
            QCOMPARE(moved.activeTavloName(), QStringLiteral("Second"));
            QVERIFY(moved.waitForPendingWrites());
        }
        for (const QString &key : {itemsKey, tavlosKey, activeKey}) {
            QCOMPARE(stored(key).toByteArray(), bytes.value(key));
            QVERIFY(!SettingsFile::open()->contains(key));
        }
        QCOMPARE(SettingsFile::open()->value(QStringLiteral("Quorvin.Orientation")).toString(),
                 QStringLiteral("vertical"));

        // A copy left behind in the settings is older than the files and is not read.
        writeOldSettings({{itemsKey, "[]"}});
        TavloStore again;
        QCOMPARE(again.allItemsByTavlo(), before);
        QVERIFY(!SettingsFile::open()->contains(itemsKey));
    }

    void settingsFileThatIsNotIni()
    {
        const QString path = SettingsFile::open()->fileName();
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
