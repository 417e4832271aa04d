// The console's link to the timing server.

#include "console/Utaikai.h"

namespace console {

void TFtaikai::ConnectLinkHandlers() { }

} // namespace console
