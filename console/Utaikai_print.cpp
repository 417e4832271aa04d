// The console's schedule printout: the print command and the picture picker of the race
// information page. Both work on the open event; the printout itself is printout/Ubrmenu.

#include "components/CuteBtn.h"
#include "console/ConsoleWidgets.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "printout/Ubrmenu.h"
#include "printout/Uimg.h"
#include "report/BRPrntr.h"

namespace console {

void TFtaikai::connectPrintHandlers()
{
    // The preview and the picker run their own loops while the command is on: a second press
    // meanwhile would start a second one over the first.
    CuteButton15->SetEgnoreContClick(true);
    CuteButton16->SetEgnoreContClick(true);
    CuteButton15->OnClick = [this] { CuteButton15Click(); };
    // A press while the last print still runs or waits for the print server is answered, not
    // dropped; once that print is over, the next press prints.
    CuteButton15->OnBusyClick = [this] { asker().inform(QString(), brEarlierPrintRunningText()); };
    CuteButton16->OnClick = [this] { CuteButton16Click(); };
}

void TFtaikai::CuteButton15Click()
{
    if (m_dev.dm)
        printout::printSchedule(dm(), *m_dev.clock, RGrang->ItemIndex() == 1, asker());
}

void TFtaikai::CuteButton16Click()
{
    if (m_dev.dm)
        printout::runPicturePicker(this, dm(), asker());
}

} // namespace console
