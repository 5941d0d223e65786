#include "PersistenceFixtures.h"

namespace Fixtures {

const QString homeId = QStringLiteral("11111111-1111-4111-8111-111111111111");
const QString workId = QStringLiteral("22222222-2222-4222-8222-222222222222");
const QString itemA = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
const QString itemB = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000002");

QByteArray twoTavlos(const QString &firstName)
{
    return QString::fromUtf8(R"([{"id":"%1","name":"%2"},{"id":"%3","name":"Work"}])")
        .arg(homeId, firstName, workId)
        .toUtf8();
}

QByteArray laterCurrentTavlos()
{
    return QString::fromUtf8(R"([{"id":"%1","name":"A"},{"id":"%2","name":"Current"}])")
        .arg(homeId, workId)
        .toUtf8();
}

QByteArray badUuidTavlos()
{
    return QByteArray(R"([{"id":"x","name":"A"}])");
}

QByteArray namelessTavlos()
{
    return QString::fromUtf8(R"([{"id":"%1"}])").arg(homeId).toUtf8();
}

// One item of each load rule: legacy text, unknown tavlo, empty legacy text, web URL as a file,
// file URL plus bookmark, failed RTF export, bookmark only, bookmark that is not a URL, null title.
QString migrationItems()
{
    return QString::fromUtf8(
               R"([{"id":"%1","kind":"text","text":"legacy","tavloID":"%3"},)"
               R"({"id":"%2","kind":"url","urlString":"ftp://x.example","tavloID":"99999999-9999-4999-8999-999999999999"},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000003","kind":"text","text":""},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000004","kind":"file","fileURLString":"https://web.example/f"},)"
               R"({"id":"aaaaaaaa-0000-4000-8000-000000000005","kind":"file","fileURLString":"file:///tmp/./g","bookmarkData":"Ym0=","tavloID":"%3","extra":[1,2]},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000006","kind":"text","richTextData":"","richTextPlainText":"exported badly","title":"  T  "},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000007","kind":"file","bookmarkData":"%4"},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000008","kind":"file","bookmarkData":"/w=="},)"
               R"({"id":"AAAAAAAA-0000-4000-8000-000000000009","kind":"text","richTextData":"","text":"old plain","title":null}])")
        .arg(itemA, itemB, workId, QString::fromLatin1(QByteArray("file:///tmp/x/../marked").toBase64()));
}

QString urlItem(const QString &id, const QString &url, const QString &tavlo)
{
    return QString::fromUtf8(R"({"id":"%1","kind":"url","urlString":"%2","tavloID":"%3"})")
        .arg(id, url, tavlo);
}

QByteArray unknownKindItems()
{
    return QString::fromUtf8(
               R"([{"id":"%1","kind":"url","urlString":"https://a.example"},{"id":"%2","kind":"folder"}])")
        .arg(itemA, itemB)
        .toUtf8();
}

} // namespace Fixtures
