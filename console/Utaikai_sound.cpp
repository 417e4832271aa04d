// The console's sound cues: the cue tables per phase, their registration and playback.

#include "console/Utaikai.h"

namespace console {

void TFtaikai::ConnectSoundHandlers() { }

void TFtaikai::TabSheet2Show() { }

void TFtaikai::setmp() { }

void TFtaikai::clearmp() { }

} // namespace console
