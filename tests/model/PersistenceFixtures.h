#pragma once

#include <QByteArray>
#include <QString>

// Stored JSON as older versions or damaged files left it. Kept out of the test sources because
// moc cannot read raw string literals.
namespace Fixtures {

extern const QString homeId;
extern const QString workId;
extern const QString itemA;
extern const QString itemB;

QByteArray twoTavlos(const QString &firstName = QStringLiteral("Home"));
QByteArray laterCurrentTavlos();
QByteArray badUuidTavlos();
QByteArray namelessTavlos();
QString migrationItems();
QString urlItem(const QString &id, const QString &url, const QString &tavlo);
QByteArray unknownKindItems();

} // namespace Fixtures
