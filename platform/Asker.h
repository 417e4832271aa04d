#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace platform {

// Questions and notices to the operator. The program shows message boxes; tests install
// a ScriptedAsker and read what was said.
class Asker {
public:
    virtual ~Asker() = default;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& caption, const QString& text) = 0;
    // A plain message box with an OK button.
    virtual void inform(const QString& caption, const QString& text) = 0;
    // The standard error box for an exception or failure nobody handled.
    virtual void error(const QString& text) = 0;
};

// Message boxes parented to the active window.
class MessageBoxAsker final : public Asker {
public:
    bool askYesNo(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
    void error(const QString& text) override;
};

// The asker everyone uses; MessageBoxAsker until replaced.
Asker& CurrentAsker();
// Replaces the current asker; returns the previous one. Passing nullptr restores message boxes.
std::unique_ptr<Asker> SetAsker(std::unique_ptr<Asker> asker);

// Short forms of the above.
inline bool AskYesNo(const QString& caption, const QString& text)
{
    return CurrentAsker().askYesNo(caption, text);
}
inline void ShowMessage(const QString& text) { CurrentAsker().inform(QString(), text); }
inline void ShowError(const QString& text) { CurrentAsker().error(text); }

} // namespace platform
