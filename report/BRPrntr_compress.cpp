#include "report/BRPrntr.h"

#include <QtEndian>

// The tree is kept as child[node][side] (side 1 = right) and up[node] = parent * 2 + side, so that
// walking a path needs no comparison to learn which way it turns. Code bits go through a 64-bit
// word in both directions: the coder collects a byte's whole path in one word and writes code
// bytes four at a time, the decoder takes code bytes a few at a time and its bits one by one.

namespace {
constexpr unsigned Root = 0;
constexpr unsigned LeafBase = 256;
constexpr unsigned MaxNode = 512;
} // namespace

TBRCompress::TBRCompress(QByteArray* out)
    : m_compressing(true)
    , m_out(out)
{
    InitTree();
}

TBRCompress::TBRCompress(QByteArrayView in)
    : m_compressing(false)
    , m_in(in)
{
    InitTree();
}

TBRCompress::~TBRCompress()
{
    if (m_compressing)
        flush();
}

void TBRCompress::InitTree()
{
    // A complete two-way tree: leaves 256..510 (bytes 0..254) at depth 8, leaves 511 and 512 at
    // depth 9 below node 255. Node i is the left child of (i - 1) / 2 when i is odd.
    for (unsigned i = 1; i <= MaxNode; ++i)
        m_up[i] = static_cast<std::uint16_t>((i - 1) / 2 * 2 + (i % 2 == 0 ? 1 : 0));
    for (unsigned j = 0; j < 256; ++j) {
        m_child[j][0] = static_cast<std::uint16_t>(2 * j + 1);
        m_child[j][1] = static_cast<std::uint16_t>(2 * j + 2);
    }
}

// Semi-splaying along the path just walked: the node and its grandparent's other subtree change
// places, halving the depth of the path. ups(i) is parent * 2 + side of the i-th node of the path
// from the leaf (i = 0) up to the root, as it was before the splay; the splay never changes the
// parent of a node it goes on from, so the path walked for the code serves for the splay too and
// the splay's reads do not wait for one another.
template <typename Ups> void TBRCompress::splayPath(unsigned leaf, int length, Ups ups)
{
    unsigned a = leaf;
    for (int k = 0; k + 1 < length; k += 2) {
        const unsigned upA = ups(k);
        const unsigned c = upA >> 1;
        const unsigned upC = ups(k + 1);
        const unsigned d = upC >> 1;
        const unsigned other = (upC & 1u) ^ 1u; // the side of d that c is not on
        const unsigned x = m_child[d][other];
        m_child[d][other] = static_cast<std::uint16_t>(a);
        m_child[c][upA & 1u] = static_cast<std::uint16_t>(x);
        m_up[a] = static_cast<std::uint16_t>(d << 1 | other);
        m_up[x] = static_cast<std::uint16_t>(c << 1 | (upA & 1u));
        a = d;
    }
}

void TBRCompress::Splay(int b)
{
    Path ups;
    int length = 0;
    for (unsigned a = static_cast<unsigned>(b) + LeafBase; a != Root; a = ups[std::size_t(length++)] >> 1)
        ups[std::size_t(length)] = m_up[a];
    splayPath(static_cast<unsigned>(b) + LeafBase, length, [&ups](int i) { return ups[std::size_t(i)]; });
}

void TBRCompress::putBits(std::uint64_t bits, int count)
{
    // At most 32 bits at a time, so that they always fit beside the fewer than 32 waiting.
    m_bits |= bits << m_bitCount;
    m_bitCount += count;
    if (m_bitCount >= 32) {
        char word[4];
        qToLittleEndian<quint32>(static_cast<quint32>(m_bits), word);
        m_out->append(word, 4);
        m_bits >>= 32;
        m_bitCount -= 32;
    }
}

void TBRCompress::putCode(std::uint64_t bits, int count)
{
    if (count > 32) {
        putBits(bits & 0xFFFFFFFFu, 32);
        bits >>= 32;
        count -= 32;
    }
    putBits(bits, count);
}

void TBRCompress::Encode(std::uint8_t b)
{
    // The path from the leaf up to the root, one bit per node (1 for a right child). Each step
    // shifts the bits so far up by one, so the root's bit ends in bit 0 and goes out first. A path
    // longer than 64 nodes (only skewed data makes the tree that deep) is kept in 64-bit parts.
    Path ups;
    std::array<std::uint64_t, 4> parts;
    int partCount = 0;
    std::uint64_t code = 0;
    int codeLength = 0;
    int length = 0;
    const unsigned leaf = b + LeafBase;
    for (unsigned a = leaf; a != Root; ++length) {
        const unsigned up = m_up[a];
        ups[std::size_t(length)] = static_cast<std::uint16_t>(up);
        code = code << 1 | (up & 1u);
        a = up >> 1;
        if (++codeLength == 64) {
            parts[static_cast<std::size_t>(partCount++)] = code;
            code = 0;
            codeLength = 0;
        }
    }
    putCode(code, codeLength);
    while (partCount > 0)
        putCode(parts[static_cast<std::size_t>(--partCount)], 64);
    splayPath(leaf, length, [&ups](int i) { return ups[std::size_t(i)]; });
}

bool TBRCompress::refill()
{
    while (m_bitCount <= 56 && m_inPos < m_in.size()) {
        m_bits |= std::uint64_t(static_cast<std::uint8_t>(m_in[m_inPos++])) << m_bitCount;
        m_bitCount += 8;
    }
    return m_bitCount > 0;
}

bool TBRCompress::Decode(std::uint8_t& b)
{
    // The path from the root down, as parent * 2 + side of each node below the root.
    Path down;
    int length = 0;
    unsigned a = Root;
    do {
        if (m_bitCount == 0 && !refill())
            return false; // the code ends inside this byte's path
        const unsigned side = m_bits & 1u;
        down[std::size_t(length++)] = static_cast<std::uint16_t>(a << 1 | side);
        a = m_child[a][side];
        m_bits >>= 1;
        --m_bitCount;
    } while (a < LeafBase);
    b = static_cast<std::uint8_t>(a - LeafBase);
    if (a == MaxNode)
        Splay(b); // the leaf no byte has, met only in damaged code: the coder's move for b
    else
        splayPath(a, length, [&down, length](int i) { return down[std::size_t(length - 1 - i)]; });
    return true;
}

qsizetype TBRCompress::codeBytesRead() const
{
    // A code byte counts as read once its first bit is used.
    return (m_inPos * 8 - m_bitCount + 7) / 8;
}

void TBRCompress::flush()
{
    // The waiting bits, the last byte partly filled (its remaining high bits 0).
    for (; m_bitCount > 0; m_bitCount -= 8) {
        m_out->append(static_cast<char>(m_bits & 0xFFu));
        m_bits >>= 8;
    }
    m_bits = 0;
    m_bitCount = 0;
}

QByteArray TBRCompress::compress(QByteArrayView data)
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

std::optional<QByteArray> TBRCompress::expand(QByteArrayView code, qsizetype length)
{
    if (length < 0)
        return std::nullopt;
    // Each code byte holds at most eight bytes' codes (a leaf is never nearer the root than one
    // bit), so a longer claim cannot be met: refuse it before allocating anything.
    if (length / 8 > code.size())
        return std::nullopt;
    QByteArray out(length, Qt::Uninitialized);
    char* to = out.data();
    TBRCompress decoder(code);
    for (qsizetype i = 0; i < length; ++i) {
        std::uint8_t b;
        if (!decoder.Decode(b))
            return std::nullopt;
        to[i] = static_cast<char>(b);
    }
    return out;
}
