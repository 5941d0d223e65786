#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// The settings file underneath the typed Settings object: a small text file, one "key=value"
// line each. Every value reads back as a string, as from an INI file. A settings file
// of the older INI layout is read as it is and rewritten in this one by the next sync.
class SettingsFile
{
public:
    explicit SettingsFile(const QString &path);
    // The file at Settings::defaultPath().
    static std::unique_ptr<SettingsFile> open();

    // Like QSettings, unsynced changes are written when the instance goes.
    ~SettingsFile();
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    QVariant value(QAnyStringView key, const QVariant &fallback = {}) const;
    bool contains(QAnyStringView key) const;
    QStringList allKeys() const { return m_values.keys(); }
    void setValue(QAnyStringView key, const QVariant &value);
    void remove(QAnyStringView key);
    void clear();
    QString fileName() const { return m_path; }

    // Puts the unsynced changes on disk over what the file holds now, so two instances that
    // change different keys do not undo each other. As with QSettings, changes not yet synced
    // are seen by every instance opened afterwards in this process. False when the file could
    // not be written; the old file then stays as it was and the changes wait for the next sync.
    bool sync();
    QString errorString() const { return m_error; }

private:
    QString m_path;
    QMap<QString, QVariant> m_values;
    bool m_changed = false;
    QString m_error;
};
