#pragma once

// The steps of the readers of date and clock texts kept as UTF-8 bytes (the collations see only
// bytes): each moves `p` past what it read and never beyond `end`.

namespace platform {

// Up to `maxDigits` ASCII digits at `p` as a number in `value`, how many there were in `count`;
// false when there is none.
inline bool scanDigits(const char*& p, const char* end, int maxDigits, int& value, int& count)
{
    value = 0;
    count = 0;
    while (p < end && count < maxDigits && *p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        ++p;
        ++count;
    }
    return count > 0;
}

inline void skipSpacesAndTabs(const char*& p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
}

} // namespace platform
