#include "platform/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// The system's word on the failure, when it has a useful one; `step` otherwise. Qt says
// "Unknown error" where a write went part of the way (the system refused only the rest): the
// number the system gave then is errno's.
QString reasonOf(const QFileDevice& file, int error, const QString& step)
{
    // A device without an error says "Unknown error" (translated where Qt's texts are).
    const QString said = file.errorString();
    if (!said.isEmpty() && said != QFile().errorString())
        return said;
    if (error != 0)
        return QString::fromLocal8Bit(std::strerror(error));
    return step;
}

} // namespace

QString FileWriteFailure::text() const
{
    return QStringLiteral("ファイル %1 は保存されていません。元の内容のままです（%2）。")
        .arg(QDir::toNativeSeparators(path), reason);
}

std::optional<FileWriteFailure> writeWholeFile(
    const QString& path, const std::function<bool(QIODevice&)>& fill)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return FileWriteFailure { path, reasonOf(file, errno, QStringLiteral("開けません")) };
    QString step;
    errno = 0;
    if (!fill(file))
        step = QStringLiteral("書き込めません");
    else if (!file.flush())
        step = QStringLiteral("ディスクに書き出せません");
    if (!step.isEmpty()) {
        const int error = errno;
        const QString reason = reasonOf(file, error, step);
        // Removes the temporary file; the file itself is not touched.
        file.cancelWriting();
        file.commit();
        return FileWriteFailure { path, reason };
    }
    errno = 0;
    if (!file.commit())
        return FileWriteFailure { path, reasonOf(file, errno, QStringLiteral("置き換えられません")) };
    return std::nullopt;
}

std::optional<FileWriteFailure> writeWholeFile(const QString& path, const QByteArray& bytes)
{
    return writeWholeFile(path, [&bytes](QIODevice& file) { return file.write(bytes) == bytes.size(); });
}

std::optional<QString> writeFlushed(QFileDevice& file, const QByteArray& bytes)
{
    errno = 0;
    if (file.write(bytes) == bytes.size() && file.flush())
        return std::nullopt;
    return reasonOf(file, errno, QStringLiteral("書き込めません"));
}

} // namespace platform
