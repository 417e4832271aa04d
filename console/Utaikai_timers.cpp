// The console's timers and page shows. The count-downs, the schedule ticker and the board clock
// hang on these handlers; they run on the window's thread.

#include "console/Utaikai.h"

namespace console {

void TFtaikai::Tm1Timer() { }

void TFtaikai::tmr2Timer() { }

void TFtaikai::Tmr3Timer() { }

void TFtaikai::TmsTimer() { }

void TFtaikai::TabSheet1Show() { }

void TFtaikai::TabSheet2Show() { }

void TFtaikai::TabSheet4Show() { }

// The settings page has nothing to refresh when shown.
void TFtaikai::TabSheet5Show() { }

} // namespace console
