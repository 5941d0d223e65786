#include "platform/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

#include <mutex>

#include "platform/DurableFile.h"
#include "platform/SaveStatus.h"
#include "platform/Settings.h"

namespace {

constexpr QByteArrayView header = "# Quorvin settings\n";

// One read-merge-write at a time within the process.
std::mutex &fileMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Changes made through any instance and not yet on disk, by file.
struct Pending
{
    bool cleared = false;
    QMap<QString, QVariant> changes; // an invalid value: removed
};

QHash<QString, Pending> &pendingChanges()
{
    static QHash<QString, Pending> pending;
    return pending;
}

QMap<QString, QVariant> withPending(const QString &path, QMap<QString, QVariant> values)
{
    const auto it = pendingChanges().constFind(path);
    if (it == pendingChanges().cend())
        return values;
    if (it->cleared)
        values.clear();
    for (auto change = it->changes.cbegin(); change != it->changes.cend(); ++change) {
        if (change.value().isValid())
            values.insert(change.key(), change.value());
        else
            values.remove(change.key());
    }
    return values;
}

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '=':
            out += "\\e";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescaped(QByteArrayView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            c = next == 'n' ? '\n' : next == 'r' ? '\r' : next == 'e' ? '=' : next;
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

QMap<QString, QVariant> parse(const QByteArray &bytes)
{
    QMap<QString, QVariant> values;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        values.insert(unescaped(line.first(equals)), unescaped(line.sliced(equals + 1)));
    }
    return values;
}

QMap<QString, QVariant> readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.startsWith(header) || bytes.isEmpty())
        return parse(bytes);
    // The layout QSettings wrote before: its own reader knows every quirk of it.
    QMap<QString, QVariant> values;
    const QSettings legacy(path, QSettings::IniFormat);
    for (const QString &key : legacy.allKeys()) {
        if (!key.isEmpty())
            values.insert(key, legacy.value(key));
    }
    return values;
}

} // namespace

SettingsFile::SettingsFile(const QString &path) : m_path(path)
{
    std::lock_guard lock(fileMutex());
    const bool cleared = pendingChanges().value(path).cleared;
    m_values = withPending(path, cleared ? QMap<QString, QVariant>() : readFile(path));
}

SettingsFile::~SettingsFile()
{
    if (m_changed)
        sync();
}

QVariant SettingsFile::value(QAnyStringView key, const QVariant &fallback) const
{
    return m_values.value(key.toString(), fallback);
}

bool SettingsFile::contains(QAnyStringView key) const
{
    return m_values.contains(key.toString());
}

void SettingsFile::setValue(QAnyStringView anyKey, const QVariant &value)
{
    const QString key = anyKey.toString();
    // Kept as the text the file will hold, so a value reads the same before and after a sync.
    const QVariant text = value.typeId() == QMetaType::QByteArray ? value : QVariant(value.toString());
    m_values.insert(key, text);
    std::lock_guard lock(fileMutex());
    pendingChanges()[m_path].changes.insert(key, text);
    m_changed = true;
}

void SettingsFile::remove(QAnyStringView anyKey)
{
    const QString key = anyKey.toString();
    m_values.remove(key);
    std::lock_guard lock(fileMutex());
    pendingChanges()[m_path].changes.insert(key, QVariant());
    m_changed = true;
}

void SettingsFile::clear()
{
    m_values.clear();
    std::lock_guard lock(fileMutex());
    pendingChanges()[m_path] = Pending {true, {}};
    m_changed = true;
}

bool SettingsFile::sync()
{
    std::lock_guard lock(fileMutex());
    m_changed = false;
    const auto pending = pendingChanges().constFind(m_path);
    if (pending == pendingChanges().cend()) {
        m_values = readFile(m_path);
        return true;
    }
    const QMap<QString, QVariant> merged =
        withPending(m_path, pending->cleared ? QMap<QString, QVariant>() : readFile(m_path));
    QByteArray bytes(header.data(), header.size());
    for (auto it = merged.cbegin(); it != merged.cend(); ++it) {
        const QString text = it.value().typeId() == QMetaType::QByteArray
            ? QString::fromLatin1(it.value().toByteArray())
            : it.value().toString();
        bytes += escaped(it.key()) + '=' + escaped(text) + '\n';
    }
    const DurableFile::Result result = DurableFile::write(m_path, bytes);
    m_values = merged;
    if (!result.ok()) {
        m_error = result.reason;
        SaveStatus::instance().report(QStringLiteral("settings"), result.reason, QFileInfo(m_path).path());
        return false;
    }
    m_error.clear();
    pendingChanges().remove(m_path);
    SaveStatus::instance().clear(QStringLiteral("settings"));
    return true;
}

std::unique_ptr<SettingsFile> SettingsFile::open()
{
    return std::make_unique<SettingsFile>(Settings::defaultPath());
}
