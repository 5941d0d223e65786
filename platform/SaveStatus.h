#pragma once

#include <QObject>
#include <QString>

#include <mutex>

// What the application could not write. Every writer reports here, from any thread; the panel
// shows a warning while anything is listed. A problem stays until its writer succeeds again,
// or for a few seconds when nothing will retry it (a dropped image that was not kept).
class SaveStatus : public QObject
{
    Q_OBJECT

public:
    static SaveStatus &instance();

    // `source` names the writer ("items", "settings", ...); a later report of it replaces this one.
    void report(const QString &source, const QString &reason, const QString &folder);
    void reportBriefly(const QString &source, const QString &reason, const QString &folder);
    void clear(const QString &source);

    bool hasProblem() const;
    // "Not saved: <reason>" and the folder, for the newest problem; empty when all is saved.
    QString message() const;

Q_SIGNALS:
    // Queued to the GUI thread whatever thread reported.
    void changed();

private:
    SaveStatus() = default;
    void notify();

    struct Problem
    {
        QString source, reason, folder;
        quint64 serial = 0;
    };
    mutable std::mutex m_mutex;
    QList<Problem> m_problems;
    quint64 m_serial = 0;
};
