#include "report/BRConst.h"

QString brFormat(const char* text, const QString& a, const QString& b)
{
    const QString pattern = QString::fromUtf8(text);
    QString out;
    out.reserve(pattern.size() + a.size() + b.size());
    int used = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's') {
            out += used == 0 ? a : b;
            ++used;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}
