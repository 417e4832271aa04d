#pragma once

#include <QString>

namespace platform {

// Where a file dialog opens: the folder of the file last chosen through it in this run, else the
// data folder. Never the program's current folder, which may be a source checkout whose file
// scanning would cost time during a race.
class FileDialogFolder {
public:
    // The remembered folder while it still exists, else the data folder.
    QString folder() const;
    // Remembers the folder of a chosen file; an empty name (a cancelled dialog) changes nothing.
    void remember(const QString& chosenFile);

private:
    QString m_folder;
};

} // namespace platform
