#include "console/ConsoleDevices.h"

#include <QRandomGenerator>
#include <QThread>

namespace console {

void ThreadSleeper::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

int SystemRandomSource::below(int n) { return n > 0 ? QRandomGenerator::global()->bounded(n) : 0; }

} // namespace console
