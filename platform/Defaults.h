#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The user defaults database: an INI file at $XDG_CONFIG_HOME/Quorvin/Quorvin.conf.
// QSettings is reentrant, so each thread that writes opens its own instance.
namespace Defaults {

std::unique_ptr<QSettings> open();

// Writes the pending changes of `settings` to disk now.
void flush(QSettings &settings);

} // namespace Defaults

// Folders the application writes to besides the defaults.
namespace AppPaths {

// $XDG_DATA_HOME/Quorvin (default ~/.local/share/Quorvin). Not created here.
QString dataFolder();

// Files the application made that hold user content get owner-only permissions.
void makePrivate(const QString &path);

} // namespace AppPaths
