#include "support/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace testing_support {

QString saveGrab(QWidget* widget, const QString& name)
{
    QString dir = qEnvironmentVariable("TAVO_TEST_PNG_DIR");
    if (dir.isEmpty())
        dir = QDir::current().filePath(QStringLiteral("test-png"));
    QDir().mkpath(dir);
    QString path
        = QDir(dir).filePath(name.endsWith(QLatin1String(".png")) ? name : name + QStringLiteral(".png"));
    widget->grab().save(path);
    return path;
}

QImage grabImage(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

} // namespace testing_support
