#pragma once

#include <QString>

namespace platform {

// The folder that holds the settings file, the database and the monitor files:
// $TAVO_HOME, or ~/.local/share/Brenik/Tavo when unset. Created on first use.
QString dataFolder();

// Full path of a file inside the data folder.
QString dataFilePath(const QString& name);

} // namespace platform
