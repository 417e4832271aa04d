#include "platform/DataFolder.h"

#include <QDir>

namespace platform {

QString dataFolder()
{
    QString folder = qEnvironmentVariable("TAVO_HOME");
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/share/Brenik/Tavo");
    QDir().mkpath(folder);
    return QDir(folder).absolutePath();
}

QString dataFilePath(const QString& name) { return dataFolder() + QLatin1Char('/') + name; }

} // namespace platform
