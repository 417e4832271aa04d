#pragma once

#include "platform/Asker.h"

namespace platform {

// Message boxes parented to the active window; TavoApplication installs it as the current asker.
class MessageBoxAsker final : public Asker {
public:
    bool askYesNo(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
    void error(const QString& text) override;
};

} // namespace platform
