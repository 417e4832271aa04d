#include "platform/DataFolder.h"

#include <QDir>

namespace platform {

QString DataFolder()
{
    QString folder = qEnvironmentVariable("TAVO_HOME");
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/share/Brenik/Tavo");
    QDir().mkpath(folder);
    return QDir(folder).absolutePath();
}

QString DataFilePath(const QString& name) { return DataFolder() + QLatin1Char('/') + name; }

} // namespace platform
