#include "platform/Asker.h"

#include <QtDebug>

namespace platform {
namespace {

// Without a window nobody can answer: the question is refused and every text is kept in the log.
class LogAsker final : public Asker {
public:
    bool askYesNo(const QString& caption, const QString& text) override
    {
        qWarning().noquote() << caption << text;
        return false;
    }
    void inform(const QString& caption, const QString& text) override
    {
        qInfo().noquote() << caption << text;
    }
    void error(const QString& text) override { qCritical().noquote() << text; }
};

std::unique_ptr<Asker>& slot()
{
    static std::unique_ptr<Asker> asker = std::make_unique<LogAsker>();
    return asker;
}

} // namespace

Asker& currentAsker() { return *slot(); }

std::unique_ptr<Asker> setAsker(std::unique_ptr<Asker> asker)
{
    if (!asker)
        asker = std::make_unique<LogAsker>();
    std::swap(asker, slot());
    return asker;
}

} // namespace platform
