// The console's count-downs: the phase count-down with Start, Stop and Reset, and the interval
// that can start the next race by itself.

#include "console/Utaikai.h"

namespace console {

void TFtaikai::ConnectCountdownHandlers() { }

void TFtaikai::Tm1Timer() { }

void TFtaikai::tmr2Timer() { }

} // namespace console
