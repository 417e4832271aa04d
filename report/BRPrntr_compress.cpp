#include "report/BRPrntr.h"

namespace {
constexpr int Root = 0;
constexpr int LeafBase = 256;
constexpr int MaxNode = 512;
} // namespace

TBRCompress::TBRCompress(QByteArray* out)
    : m_compressing(true)
    , m_out(out)
    , m_bitPos(0)
{
    InitTree();
}

TBRCompress::TBRCompress(QByteArrayView in)
    : m_compressing(false)
    , m_in(in)
    , m_bitPos(7)
{
    // Starting at bit 7 makes the first bit fetch read a byte.
    InitTree();
}

TBRCompress::~TBRCompress()
{
    if (m_compressing)
        Flush();
}

void TBRCompress::InitTree()
{
    // A complete two-way tree: leaves 256..510 (bytes 0..254) at depth 8, leaves 511 and 512 at
    // depth 9 below node 255.
    for (int i = 1; i <= MaxNode; ++i)
        m_up[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i - 1) / 2);
    for (int j = 0; j < 256; ++j) {
        m_left[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(2 * j + 1);
        m_right[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(2 * j + 2);
    }
}

void TBRCompress::Splay(int b)
{
    // Semi-splaying: the node and its grandparent's other subtree change places, halving the
    // depth of the path.
    int a = b + LeafBase;
    for (;;) {
        const int c = m_up[static_cast<std::size_t>(a)];
        if (c == Root)
            return;
        const int d = m_up[static_cast<std::size_t>(c)];
        int x;
        if (m_left[static_cast<std::size_t>(d)] == c) {
            x = m_right[static_cast<std::size_t>(d)];
            m_right[static_cast<std::size_t>(d)] = static_cast<std::uint16_t>(a);
        } else {
            x = m_left[static_cast<std::size_t>(d)];
            m_left[static_cast<std::size_t>(d)] = static_cast<std::uint16_t>(a);
        }
        if (m_left[static_cast<std::size_t>(c)] == a)
            m_left[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(x);
        else
            m_right[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(x);
        m_up[static_cast<std::size_t>(a)] = static_cast<std::uint8_t>(d);
        m_up[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(c);
        a = d;
        if (a == Root)
            return;
    }
}

void TBRCompress::Encode(std::uint8_t b)
{
    // The path from the leaf up to the root, one bit per node: 1 for a right child.
    std::array<bool, MaxNode + 1> bits;
    int depth = 0;
    int a = b + LeafBase;
    while (a != Root) {
        const int parent = m_up[static_cast<std::size_t>(a)];
        bits[static_cast<std::size_t>(depth++)] = m_right[static_cast<std::size_t>(parent)] == a;
        a = parent;
    }
    // Emitted root first.
    while (depth > 0) {
        if (bits[static_cast<std::size_t>(--depth)])
            m_byte = static_cast<std::uint8_t>(m_byte | (1u << m_bitPos));
        if (m_bitPos == 7) {
            m_out->append(static_cast<char>(m_byte));
            m_bitPos = 0;
            m_byte = 0;
        } else {
            ++m_bitPos;
        }
    }
    Splay(b);
}

bool TBRCompress::Decode(std::uint8_t& b)
{
    int a = Root;
    while (a < LeafBase) {
        if (m_bitPos == 7) {
            if (m_inPos >= m_in.size())
                return false; // the code ends inside this byte's path
            m_byte = static_cast<std::uint8_t>(m_in[m_inPos++]);
            m_bitPos = 0;
        } else {
            ++m_bitPos;
        }
        const bool one = (m_byte >> m_bitPos) & 1u;
        a = one ? m_right[static_cast<std::size_t>(a)] : m_left[static_cast<std::size_t>(a)];
    }
    b = static_cast<std::uint8_t>(a - LeafBase);
    Splay(b);
    return true;
}

void TBRCompress::Flush()
{
    if (m_bitPos != 0) {
        m_out->append(static_cast<char>(m_byte));
        m_bitPos = 0;
        m_byte = 0;
    }
}

QByteArray TBRCompress::Compress(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() / 2 + 16);
    {
        TBRCompress coder(&out);
        for (char c : data)
            coder.Encode(static_cast<std::uint8_t>(c));
    }
    return out;
}

std::optional<QByteArray> TBRCompress::Expand(QByteArrayView code, qsizetype length)
{
    if (length < 0)
        return std::nullopt;
    // Each code byte holds at most eight bytes' codes (a leaf is never nearer the root than one
    // bit), so a longer claim cannot be met: refuse it before allocating anything.
    if (length / 8 > code.size())
        return std::nullopt;
    QByteArray out(length, Qt::Uninitialized);
    TBRCompress decoder(code);
    for (qsizetype i = 0; i < length; ++i) {
        std::uint8_t b;
        if (!decoder.Decode(b))
            return std::nullopt;
        out[i] = static_cast<char>(b);
    }
    return out;
}
