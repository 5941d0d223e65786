#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/Settings.h"
#include "snippets/SaveDestination.h"
#include "snippets/SnippetFileWriter.h"
#include "snippets/SnippetSaveModel.h"

#include "ScratchMount.h"

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// What the settings file holds once written.
QString rememberedFolder(Settings &settings)
{
    settings.waitForWrites();
    return Settings(settings.fileName()).lastSaveFolder();
}

// Waits until the model's write, if one started, has finished.
void settle(SnippetSaveModel &model)
{
    QTRY_VERIFY(!model.isWriting());
}

} // namespace

class TestSnippetSave : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // The last test's settings finish their writes first, or the removed file comes back.
        m_settings.reset();
        QFile::remove(Settings::defaultPath());
        m_settings = std::make_unique<Settings>();
    }

    void destinations()
    {
        QStringList labels;
        for (SaveDestination destination : allSaveDestinations()) {
            labels.append(saveDestinationRawValue(destination));
            QCOMPARE(saveDestinationFromRawValue(labels.last()), destination);
        }
        QCOMPARE(labels, (QStringList {"Last Folder", "Desktop", "Documents", "Downloads"}));
        QCOMPARE(saveDestinationFromRawValue(QStringLiteral("desktop")), std::nullopt);

        QCOMPARE(standardFolder(SaveDestination::lastFolder), std::nullopt);
    }

    void suggestion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QString &text, const QString &expected) {
            QTest::newRow(name) << text << expected;
        };
        row("separators", "\n  Notes: a/b  \nmore", "Notes- a-b.txt");
        row("empty", "", "Snippet.txt");
        row("white space", " \t\n \n", "Snippet.txt");
        row("only separators", "  /  ", "-.txt");
        row("has a dot", "report.md draft", "report.md draft");
        row("long", QString(60, u'x'), QString(48, u'x') + ".txt");
        row("dot after cut", QString(50, u'y') + ".md", QString(48, u'y') + ".txt");
        // Graphemes are not split: 48 flags, each two code points.
        const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
        QTest::newRow("graphemes") << flag.repeated(50) << flag.repeated(48) + ".txt";
    }

    void suggestion()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(suggestedFilename(text), expected);
    }

    void filenameChecks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("trimmed");
        QTest::addColumn<bool>("usable");
        auto row = [](const char *name, const QString &typed, const QString &trimmed, bool usable) {
            QTest::newRow(name) << typed << trimmed << usable;
        };
        row("plain", " a.txt \n", "a.txt", true);
        row("no extension", "notes", "notes", true);
        row("spaces only", "   ", "", true);
        row("slash", "a/b.txt", "a/b.txt", false);
        row("climbs out", "../x.txt", "../x.txt", false);
        row("dot dot", "..", "..", false);
        row("nul", QStringLiteral("a") + QChar(0) + "b", QStringLiteral("a") + QChar(0) + "b", false);
    }

    void filenameChecks()
    {
        QFETCH(QString, typed);
        QFETCH(QString, trimmed);
        QFETCH(bool, usable);
        QCOMPARE(trimmedName(typed), trimmed);
        QCOMPARE(!filenameProblem(trimmed).has_value(), usable);
    }

    void writerKeepsFilesWhole()
    {
        using Outcome = SnippetWriteResult::Outcome;
        const QString file = m_dir->filePath(QStringLiteral("a.txt"));
        QCOMPARE(writeSnippetFile(m_dir->path(), file, QStringLiteral("héllo"), false).outcome,
                 Outcome::saved);
        QCOMPARE(contentsOf(file), QByteArray("h\xc3\xa9llo"));

        // Refuses to replace unless told to, and keeps the old content then.
        QCOMPARE(writeSnippetFile(m_dir->path(), file, QStringLiteral("new"), false).outcome,
                 Outcome::alreadyExists);
        QCOMPARE(contentsOf(file), QByteArray("h\xc3\xa9llo"));
        QCOMPARE(writeSnippetFile(m_dir->path(), file, QStringLiteral("new"), true).outcome, Outcome::saved);
        QCOMPARE(contentsOf(file), QByteArray("new"));

        // A lone surrogate cannot become UTF-8: nothing is written.
        const QString broken = QStringLiteral("ab") + QChar(0xD800) + QStringLiteral("cd");
        QCOMPARE(writeSnippetFile(m_dir->path(), file, broken, true).outcome, Outcome::notEncodable);
        QCOMPARE(contentsOf(file), QByteArray("new"));
        QCOMPARE(writeSnippetFile(m_dir->path(), file, QStringLiteral("end") + QChar(0xD83D), true).outcome,
                 Outcome::notEncodable);
        QCOMPARE(writeSnippetFile(m_dir->path(), file, QString(QChar(0xDE00)) + "x", true).outcome,
                 Outcome::notEncodable);
        QCOMPARE(contentsOf(file), QByteArray("new"));

        // A 20 MB snippet lands whole.
        const QString big = QStringLiteral("0123456789abcdef\n").repeated(20 * 1024 * 1024 / 17);
        const QString bigFile = m_dir->filePath(QStringLiteral("big.txt"));
        QCOMPARE(writeSnippetFile(m_dir->path(), bigFile, big, false).outcome, Outcome::saved);
        QCOMPARE(QFileInfo(bigFile).size(), qint64(big.size()));

        // Writing onto a folder's name fails and leaves the folder alone.
        QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
        const SnippetWriteResult onFolder =
            writeSnippetFile(m_dir->path(), m_dir->filePath("sub"), "x", true);
        QCOMPARE(onFolder.outcome, Outcome::failed);
        QVERIFY(!onFolder.error.isEmpty());
        QVERIFY(QFileInfo(m_dir->filePath("sub")).isDir());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void validationStopsBeforeWriting_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<bool>("withFolder");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty") << "" << true << "Enter a filename";
        QTest::newRow("spaces") << "  \n " << true << "Enter a filename";
        QTest::newRow("no folder") << "a.txt" << false << "Choose a folder";
        QTest::newRow("slash") << "x/a.txt" << true << "A filename cannot contain \"/\"";
        QTest::newRow("dot") << "." << true << "Enter a valid filename";
    }

    void validationStopsBeforeWriting()
    {
        QFETCH(QString, filename);
        QFETCH(bool, withFolder);
        QFETCH(QString, status);
        SnippetSaveModel model([] { return QStringLiteral("text"); }, nullptr, m_settings.get());
        if (withFolder)
            model.folderChosen(m_dir->path()), settle(model);
        QDir(m_dir->path()).removeRecursively();
        QDir().mkpath(m_dir->path());
        model.openPopover();
        model.setSaveFilename(filename);
        model.save();
        QCOMPARE(model.saveStatus(), status);
        QVERIFY(!model.isWriting());
        QVERIFY(model.showingSavePopover());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void saveWritesPlainUtf8AndRemembersFolder()
    {
        QString text = QStringLiteral("first line\nsecond ✓");
        SnippetSaveModel model([&] { return text; }, nullptr, m_settings.get());
        QCOMPARE(model.targetFolder(), std::nullopt);
        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral("first line.txt"));
        model.setSaveFilename(QStringLiteral("  notes  "));
        model.setSaveDestination(SaveDestination::documents);
        const QString documents = *standardFolder(SaveDestination::documents);
        QVERIFY(documents.startsWith(qEnvironmentVariable("HOME")));
        QDir().mkpath(documents);

        QSignalSpy saved(&model, &SnippetSaveModel::saved);
        model.save();
        settle(model);
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().first().toString(), QStringLiteral("notes"));
        // Saved as typed: no extension added, exactly the text's bytes.
        const QString file = QDir(documents).filePath(QStringLiteral("notes"));
        QCOMPARE(contentsOf(file), text.toUtf8());
        QCOMPARE(model.lastSavedFile(), file);
        QCOMPARE(model.saveDestination(), SaveDestination::lastFolder);
        QVERIFY(!model.showingSavePopover());
        QVERIFY(model.saveStatus().isEmpty());
        QCOMPARE(model.targetFolder(), QDir::cleanPath(documents));
        QCOMPARE(rememberedFolder(*m_settings), QDir::cleanPath(documents));
        QFile::remove(file);

        // A new window starts with the remembered folder, even once the folder is gone.
        SnippetSaveModel next([] { return QString(); }, nullptr, m_settings.get());
        QCOMPARE(next.lastFolder(), QDir::cleanPath(documents));
        QCOMPARE(next.targetFolder(), QDir::cleanPath(documents));
        QDir(documents).removeRecursively();
        next.setSaveFilename(QStringLiteral("x.txt"));
        next.save();
        settle(next);
        QCOMPARE(next.saveStatus(), QStringLiteral("Folder does not exist: ") + QDir::cleanPath(documents));
        QVERIFY(!QFileInfo::exists(documents));
    }

    void existingFileIsReplacedOnlyAfterConfirmation()
    {
        const QString file = m_dir->filePath(QStringLiteral("keep.txt"));
        writeFile(file, "original");
        SnippetSaveModel model([] { return QStringLiteral("replacement"); }, nullptr, m_settings.get());
        model.setSaveFilename(QStringLiteral("first.txt"));
        model.folderChosen(m_dir->path());
        settle(model);
        model.setSaveFilename(QStringLiteral("keep.txt"));
        model.save();
        QCOMPARE(model.pendingOverwrite(), file);
        QCOMPARE(contentsOf(file), QByteArray("original"));

        // Cancel keeps the file; opening the popover again does not drop a pending question.
        model.cancelOverwrite();
        QCOMPARE(model.pendingOverwrite(), std::nullopt);
        model.save();
        model.openPopover();
        QCOMPARE(model.pendingOverwrite(), file);
        QCOMPARE(contentsOf(file), QByteArray("original"));

        QSignalSpy saved(&model, &SnippetSaveModel::saved);
        model.replace();
        settle(model);
        QCOMPARE(saved.size(), 1);
        QCOMPARE(contentsOf(file), QByteArray("replacement"));
        QCOMPARE(model.pendingOverwrite(), std::nullopt);
        QVERIFY(!model.showingSavePopover());
        // Replace without a question pending does nothing.
        model.replace();
        QVERIFY(!model.isWriting());
    }

    void writeFailuresLeaveFolderAsItWas()
    {
        // Replacing a folder by a file is refused with the system's reason.
        QDir(m_dir->path()).mkdir(QStringLiteral("folder"));
        SnippetSaveModel onFolder([] { return QStringLiteral("data"); }, nullptr, m_settings.get());
        onFolder.setSaveFilename(QStringLiteral("folder"));
        onFolder.folderChosen(m_dir->path());
        QVERIFY(onFolder.pendingOverwrite());
        onFolder.replace();
        settle(onFolder);
        QCOMPARE(onFolder.saveStatus(), QStringLiteral("Save failed: Is a directory"));
        QCOMPARE(onFolder.pendingOverwrite(), std::nullopt);
        QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("folder"))).isDir());

        // Lone surrogates: the encoding message and no file.
        SnippetSaveModel broken([] { return QStringLiteral("x") + QChar(0xDC00); }, nullptr,
                                m_settings.get());
        broken.setSaveFilename(QStringLiteral("b.txt"));
        broken.folderChosen(m_dir->path());
        settle(broken);
        QCOMPARE(broken.saveStatus(), QStringLiteral("Could not encode text"));
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("b.txt"))));

        // Replace on a full or read-only disk: the old file stays whole and no toast says "Saved".
        for (const QByteArray fault : {"full", "ro"}) {
            const QString folder = m_dir->filePath(QString::fromLatin1(fault));
            ScratchMount disk(folder);
            if (!disk.ok())
                QSKIP("needs root to mount a small tmpfs");
            writeFile(folder + QStringLiteral("/keep.txt"), "original");
            QVERIFY(fault == "full" || disk.remount("ro"));
            SnippetSaveModel model([] { return QString(100000, u'y'); }, nullptr, m_settings.get());
            QSignalSpy saved(&model, &SnippetSaveModel::saved);
            model.setSaveFilename(QStringLiteral("keep.txt"));
            model.folderChosen(folder);
            model.replace();
            settle(model);
            QVERIFY2(model.saveStatus().startsWith(QStringLiteral("Save failed: ")),
                     qPrintable(model.saveStatus()));
            QCOMPARE(saved.size(), 0);
            QCOMPARE(contentsOf(folder + QStringLiteral("/keep.txt")), QByteArray("original"));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
    }

    void chosenFolderSavesAtOnce()
    {
        SnippetSaveModel model([] { return QStringLiteral("chosen"); }, nullptr, m_settings.get());
        // No filename: the chooser is not shown.
        QVERIFY(!model.beginChooseFolder());
        QCOMPARE(model.saveStatus(), QStringLiteral("Enter a filename first"));

        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral("chosen.txt"));
        QVERIFY(model.beginChooseFolder());
        model.setShowingSavePopover(false);
        model.folderChoiceCancelled();
        QVERIFY(model.showingSavePopover());
        QCOMPARE(model.chosenFolder(), std::nullopt);

        model.setSaveDestination(SaveDestination::desktop);
        const QString folder = m_dir->path() + QStringLiteral("/./inner/..");
        model.folderChosen(folder);
        settle(model);
        QCOMPARE(contentsOf(m_dir->filePath(QStringLiteral("chosen.txt"))), QByteArray("chosen"));
        QCOMPARE(model.chosenFolder(), QDir::cleanPath(m_dir->path()));
        QCOMPARE(model.saveDestination(), SaveDestination::lastFolder);
        QCOMPARE(rememberedFolder(*m_settings), QDir::cleanPath(m_dir->path()));

        // Choosing the same folder again finds the file and asks.
        model.setShowingSavePopover(false);
        model.folderChosen(m_dir->path());
        QCOMPARE(model.pendingOverwrite(), m_dir->filePath(QStringLiteral("chosen.txt")));
        QVERIFY(model.showingSavePopover());
    }

    void popoverKeepsTypedName()
    {
        QString text = QStringLiteral("Title");
        SnippetSaveModel model([&] { return text; }, nullptr, m_settings.get());
        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral("Title.txt"));
        model.setSaveFilename(QStringLiteral("mine"));
        model.cancelPopover();
        text = QStringLiteral("Other");
        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral("mine"));
        // Only an exactly empty field is refilled.
        model.setSaveFilename(QStringLiteral(" "));
        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral(" "));
        model.setSaveFilename(QString());
        model.openPopover();
        QCOMPARE(model.saveFilename(), QStringLiteral("Other.txt"));
    }
};

QTEST_MAIN(TestSnippetSave)
#include "tst_snippetsave.moc"
