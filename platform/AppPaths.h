#pragma once

#include <QString>

// Folders the application writes to besides the settings file.
namespace AppPaths {

// $XDG_DATA_HOME/Quorvin (default ~/.local/share/Quorvin). Not created here.
QString dataFolder();

// Files the application made that hold user content get owner-only permissions.
void makePrivate(const QString &path);

} // namespace AppPaths
