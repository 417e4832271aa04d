#include "report/BRUnits.h"
#include "report/BandRpt.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

static_assert(BRLayoutDotsPerInch == BRPageDotsPerInch, "pages are drawn in layout coordinates");

int brRound(double value) { return static_cast<int>(std::nearbyint(value)); }

// ---------------------------------------------------------------------------------------------
// Text measuring on the layout reference
// ---------------------------------------------------------------------------------------------

namespace {

// A paint device of exactly 96 dots per inch, whatever the screen says, so that a font's point
// size gives the same pixels on every machine.
const QImage& referenceDevice()
{
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_RGB32);
        const int dotsPerMeter = static_cast<int>(std::lround(BRLayoutDotsPerInch / BRMetresPerInch));
        img.setDotsPerMeterX(dotsPerMeter);
        img.setDotsPerMeterY(dotsPerMeter);
        return img;
    }();
    return device;
}

// A font's metrics on the reference, with the widths of the texts measured in it: a report
// measures the same texts (times, class names, captions) again and again, and shaping a text
// costs far more than finding it.
//
// The widths are kept in two generations: a text is looked up in the current one, then in the
// previous one (and moved up when found there); when the current one is full it becomes the
// previous one. A text in use every few thousand texts (a caption, a class name) so stays
// measured however many other texts pass by, and the memory stays bounded.
struct MeasuredFont {
    MeasuredFont(const QFont& f, const QPaintDevice* device)
        : font(f)
        , metrics(f, device)
        , height(metrics.height())
        , ascent(metrics.ascent())
    {
    }
    static constexpr qsizetype GenerationSize = 8192;

    double advance(const QString& text)
    {
        if (const auto it = current.constFind(text); it != current.cend())
            return *it;
        double advance;
        if (const auto it = previous.constFind(text); it != previous.cend())
            advance = *it;
        else
            advance = metrics.horizontalAdvance(text);
        if (current.size() >= GenerationSize) {
            previous = std::move(current);
            current = {};
            current.reserve(GenerationSize);
        }
        current.insert(text, advance);
        return advance;
    }

    QFont font;
    std::vector<QFont> copies; // fonts found equal to it: known again by their shared data
    QFontMetricsF metrics;
    double height; // the metrics' cell height and ascent, constant for the font
    double ascent;
    QHash<QString, double> current;
    QHash<QString, double> previous;
};

MeasuredFont& measured(const QFont& font)
{
    static std::vector<std::unique_ptr<MeasuredFont>> cache;
    // A label asks several times in a row with its own font (line height, ascent, widths): the
    // font last asked for is told first.
    static QFont lastFont;
    static MeasuredFont* last = nullptr;
    if (last && lastFont.isCopyOf(font))
        return *last;
    const auto found = [&font](MeasuredFont& entry) -> MeasuredFont& {
        lastFont = font;
        last = &entry;
        return entry;
    };
    // Most fonts asked for are copies of one asked for before (a label's own font, the report's):
    // telling a copy costs a pointer comparison, telling an equal font a comparison of all its
    // attributes.
    for (const auto& entry : cache) {
        if (entry->font.isCopyOf(font))
            return found(*entry);
        for (const QFont& copy : entry->copies) {
            if (copy.isCopyOf(font))
                return found(*entry);
        }
    }
    for (const auto& entry : cache) {
        if (entry->font == font) {
            if (entry->copies.size() < 16)
                entry->copies.push_back(font);
            return found(*entry);
        }
    }
    if (cache.size() >= 32)
        cache.erase(cache.begin()); // the last found may go: the new one is the last found now
    cache.push_back(std::make_unique<MeasuredFont>(font, &referenceDevice()));
    return found(*cache.back());
}

} // namespace

double brTextAdvance(const QFont& font, const QString& text)
{
    if (text.isEmpty())
        return 0.0;
    return measured(font).advance(text);
}

double brTextCellHeight(const QFont& font) { return measured(font).height; }

double brTextAscent(const QFont& font) { return measured(font).ascent; }

bool TBRPrintContext::showsAlready(const QRectF& area, const QColor& color) const
{
    if (!background.isValid() || color != background || !backgroundRect.contains(area))
        return false;
    if (paintedSince) {
        for (const QRectF& painted : *paintedSince) {
            if (painted.intersects(area))
                return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TBRPrintableSize
// ---------------------------------------------------------------------------------------------

namespace {
bool isHorizontalMeasure(int index)
{
    return index == TBRPrintableSize::LeftIndex || index == TBRPrintableSize::WidthIndex;
}
} // namespace

TBRPrintableSize::TBRPrintableSize(TBRPrintable* printable)
    : m_printable(printable)
{
    setPixelsPerInch(BRLayoutDotsPerInch);
}

double TBRPrintableSize::Value(int index) const
{
    if (index < 0 || index >= IndexCount)
        return 0.0;
    return LoadUnit(m_values[static_cast<std::size_t>(index)], isHorizontalMeasure(index));
}

void TBRPrintableSize::SetValue(int index, double value)
{
    if (index < 0 || index >= IndexCount)
        return;
    m_values[static_cast<std::size_t>(index)] = SaveUnit(value, isHorizontalMeasure(index));
    SetParentSizes();
}

void TBRPrintableSize::SetParentSizes()
{
    if (!m_printable)
        return;
    const double perTenth = PixelsPerInch() / BRTenthsPerInch * Zoom() / 100.0;
    const auto px = [&](int index) {
        return static_cast<int>(std::lround(m_values[static_cast<std::size_t>(index)] * perTenth));
    };
    setUpdating(true);
    m_printable->SetBounds(px(LeftIndex), px(TopIndex), px(WidthIndex), px(HeightIndex));
    setUpdating(false);
}

QList<double> TBRPrintableSize::WriteValues() const
{
    return QList<double>(m_values.begin(), m_values.end());
}

void TBRPrintableSize::ReadValues(const QList<double>& values)
{
    if (values.size() < IndexCount)
        return;
    for (int i = 0; i < IndexCount; ++i)
        m_values[static_cast<std::size_t>(i)] = values[i];
    changed();
}

// ---------------------------------------------------------------------------------------------
// TBRPrintable
// ---------------------------------------------------------------------------------------------

TBRPrintable::TBRPrintable(TBRBasePanel* parent)
    : m_size(this)
{
    m_size.SetParentSizes();
    if (parent)
        SetParent(parent);
}

TBRPrintable::~TBRPrintable() = default;

void TBRPrintable::SetName(const QString& name) { setObjectName(name); }

TBRCustomBand* TBRPrintable::ParentBand() const { return dynamic_cast<TBRCustomBand*>(m_parent); }

void TBRPrintable::SetParent(TBRBasePanel* parent)
{
    QObject::setParent(parent);
    m_parent = parent;
    if (auto* report = dynamic_cast<TCustomBandReport*>(parent)) {
        m_size.setUnits(report->Units());
        m_report = report;
        m_size.setReport(report);
        m_size.setZoom(report->Zoom());
        setTop(m_top);
        setLeft(m_left);
    } else if (auto* band = dynamic_cast<TBRCustomBand*>(parent)) {
        m_size.setUnits(band->panelUnits());
        if (TCustomBandReport* report = band->ParentReport()) {
            m_report = report;
            m_size.setReport(report);
            m_size.setZoom(report->Zoom());
        }
        setTop(m_top);
        setLeft(m_left);
    }
    if (parent)
        parentChanged();
}

void TBRPrintable::SetBounds(int left, int top, int width, int height)
{
    if (m_size.updating()) {
        m_left = left;
        m_top = top;
        m_width = width;
        m_height = height;
    } else {
        // Pixels are coarser than tenths of a millimetre: a measure is stored again only when
        // its pixel value really changes, so that a designed position survives a move that
        // leaves it in the same pixel.
        const TBRUnit units = m_size.Units();
        m_size.setUnits(TBRUnit::Pixels);
        const auto differs = [&](int index, int px) { return std::lround(m_size.Value(index)) != px; };
        if (differs(TBRPrintableSize::HeightIndex, height))
            m_size.setHeight(height);
        if (differs(TBRPrintableSize::WidthIndex, width))
            m_size.setWidth(width);
        if (differs(TBRPrintableSize::TopIndex, top))
            m_size.setTop(top);
        if (differs(TBRPrintableSize::LeftIndex, left))
            m_size.setLeft(left);
        m_size.setUnits(units);
    }
    if (m_alignToBand && !m_aligning)
        AlignInBand();
}

void TBRPrintable::AlignInBand()
{
    if (!m_alignToBand)
        return;
    m_aligning = true;
    TBRCustomBand* band = ParentBand();
    switch (m_alignment) {
    case TAlignment::taLeftJustify:
        setLeft(0);
        break;
    case TAlignment::taRightJustify:
        if (band)
            setLeft(band->pixelWidth() - m_width);
        break;
    case TAlignment::taCenter:
        if (band)
            setLeft((band->pixelWidth() - m_width) / 2);
        break;
    }
    m_aligning = false;
}

void TBRPrintable::SetAlignment(TAlignment value)
{
    m_alignment = value;
    if (m_alignToBand)
        AlignInBand();
}

void TBRPrintable::setAlignToBand(bool on)
{
    m_alignToBand = on;
    AlignInBand();
}

void TBRPrintable::Prepare()
{
    m_isPrinting = true;
    m_printer = m_report ? m_report->BRPrinter() : nullptr;
}

void TBRPrintable::Unprepare() { m_isPrinting = false; }

QRect TBRPrintable::deviceRect(double left, double top, double right, double bottom) const
{
    if (!m_printer)
        return {};
    const int l = m_printer->ToDeviceX(left);
    const int t = m_printer->ToDeviceY(top);
    return QRect(l, t, m_printer->ToDeviceX(right) - l, m_printer->ToDeviceY(bottom) - t);
}

void TBRPrintable::Print(int ofsX, int ofsY)
{
    QPainter* canvas = m_printer ? m_printer->Canvas() : nullptr;
    if (!canvas || !m_frame.HasSides())
        return;
    const double left = ofsX + m_size.nativeValue(TBRPrintableSize::LeftIndex);
    const double top = ofsY + m_size.nativeValue(TBRPrintableSize::TopIndex);
    const QRect r = deviceRect(left, top, left + m_size.nativeValue(TBRPrintableSize::WidthIndex),
        top + m_size.nativeValue(TBRPrintableSize::HeightIndex));
    m_frame.PaintIt(*canvas, r, m_printer->horizontalFactor(), m_printer->verticalFactor());
}

void TBRPrintable::ReportNotify(QObject*, int operation)
{
    if (operation == 2)
        AlignInBand();
}

void TBRPrintable::GetExpandedHeight(double&) { }

void TBRPrintable::GetFieldText(QString& text) { text.clear(); }
