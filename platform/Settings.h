#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <map>
#include <mutex>
#include <optional>

#include "platform/TavloOrientation.h"

// The user's preferences, typed: the one place that knows their keys and defaults. The file is
// read once, at construction; a change is visible at once and written by a worker thread, in the
// order made, over whatever else the file holds. A failed write shows in SaveStatus and is
// retried.
class Settings : public QObject
{
    Q_OBJECT

public:
    enum class Key { orientation, panelPosition, lastSaveFolder };
    Q_ENUM(Key)

    // $XDG_CONFIG_HOME/Quorvin/Quorvin.conf (default ~/.config/Quorvin/Quorvin.conf).
    static QString defaultPath();

    explicit Settings(const QString &path = defaultPath(), QObject *parent = nullptr);
    // Waits for the writes already queued.
    ~Settings() override;

    QString fileName() const { return m_path; }

    TavloOrientation orientation() const;
    void setOrientation(TavloOrientation orientation);

    // The panel's top-left corner, absent until the first save or when the saved one is unusable.
    std::optional<QPoint> panelPosition() const;
    void setPanelPosition(QPoint topLeft);

    // The folder a snippet was last saved to; empty when none.
    QString lastSaveFolder() const;
    void setLastSaveFolder(const QString &folder);

    // Blocks until every change made so far is written or has failed; true when all are on disk.
    bool waitForWrites();

Q_SIGNALS:
    // Emitted after the value changed in memory; its write may still be under way.
    void changed(Settings::Key key);

private:
    QString text(const char *key) const;
    void write(std::map<QString, QString> changes);
    void writeQueued(); // on the worker
    void writeFinished(bool ok);

    const QString m_path;
    std::map<QString, QString> m_values;

    QThreadPool m_writer;
    QTimer m_retry;
    int m_retryDelayMs = 0;
    std::mutex m_mutex; // guards the two below
    std::map<QString, QString> m_unwritten;
    bool m_writeQueued = false;
};
