// The console's race information schedule: its rows, editor commands, rounds and heats, the
// current and next item, and the standard templates.

#include "console/Utaikai.h"

namespace console {

void TFtaikai::ConnectScheduleHandlers() { }

void TFtaikai::Tmr3Timer() { }

void TFtaikai::TabSheet1Show() { }

void TFtaikai::TabSheet4Show() { }

} // namespace console
