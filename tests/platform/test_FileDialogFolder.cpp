#include "platform/DataFolder.h"
#include "platform/FileDialogFolder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(FileDialogFolder, TheDataFolderUntilAFileIsChosenThenThatFilesFolderWhileItExists)
{
    const testing_support::TempHome home;
    QDir(home.path()).mkpath(QStringLiteral("sounds/day1"));
    platform::FileDialogFolder folder;
    EXPECT_EQ(folder.folder(), platform::dataFolder());
    folder.remember(home.file(QStringLiteral("sounds/day1/start.wav")));
    EXPECT_EQ(folder.folder(), home.file(QStringLiteral("sounds/day1")));
    folder.remember(QString()); // a cancelled dialog
    EXPECT_EQ(folder.folder(), home.file(QStringLiteral("sounds/day1")));
    QDir(home.file(QStringLiteral("sounds"))).removeRecursively();
    EXPECT_EQ(folder.folder(), platform::dataFolder());
}
