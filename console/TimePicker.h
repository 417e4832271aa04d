#pragma once

// The console's time picker (presets, schedule start and length, cue and signal times). The
// operator types times: whatever part of the field was clicked, typed characters start a new
// entry that replaces the whole time. "H:MM:SS", "HH:MM:SS" or six digits "HHMMSS" set it; any
// other entry leaves the time it had before. The arrow keys and the wheel still step the part
// under the cursor as a plain QTimeEdit does.
//
// The time follows the entry while it is typed (a button that takes no focus, such as Start,
// sees the typed time at once); Enter, Tab, a click elsewhere or any other key that types nothing
// ends the entry, Escape drops it. Keys that only change what the next key types (Shift, the
// locks, the input method's keys) leave it as it is. The field shows the entry as typed, from its
// first character, until it ends.

#include <QTime>
#include <QTimeEdit>
#include <optional>

namespace console {

// A typed time: "H:MM:SS", "HH:MM:SS" or "HHMMSS" (hours 0-23, minutes and seconds 0-59).
// Nothing for any other text.
std::optional<QTime> parseTypedTime(const QString& text);

class TimePicker : public QTimeEdit {
    Q_OBJECT
public:
    explicit TimePicker(QWidget* parent = nullptr);

    // An entry is being typed.
    bool typing() const { return m_typing; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    void type(const QString& text);
    // Ends the entry: the typed time when it is one, else the time from before the entry.
    void Finish();
    // Drops the entry and gives back the time from before it.
    void Cancel();
    // Sets the time the entry stands for, as the picker's own change.
    void follow(const QTime& typed);
    void showValue();

    bool m_typing = false;
    bool m_following = false;
    QString m_typed;
    QTime m_before;
};

} // namespace console
