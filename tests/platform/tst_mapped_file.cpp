#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "platform/MappedFile.h"

class TestMappedFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The parser reads past the end: the padding must be there, and zero, whatever the size,
    // including sizes that end right at or just before a page boundary.
    void bytesThenReadableZeros()
    {
        QTemporaryDir dir;
        const qsizetype page = sysconf(_SC_PAGESIZE);
        constexpr std::size_t padding = 64;
        for (const qsizetype size :
             {qsizetype(0), qsizetype(1), page - 64, page - 63, page - 1, page, page + 1}) {
            QByteArray bytes(size, '\0');
            for (qsizetype i = 0; i < size; ++i)
                bytes[i] = char('a' + i % 26);
            const QString path = dir.filePath(QString::number(size));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == size);
            file.close();
            const auto mapped = MappedFile::open(path, padding);
            QVERIFY(mapped);
            QCOMPARE(mapped->bytes(), QByteArrayView(bytes));
            const char *after = mapped->bytes().data() + size;
            for (std::size_t i = 0; i < padding; ++i)
                QCOMPARE(after[i], '\0');
        }
        QVERIFY(!MappedFile::open(dir.filePath(QStringLiteral("missing")), padding));
    }
};

QTEST_GUILESS_MAIN(TestMappedFile)
#include "tst_mapped_file.moc"
