#include "platform/TavoApplication.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs this binary outside ctest's environment: never try to reach a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every test process gets its own data folder; no test touches the operator's.
    QTemporaryDir home;
    qputenv("TAVO_HOME", home.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    platform::TavoApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
