#include "report/BandRpt.h"

#include "report/BRUnits.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <cstdlib>

// ---------------------------------------------------------------------------------------------
// Units and lengths
// ---------------------------------------------------------------------------------------------

namespace {

std::optional<TBRUnit>& defaultUnitOverride()
{
    static std::optional<TBRUnit> unit;
    return unit;
}

int usableFontSize(int size)
{
    size = std::abs(size);
    return size == 0 ? BRDefaultFontSize : size;
}

} // namespace

double BRCharsPerCmX(double fontSize) { return 80.0 / fontSize / 2.54; }

double BRCharsPerCmY(double fontSize) { return 145.3 / fontSize / 2.54; }

TBRUnit brDefaultUnit()
{
    auto& unit = defaultUnitOverride();
    if (!unit) {
        // Only the U.S. system counts as inches: the British one prints on metric paper.
        unit = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? TBRUnit::Inches
                                                                                  : TBRUnit::MM;
    }
    return *unit;
}

void brSetDefaultUnit(TBRUnit unit) { defaultUnitOverride() = unit; }

int brScreenPixelsPerInch()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            int ppi = qRound(screen->logicalDotsPerInchY());
            if (ppi > 0)
                return ppi;
        }
    }
    return 96;
}

TBRUnitBase::TBRUnitBase(TBRUnitOwner* report)
    : m_pixelsPerInch(brScreenPixelsPerInch())
    , m_report(report)
{
}

int TBRUnitBase::fontSize() const
{
    return usableFontSize(m_report ? m_report->unitFontSize() : BRDefaultFontSize);
}

double TBRUnitBase::LoadUnit(double native, bool horizontal) const
{
    switch (m_units) {
    case TBRUnit::MM:
        return native / 10.0;
    case TBRUnit::Inches:
        return native / BRTenthsPerInch;
    case TBRUnit::Pixels:
        return native / (BRTenthsPerInch / m_pixelsPerInch) * m_zoom / 100.0;
    case TBRUnit::Characters:
        return horizontal ? native / BRCharsPerCmX(fontSize()) / 10.0
                          : native / BRCharsPerCmY(fontSize()) / 10.0;
    case TBRUnit::Native:
        break;
    }
    return native;
}

double TBRUnitBase::SaveUnit(double value, bool horizontal) const
{
    switch (m_units) {
    case TBRUnit::MM:
        return value * 10.0;
    case TBRUnit::Inches:
        return value * BRTenthsPerInch;
    case TBRUnit::Pixels:
        return BRTenthsPerInch / m_pixelsPerInch * value / m_zoom * 100.0;
    case TBRUnit::Characters:
        return horizontal ? BRCharsPerCmX(fontSize()) * value * 10.0
                          : BRCharsPerCmY(fontSize()) * value * 10.0;
    case TBRUnit::Native:
        break;
    }
    return value;
}

void TBRUnitBase::SaveUnits()
{
    m_savedUnits = m_units;
    m_units = TBRUnit::Pixels;
}

void TBRUnitBase::RestoreUnits() { setUnits(m_savedUnits); }

void TBRUnitBase::setZoom(int percent)
{
    // A zoom of 0 would divide by zero when a pixel length is stored.
    if (percent > 0)
        m_zoom = percent;
}

void TBRUnitBase::setPixelsPerInch(int ppi)
{
    if (ppi > 0)
        m_pixelsPerInch = ppi;
}

// ---------------------------------------------------------------------------------------------
// Paper sizes
// ---------------------------------------------------------------------------------------------

namespace {

// Width x length in millimetres, portrait, for codes 1..69 (record of code c at c - 1). Some
// envelope and transverse papers are stored wider than long and are used as stored.
constexpr std::array<TBRPaperDimensions, 69> PaperTable { {
    { 215.9, 279.4 }, { 215.9, 279.4 }, { 279.4, 431.8 }, { 431.8, 279.4 }, { 215.9, 355.6 }, // 1-5
    { 139.7, 215.9 }, { 190.5, 254.0 }, { 297, 420 }, { 210, 297 }, { 210, 297 }, // 6-10
    { 148, 210 }, { 250, 354 }, { 182, 257 }, { 215.9, 330.2 }, { 215, 275 }, // 11-15
    { 254.0, 355.6 }, { 279.4, 431.8 }, { 215.9, 279.4 }, { 98.43, 225.4 }, { 104.8, 241.3 }, // 16-20
    { 114.3, 263.5 }, { 120.7, 279.4 }, { 127.0, 292.1 }, { 431.8, 558.8 }, { 558.8, 863.6 }, // 21-25
    { 863.6, 1117.6 }, { 110, 220 }, { 162, 229 }, { 324, 458 }, { 229, 324 }, // 26-30
    { 114, 162 }, { 114, 229 }, { 250, 353 }, { 176, 250 }, { 176, 125 }, // 31-35
    { 110, 230 }, { 98.43, 190.5 }, { 92.01, 165.1 }, { 377.8, 279.4 }, { 215.9, 304.8 }, // 36-40
    { 215.9, 330.2 }, { 250, 353 }, { 100, 148 }, { 228.6, 279.4 }, { 254.0, 279.4 }, // 41-45
    { 381.0, 279.4 }, { 220, 220 }, { 100, 100 }, { 100, 100 }, { 241.3, 304.8 }, // 46-50
    { 241.3, 381.0 }, { 296.9, 457.2 }, { 236, 322 }, { 279.4, 215.9 }, { 297, 210 }, // 51-55
    { 304.8, 241.3 }, { 227, 356 }, { 305, 487 }, { 215.9, 322.3 }, { 210, 330 }, // 56-60
    { 210, 148 }, { 257, 182 }, { 322, 445 }, { 174, 235 }, { 201, 276 }, // 61-65
    { 420, 594 }, { 420, 297 }, { 445, 322 }, { 0, 0 }, // 66-69
} };

} // namespace

std::optional<TBRPaperDimensions> brPaperDimensions(TBRPaperSize paper)
{
    int code = static_cast<int>(paper);
    if (code < 1 || code > static_cast<int>(PaperTable.size()))
        return std::nullopt;
    return PaperTable[code - 1];
}

int brPaperToDevMode(TBRPaperSize paper)
{
    return paper == TBRPaperSize::Custom ? 256 : static_cast<int>(paper);
}

std::vector<TBRPaperGuess> brPaperCandidates(int widthPx, int heightPx, int pixelsPerInch)
{
    std::vector<TBRPaperGuess> result;
    if (pixelsPerInch <= 0)
        return result;
    const double pixelsPerTenth = pixelsPerInch / BRTenthsPerInch;
    const auto steps = [&](int px) { return static_cast<long long>(px / pixelsPerTenth / 40.0); };
    const long long pageWidth = steps(widthPx);
    const long long pageLength = steps(heightPx);
    // Papers of the same size share the table; the lowest code is the one people mean (Letter,
    // not Note; A4, not A4Small), so the candidates come in ascending order.
    for (int code = 1; code <= 26; ++code) {
        const TBRPaperDimensions& d = PaperTable[code - 1];
        const auto w = static_cast<long long>(d.width / 4.0);
        const auto l = static_cast<long long>(d.length / 4.0);
        const auto paper = static_cast<TBRPaperSize>(code);
        if (w == pageWidth && l == pageLength)
            result.push_back({ paper, TPrinterOrientation::poPortrait });
        if (w == pageLength && l == pageWidth)
            result.push_back({ paper, TPrinterOrientation::poLandscape });
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Size holders
// ---------------------------------------------------------------------------------------------

TBRBandSize::TBRBandSize(QWidget* band, TBRUnitOwner* report)
    : TBRUnitBase(report)
    , m_band(band)
{
}

void TBRBandSize::setHeight(double value)
{
    m_height = SaveUnit(value, false);
    changed();
}

void TBRBandSize::setWidth(double value)
{
    m_width = SaveUnit(value, true);
    changed();
}

void TBRBandSize::setNativeHeight(double tenths)
{
    m_height = tenths;
    changed();
}

void TBRBandSize::setNativeWidth(double tenths)
{
    m_width = tenths;
    changed();
}

QList<double> TBRBandSize::WriteValues() const { return { m_height, m_width }; }

void TBRBandSize::ReadValues(const QList<double>& values)
{
    if (values.size() < 2)
        return;
    m_height = values[0];
    m_width = values[1];
    changed();
}

void TBRBandSize::applySize()
{
    if (!m_band && !m_resize)
        return;
    setUpdating(true);
    // The band control is sized in screen pixels at the holder's zoom.
    const TBRUnit units = Units();
    setUnitsQuietly(TBRUnit::Pixels);
    const int w = static_cast<int>(std::lround(LoadUnit(m_width, true)));
    const int h = static_cast<int>(std::lround(LoadUnit(m_height, false)));
    setUnitsQuietly(units);
    if (m_band)
        m_band->setGeometry(m_band->x(), m_band->y(), w, h);
    if (m_resize)
        m_resize(w, h);
    setUpdating(false);
}

TBRPage::TBRPage(TBRUnitOwner* report)
    : TBRUnitBase(report)
    , m_paperSize(TBRPaperSize::Default)
{
    // The report is still being built: set up the page without calling back into it.
    setReport(nullptr);
    setUnitsQuietly(brDefaultUnit());
    const bool us = Units() == TBRUnit::Inches;
    setPaperSize(us ? TBRPaperSize::Letter : TBRPaperSize::A4);
    const double margin = us ? 0.5 : 10.0;
    setTopMargin(margin);
    setBottomMargin(margin);
    setLeftMargin(margin);
    setRightMargin(margin);
    setReport(report);
}

void TBRPage::setUnits(TBRUnit units)
{
    TBRUnitBase::setUnits(units);
    if (TBRUnitOwner* r = report())
        r->pageUnitsChanged();
}

namespace {
// Indices 0..2 run down the page, 3..6 across it.
bool isHorizontal(int index) { return index >= TBRPage::WidthIndex; }
} // namespace

double TBRPage::Value(int index) const
{
    if (index < 0 || index >= MeasureCount)
        return 0.0;
    return LoadUnit(m_values[static_cast<std::size_t>(index)], isHorizontal(index));
}

void TBRPage::SetValue(int index, double value)
{
    if (index < 0 || index >= MeasureCount)
        return;
    if ((index == WidthIndex || index == LengthIndex) && m_paperSize != TBRPaperSize::Custom)
        return;
    storeMeasure(index, SaveUnit(value, isHorizontal(index)));
}

void TBRPage::storeMeasure(int index, double native)
{
    m_values[static_cast<std::size_t>(index)] = native;
    TBRUnitOwner* r = report();
    if (r)
        r->pageLayoutChanged();
    switch (index) {
    case WidthIndex:
    case LengthIndex:
    case BottomMarginIndex:
        changed();
        break;
    default:
        break;
    }
    if (r && index != WidthIndex && index != LengthIndex)
        r->designRepaint();
}

void TBRPage::setColumns(int columns)
{
    if (columns <= 0 || columns == m_columns)
        return;
    m_columns = columns;
    if (TBRUnitOwner* r = report())
        r->columnsChanged();
}

void TBRPage::setOrientation(TPrinterOrientation orientation)
{
    m_orientation = orientation;
    setPaperSize(m_paperSize);
}

void TBRPage::setPaperSize(TBRPaperSize paper)
{
    if (static_cast<int>(paper) >= BRPaperSizeCount)
        return;
    if (paper != TBRPaperSize::Default && paper != TBRPaperSize::Custom) {
        const TBRPaperDimensions d = *brPaperDimensions(paper);
        const TBRUnit units = Units();
        setUnitsQuietly(TBRUnit::MM);
        m_paperSize = TBRPaperSize::Custom;
        const bool portrait = m_orientation == TPrinterOrientation::poPortrait;
        setWidth(portrait ? d.width : d.length);
        setLength(portrait ? d.length : d.width);
        setUnitsQuietly(units);
        if (TBRUnitOwner* r = report())
            r->pageLayoutChanged();
    }
    m_paperSize = paper;
}

QList<double> TBRPage::WriteValues() const { return QList<double>(m_values.begin(), m_values.end()); }

void TBRPage::ReadValues(const QList<double>& values)
{
    if (values.size() < MeasureCount)
        return;
    for (int i = 0; i < MeasureCount; ++i)
        m_values[static_cast<std::size_t>(i)] = values[i];
    if (TBRUnitOwner* r = report())
        r->pageLayoutChanged();
}

// ---------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------

void TBRFrame::repaint()
{
    if (m_owner)
        m_owner->update();
}

void TBRFrame::setColor(const QColor& c)
{
    m_color = c;
    repaint();
}

void TBRFrame::setDrawTop(bool on)
{
    m_drawTop = on;
    repaint();
}

void TBRFrame::setDrawBottom(bool on)
{
    m_drawBottom = on;
    repaint();
}

void TBRFrame::setDrawLeft(bool on)
{
    m_drawLeft = on;
    repaint();
}

void TBRFrame::setDrawRight(bool on)
{
    m_drawRight = on;
    repaint();
}

void TBRFrame::setStyle(Qt::PenStyle style)
{
    m_style = style;
    repaint();
}

void TBRFrame::setWidth(int points)
{
    m_width = points;
    repaint();
}

void TBRFrame::SetPen(QPen& pen) const
{
    pen.setWidth(1);
    pen.setStyle(m_style);
    pen.setColor(m_color);
}

void TBRFrame::PaintIt(QPainter& painter, const QRect& rect, double factorX, double factorY) const
{
    // Points to tenths of a millimetre to device pixels; a line of at least one point never
    // vanishes on a coarse device.
    const auto lineWidth = [this](double factor) {
        int w = static_cast<int>(std::lround(m_width / 72.0 * BRTenthsPerInch * factor));
        if ((w < 1 && m_width >= 1) || m_width == -1)
            w = 1;
        return std::max(w, 0);
    };
    const int wx = lineWidth(factorX);
    const int wy = lineWidth(factorY);

    painter.setBrush(QBrush(m_color, Qt::SolidPattern));
    QPen pen = painter.pen();
    SetPen(pen);
    painter.setPen(pen);

    const int left = rect.x();
    const int top = rect.y();
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    const auto strip = [&](int l, int t, int r, int b) {
        if (r > l && b > t)
            painter.fillRect(QRect(l, t, r - l, b - t), m_color);
    };
    if (m_drawTop)
        strip(left, top, right, top + wy);
    if (m_drawBottom)
        strip(left, bottom - wy, right, bottom);
    if (m_drawLeft)
        strip(left, top, left + wx, bottom);
    if (m_drawRight)
        strip(right - wx, top, right, bottom);
}
