#pragma once

// An event opened in the race console: the event of ConsoleEventFixture (or of a fixture built on
// it) with the console's form over its recording devices.

#include "console/Utaikai.h"
#include "console_core/ConsoleEventFixture.h"

#include <memory>

namespace testing_support {

template <class EventFixture> class WithConsoleForm : public EventFixture {
protected:
    // A console for the event, shown as the event list shows it.
    std::unique_ptr<console::TFtaikai> Open() { return show(this->devices()); }

    static std::unique_ptr<console::TFtaikai> show(const console::ConsoleDevices& devices)
    {
        auto f = std::make_unique<console::TFtaikai>(nullptr, devices);
        f->resize(997, 696);
        f->show();
        return f;
    }
};

using ConsoleFixture = WithConsoleForm<ConsoleEventFixture>;

} // namespace testing_support
