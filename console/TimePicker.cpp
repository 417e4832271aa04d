#include "console/TimePicker.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>

namespace console {
namespace {

// Longer than any time form: what goes beyond cannot make a time and is not kept.
constexpr qsizetype MaxTyped = 16;

// Digits of any width become ASCII, full-width colons plain ones; any other character makes the
// text no time (empty result).
QString normalisedTyped(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const int digit = c.digitValue();
        if (digit >= 0)
            out += QChar(u'0' + digit);
        else if (c == u':' || c == u'\uFF1A')
            out += QChar(u':');
        else
            return {};
    }
    return out;
}

// Keys that only change what the next key types: Shift (':' is Shift and ';' on a US keyboard),
// the locks, the level and mode switches, the input method's keys, dead keys and compose. They
// leave an entry as it is.
bool changesNextKeyOnly(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_AltGr:
    case Qt::Key_Mode_switch:
    case Qt::Key_Multi_key:
    case Qt::Key_Henkan:
    case Qt::Key_Muhenkan:
    case Qt::Key_Hiragana_Katakana:
    case Qt::Key_Kana_Lock:
    case Qt::Key_Zenkaku_Hankaku:
    case Qt::Key_Eisu_toggle:
        return true;
    default:
        return key >= Qt::Key_Dead_Grave && key <= Qt::Key_Dead_Longsolidusoverlay;
    }
}

} // namespace

std::optional<QTime> parseTypedTime(const QString& text)
{
    const QString t = normalisedTyped(text);
    const qsizetype colons = t.count(QChar(u':'));
    // Where hours, minutes and seconds start, and how many digits the hours have.
    int hourDigits = 0, minute = 0, second = 0;
    if (t.size() == 6 && colons == 0) {
        hourDigits = 2;
        minute = 2;
        second = 4;
    } else if (colons == 2 && (t.size() == 7 || t.size() == 8)) {
        hourDigits = int(t.size()) - 6;
        minute = hourDigits + 1;
        second = minute + 3;
        if (t[hourDigits] != u':' || t[second - 1] != u':')
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const int h = t.mid(0, hourDigits).toInt();
    const int m = t.mid(minute, 2).toInt();
    const int s = t.mid(second, 2).toInt();
    if (!QTime::isValid(h, m, s))
        return std::nullopt;
    return QTime(h, m, s);
}

TimePicker::TimePicker(QWidget* parent)
    : QTimeEdit(QTime(0, 0), parent)
{
    // A time set by the program while an entry is typed wins: the entry is dropped.
    connect(this, &QDateTimeEdit::timeChanged, this, [this] {
        if (m_typing && !m_following) {
            m_typing = false;
            m_typed.clear();
        }
    });
}

void TimePicker::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool command
        = event->modifiers().testAnyFlags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool printable = !command && !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
    if (printable) {
        type(text);
        event->accept();
        return;
    }
    if (m_typing) {
        switch (event->key()) {
        case Qt::Key_Backspace:
            m_typed.chop(1);
            type(QString());
            event->accept();
            return;
        case Qt::Key_Escape:
            Cancel();
            event->accept();
            return;
        default:
            // Shift before ':' and the like: the entry goes on.
            if (changesNextKeyOnly(event->key())) {
                event->accept();
                return;
            }
            // Enter, the arrows and the rest end the entry and then do what they always do.
            Finish();
            break;
        }
    }
    QTimeEdit::keyPressEvent(event);
}

void TimePicker::inputMethodEvent(QInputMethodEvent* event)
{
    // An input method (Japanese input switched on) hands typed digits over as committed text.
    if (!event->commitString().isEmpty() && event->preeditString().isEmpty()) {
        type(event->commitString());
        event->accept();
        return;
    }
    QTimeEdit::inputMethodEvent(event);
}

void TimePicker::focusOutEvent(QFocusEvent* event)
{
    Finish();
    QTimeEdit::focusOutEvent(event);
}

void TimePicker::wheelEvent(QWheelEvent* event)
{
    Finish();
    QTimeEdit::wheelEvent(event);
}

bool TimePicker::focusNextPrevChild(bool next)
{
    // Tab after an entry leaves the field; otherwise it walks the parts of the time first.
    if (!m_typing)
        return QTimeEdit::focusNextPrevChild(next);
    Finish();
    return QWidget::focusNextPrevChild(next);
}

QValidator::State TimePicker::validate(QString& input, int& pos) const
{
    // While an entry is typed the field holds it as it stands; it is judged when it ends.
    if (m_typing)
        return QValidator::Intermediate;
    return QTimeEdit::validate(input, pos);
}

void TimePicker::fixup(QString& input) const
{
    if (!m_typing)
        QTimeEdit::fixup(input);
}

void TimePicker::type(const QString& text)
{
    if (!m_typing) {
        m_typing = true;
        m_before = time();
        m_typed.clear();
    }
    m_typed = QString(m_typed + text).left(MaxTyped);
    follow(parseTypedTime(m_typed).value_or(m_before));
    // The new text moves the cursor to its end. Told of that move, the time edit reads the field
    // as a time and, an unfinished entry being none, puts the old time back (after a click at the
    // field's start the first character vanished). It is not told: the entry is judged when it
    // ends.
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(m_typed);
}

void TimePicker::follow(const QTime& typed)
{
    if (typed == time())
        return;
    m_following = true;
    setTime(typed);
    m_following = false;
}

void TimePicker::Finish()
{
    if (!m_typing)
        return;
    const QTime typed = parseTypedTime(m_typed).value_or(m_before);
    follow(typed);
    m_typing = false;
    m_typed.clear();
    showValue();
}

void TimePicker::Cancel()
{
    if (!m_typing)
        return;
    m_typed.clear();
    Finish();
}

void TimePicker::showValue() { lineEdit()->setText(textFromDateTime(dateTime())); }

} // namespace console
