#include "platform/Settings.h"

#include <QDir>
#include <QVariant>

#include <algorithm>
#include <cmath>

#include "platform/SettingsFile.h"

namespace {

constexpr const char *orientationKey = "Quorvin.Orientation";
constexpr const char *positionXKey = "Quorvin.Position.X";
constexpr const char *positionYKey = "Quorvin.Position.Y";
constexpr const char *hasPositionKey = "Quorvin.Position.HasSaved";
constexpr const char *lastSaveFolderKey = "Quorvin.LastSaveFolderPath";

constexpr int firstRetryMs = 500;
constexpr int lastRetryMs = 60'000;

} // namespace

QString Settings::defaultPath()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/Quorvin/Quorvin.conf"));
}

Settings::Settings(const QString &path, QObject *parent) : QObject(parent), m_path(path)
{
    const SettingsFile file(m_path);
    for (const QString &key : file.allKeys())
        m_values[key] = file.value(key).toString();
    m_writer.setMaxThreadCount(1); // one writer keeps the writes in the order made
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { write({}); });
}

Settings::~Settings()
{
    m_retry.stop();
    // A change still waiting for its retry gets one last try.
    bool unwritten = false;
    {
        std::lock_guard lock(m_mutex);
        unwritten = !m_unwritten.empty() && !m_writeQueued;
    }
    if (unwritten)
        write({});
    m_writer.waitForDone();
}

QString Settings::text(const char *key) const
{
    const auto it = m_values.find(QLatin1String(key));
    return it == m_values.end() ? QString() : it->second;
}

TavloOrientation Settings::orientation() const
{
    return orientationFromRawValue(text(orientationKey));
}

void Settings::setOrientation(TavloOrientation orientation)
{
    if (orientation == this->orientation())
        return;
    write({{QLatin1String(orientationKey), orientationRawValue(orientation)}});
    Q_EMIT changed(Key::orientation);
}

std::optional<QPoint> Settings::panelPosition() const
{
    if (!QVariant(text(hasPositionKey)).toBool())
        return std::nullopt;
    bool okX = false;
    bool okY = false;
    const double x = text(positionXKey).toDouble(&okX);
    const double y = text(positionYKey).toDouble(&okY);
    // Garbage, NaN or values far outside any desktop count as nothing saved.
    constexpr double limit = 1 << 24;
    if (!okX || !okY || !(std::abs(x) < limit) || !(std::abs(y) < limit))
        return std::nullopt;
    return QPoint(qRound(x), qRound(y));
}

void Settings::setPanelPosition(QPoint topLeft)
{
    if (panelPosition() == topLeft)
        return;
    write({{QLatin1String(positionXKey), QString::number(topLeft.x())},
           {QLatin1String(positionYKey), QString::number(topLeft.y())},
           {QLatin1String(hasPositionKey), QStringLiteral("true")}});
    Q_EMIT changed(Key::panelPosition);
}

QString Settings::lastSaveFolder() const
{
    return text(lastSaveFolderKey);
}

void Settings::setLastSaveFolder(const QString &folder)
{
    if (folder == lastSaveFolder())
        return;
    write({{QLatin1String(lastSaveFolderKey), folder}});
    Q_EMIT changed(Key::lastSaveFolder);
}

bool Settings::waitForWrites()
{
    m_writer.waitForDone();
    std::lock_guard lock(m_mutex);
    return m_unwritten.empty();
}

void Settings::write(std::map<QString, QString> changes)
{
    for (const auto &[key, value] : changes)
        m_values[key] = value;
    std::lock_guard lock(m_mutex);
    for (auto &[key, value] : changes)
        m_unwritten[key] = std::move(value);
    // A write not yet started takes every change made until it starts.
    if (m_writeQueued || m_unwritten.empty())
        return;
    m_writeQueued = true;
    m_writer.start([this] { writeQueued(); });
}

void Settings::writeQueued()
{
    std::map<QString, QString> changes;
    {
        std::lock_guard lock(m_mutex);
        changes = m_unwritten;
        m_writeQueued = false;
    }
    // Read, merge and write: keys this object does not know (older data the store has not moved
    // out yet) stay as they are.
    SettingsFile file(m_path);
    for (const auto &[key, value] : changes)
        file.setValue(key, value);
    const bool ok = file.sync();
    if (ok) {
        std::lock_guard lock(m_mutex);
        for (const auto &[key, value] : changes) {
            const auto it = m_unwritten.find(key);
            if (it != m_unwritten.end() && it->second == value)
                m_unwritten.erase(it);
        }
    }
    QMetaObject::invokeMethod(
        this, [this, ok] { writeFinished(ok); }, Qt::QueuedConnection);
}

void Settings::writeFinished(bool ok)
{
    if (ok) {
        m_retryDelayMs = 0;
        return;
    }
    m_retryDelayMs = std::clamp(m_retryDelayMs * 2, firstRetryMs, lastRetryMs);
    m_retry.start(m_retryDelayMs);
}
