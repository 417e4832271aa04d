#include "platform/FileDialogFolder.h"

#include "platform/DataFolder.h"

#include <QFileInfo>

namespace platform {

QString FileDialogFolder::folder() const
{
    if (!m_folder.isEmpty() && QFileInfo(m_folder).isDir())
        return m_folder;
    return dataFolder();
}

void FileDialogFolder::remember(const QString& chosenFile)
{
    if (!chosenFile.isEmpty())
        m_folder = QFileInfo(chosenFile).absolutePath();
}

} // namespace platform
