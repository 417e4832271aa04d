#include "platform/TavoApplication.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

QtMessageHandler previousHandler = nullptr;

// A painter that ends with a state saved and never restored has left its clip on the page (or
// on the printer's next page): the test that made it fails.
void failOnUnbalancedPainter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QPainter::end: Painter ended with")))
        ADD_FAILURE() << message.toStdString();
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    // Test discovery runs this binary outside ctest's environment: never try to reach a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No test sees the machine's print queues: libcups is pointed at a server that is not
    // there (a queue lister of its own where a test wants queues). Only the test that prints to
    // a real queue (TAVO_TEST_PRINTER) gets the machine's server back, for itself.
    testing_support::hideMachinePrintServer();
    // Nor the machine's sound server: players find none (and start none), except in the tests
    // that start a server of their own.
    qputenv("PULSE_SERVER", "unix:/nonexistent/tavo-test-pulse");
    // Every test process gets its own data folder; no test touches the operator's.
    QTemporaryDir home;
    qputenv("TAVO_HOME", home.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    previousHandler = qInstallMessageHandler(failOnUnbalancedPainter);
    platform::TavoApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
