#include "console/ConsoleDevices.h"

#include <QRandomGenerator>

namespace console {

int SystemRandomSource::Below(int n) { return n > 0 ? QRandomGenerator::global()->bounded(n) : 0; }

} // namespace console
