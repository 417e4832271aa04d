#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace platform {

// Questions and notices to the operator. The program shows message boxes; tests install
// a ScriptedAsker and read what was said. Code below the forms uses only this interface, so it
// needs no widgets.
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

// The asker everyone uses. TavoApplication installs message boxes (platform/MessageBoxAsker.h);
// before it exists nobody can answer, so questions get No and texts go to the log (also what
// setAsker(nullptr) restores).
Asker& currentAsker();
// Replaces the current asker; returns the previous one.
std::unique_ptr<Asker> setAsker(std::unique_ptr<Asker> asker);

// Short forms of the above.
inline bool askYesNo(const QString& caption, const QString& text)
{
    return currentAsker().askYesNo(caption, text);
}
inline void showMessage(const QString& text) { currentAsker().inform(QString(), text); }
inline void showError(const QString& text) { currentAsker().error(text); }

} // namespace platform
