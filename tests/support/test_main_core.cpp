#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The main of the test programs whose code has no windows: a plain Qt Core application, so that
// the program links neither Qt Gui nor Qt Widgets.
int main(int argc, char** argv)
{
    // Every test process gets its own data folder; no test touches the operator's.
    QTemporaryDir home;
    qputenv("TAVO_HOME", home.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
