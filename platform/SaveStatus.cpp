#include "platform/SaveStatus.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

SaveStatus &SaveStatus::instance()
{
    static SaveStatus *status = [] {
        auto *s = new SaveStatus; // lives as long as the process; threads may report until the end
        if (auto *app = QCoreApplication::instance())
            s->moveToThread(app->thread());
        return s;
    }();
    return *status;
}

void SaveStatus::report(const QString &source, const QString &reason, const QString &folder)
{
    {
        std::lock_guard lock(m_mutex);
        m_problems.removeIf([&](const Problem &p) { return p.source == source; });
        m_problems.append({source, reason, folder, ++m_serial});
    }
    notify();
}

void SaveStatus::reportBriefly(const QString &source, const QString &reason, const QString &folder)
{
    report(source, reason, folder);
    quint64 serial = 0;
    {
        std::lock_guard lock(m_mutex);
        serial = m_serial;
    }
    QMetaObject::invokeMethod(
        this,
        [this, source, serial] {
            QTimer::singleShot(6000, this, [this, source, serial] {
                {
                    std::lock_guard lock(m_mutex);
                    // A newer report of the same writer keeps showing.
                    if (!m_problems.removeIf(
                            [&](const Problem &p) { return p.source == source && p.serial == serial; }))
                        return;
                }
                Q_EMIT changed();
            });
        },
        Qt::QueuedConnection);
}

void SaveStatus::clear(const QString &source)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_problems.removeIf([&](const Problem &p) { return p.source == source; }))
            return;
    }
    notify();
}

bool SaveStatus::hasProblem() const
{
    std::lock_guard lock(m_mutex);
    return !m_problems.isEmpty();
}

QString SaveStatus::message() const
{
    std::lock_guard lock(m_mutex);
    if (m_problems.isEmpty())
        return {};
    const Problem &p = m_problems.last();
    return QStringLiteral("Not saved: %1\n%2").arg(p.reason, p.folder);
}

void SaveStatus::notify()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT changed(); }, Qt::QueuedConnection);
}
