#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace platform {
namespace {

// Converts with iconv, replacing what cannot be converted by `replacement` and going on.
QByteArray convert(
    const char* to, const char* from, const QByteArray& in, const QByteArray& replacement, int unitSize)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv_open failed: ") + from + " -> " + to);
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<qsizetype>(dst - buffer));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip one input unit and mark the gap.
            out.append(replacement);
            size_t skip = std::min<size_t>(srcLeft, static_cast<size_t>(unitSize));
            if (unitSize == 0) {
                // UTF-8 input: skip the whole sequence starting here.
                unsigned char c = static_cast<unsigned char>(*src);
                skip = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                skip = std::min(skip, srcLeft);
            }
            src += skip;
            srcLeft -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray toCp932(const QString& text)
{
    return convert("CP932", "UTF-8", text.toUtf8(), QByteArrayLiteral("?"), 0);
}

QString fromCp932(const QByteArray& bytes)
{
    return QString::fromUtf8(convert("UTF-8", "CP932", bytes, QByteArrayLiteral("\xEF\xBF\xBD"), 1));
}

} // namespace platform
