#include "app/Udm1.h"
#include "app/Umain.h"
#include "app/uselecttaikai.h"
#include "console/Utaikai.h"
#include "platform/EndOnSignals.h"
#include "platform/Sockets.h"
#include "platform/TavoApplication.h"
#include "report/BRExpr.h"
#include "report/BRPrev.h"

#include <QTranslator>
#include <memory>

int main(int argc, char** argv)
{
    platform::startSockets();
    platform::TavoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavo"));
    // Qt's own dialogs speak Japanese with the rest of the program, when the translations are
    // installed; without them they stay English.
    const auto qtTexts = platform::installQtTranslations();
    // A desktop logging out or a closed terminal closes the windows as the operator would, so
    // that the console's close steps run and the program ends through the end of its loop.
    const platform::EndOnSignals endOnSignals;
    brExprStartUp();
    brPrevStartUp();

    // The event list opens the race console for the chosen event.
    OpenRaceConsole = [](QWidget* owner) { console::runRaceConsole(owner); };

    auto dataModule = std::make_unique<TDM1>();
    DM1 = dataModule.get();
    auto startWindow = std::make_unique<TFmain>();
    Fmain = startWindow.get();
    Fmain->show();
    const int rc = QApplication::exec();
    startWindow.reset();
    dataModule.reset();
    return rc;
}
