#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// CP932 (Windows Shift-JIS) is what the outside programs of the track PC read and write.
// Characters CP932 cannot hold become '?'; bytes that are not CP932 are decoded as U+FFFD.
QByteArray toCp932(const QString& text);
QString fromCp932(const QByteArray& bytes);

} // namespace platform
