// The console's timers and page shows. The count-downs, the schedule ticker and the board clock
// hang on these handlers; they run on the window's thread.

#include "console/BoardLine.h"
#include "console/ConsoleWidgets.h"
#include "console/Utaikai.h"
#include "platform/Clock.h"

namespace console {

void TFtaikai::Tm1Timer() { }

void TFtaikai::tmr2Timer() { }

void TFtaikai::Tmr3Timer() { }

void TFtaikai::TmsTimer()
{
    // The board shows the time of day while no count-down runs and the board is switched on.
    if (Tm1.isActive() || tmr2.isActive())
        return;
    BoardLineInput line;
    line.kind = BoardLineKind::Clock;
    line.tenths = SecondOfDay(*m_dev.clock) * 10;
    line.boardOn = RGgaz->ItemIndex() == 0;
    SendBoardLine(*m_dev.board, line);
}

void TFtaikai::TabSheet1Show() { }

void TFtaikai::TabSheet2Show() { }

void TFtaikai::TabSheet4Show() { }

// The settings page has nothing to refresh when shown.
void TFtaikai::TabSheet5Show() { }

} // namespace console
