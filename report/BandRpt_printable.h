#pragma once

// What a banded report prints inside a band or on the page: the printable's size holder, its
// print protocol, and the layout reference text is measured on (BandRpt_printable.cpp).
//
// Text is measured and laid out on one fixed reference of 96 dots per inch (the layout's
// "pixels"), whatever the screen or printer, so a report lays out the same everywhere; the pages
// are drawn in the same coordinates.

#include "report/BRUnits.h"
#include "report/BandRpt_units.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QRect>
#include <QRectF>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

class QPainter;

// ---------------------------------------------------------------------------------------------
// 5. Printables
// ---------------------------------------------------------------------------------------------

class TBRPrintable;
class TBRBasePanel;
class TBRCustomBand;
class TCustomBandReport;
class TBRCustomController;
class TBRPrinter;

// The layout reference: text is measured and controls are sized in pixels of this resolution.
constexpr int BRLayoutDotsPerInch = 96;
// Layout pixels per tenth of a millimetre.
constexpr double BRLayoutPixelsPerTenth = BRLayoutDotsPerInch / BRTenthsPerInch;

// Rounds to the nearest integer, halves to even, as the report's positions are rounded.
int brRound(double value);

// Puts a variable's value back when the scope ends, whatever happens in it.
template <typename T> class TBRRestore {
public:
    explicit TBRRestore(T& target)
        : m_target(target)
        , m_value(target)
    {
    }
    ~TBRRestore() { m_target = m_value; }
    TBRRestore(const TBRRestore&) = delete;
    TBRRestore& operator=(const TBRRestore&) = delete;

private:
    T& m_target;
    T m_value;
};

// Width and height of a text set in a font, in layout pixels (measured on the reference).
double brTextAdvance(const QFont& font, const QString& text);
double brTextCellHeight(const QFont& font);
double brTextAscent(const QFont& font);

enum class TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

enum class TBiDiMode : std::uint8_t {
    bdLeftToRight,
    bdRightToLeft,
    bdRightToLeftNoAlign,
    bdRightToLeftReadingOnly
};

// A printable's position and size: Height, Left, Top, Width in tenths of a millimetre, shown in
// the holder's unit. Writing a measure moves the printable's control.
class TBRPrintableSize : public TBRUnitBase {
public:
    enum Index { HeightIndex = 0, LeftIndex = 1, TopIndex = 2, WidthIndex = 3, IndexCount = 4 };

    explicit TBRPrintableSize(TBRPrintable* printable = nullptr);

    double Value(int index) const;
    void SetValue(int index, double value);
    // A measure in tenths of a millimetre, whatever the unit.
    double nativeValue(int index) const { return m_values[static_cast<std::size_t>(index)]; }
    double Height() const { return Value(HeightIndex); }
    double Left() const { return Value(LeftIndex); }
    double Top() const { return Value(TopIndex); }
    double Width() const { return Value(WidthIndex); }
    void setHeight(double v) { SetValue(HeightIndex, v); }
    void setLeft(double v) { SetValue(LeftIndex, v); }
    void setTop(double v) { SetValue(TopIndex, v); }
    void setWidth(double v) { SetValue(WidthIndex, v); }

    // Moves the printable's control to the four measures, in pixels at the holder's zoom.
    void SetParentSizes();

    // The streamed "Values": Height, Left, Top, Width in native units.
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

    TBRPrintable* printable() const { return m_printable; }

protected:
    void applySize() override { SetParentSizes(); }

private:
    std::array<double, IndexCount> m_values { 20.0, 20.0, 20.0, 20.0 };
    TBRPrintable* m_printable; // the printable owns this holder
};

// Where a band's print call stands, as its printables need to know to stretch and to paint.
struct TBRPrintContext {
    // The band may continue on a new column or page (false for page headers and footers and
    // what they print, which are printed while a page is begun or closed).
    bool mayBreak = true;
    // The band goes on in a new column or page with what did not fit before: what goes on
    // starts at the column's top, and a break from there would give no more room.
    bool continued = false;
    // Where the column ends (tenths of a millimetre): nothing the band draws below it shows.
    // Infinite while the band cannot move on.
    double columnBottom = std::numeric_limits<double>::infinity();
    // The room the next column offers below the headers it begins with (tenths of a
    // millimetre): what goes on there starts at its top. Infinite while the band cannot move on.
    double nextColumnRoom = std::numeric_limits<double>::infinity();
    // Where the band ends on this pass before it grows (tenths of a millimetre).
    double bandBottom = 0.0;
    // The band's background colour where it has just been painted (invalid otherwise), the
    // area painted (tenths of a millimetre), and the areas the band's printables painted since.
    QColor background;
    QRectF backgroundRect;
    const QList<QRectF>* paintedSince = nullptr;
    // The lowest point (tenths of a millimetre) the band's printables drew down to on this
    // pass; each printable lowers it to its own.
    double* contentBottom = nullptr;

    // True when an area of the colour would show nothing new: it lies in the fresh background
    // and nothing has been painted over that since.
    bool showsAlready(const QRectF& area, const QColor& color) const;
};

// Base of everything a report prints inside a band or on the page: position and size in tenths
// of a millimetre beside the control's pixel bounds, a frame, alignment in the band, and the
// print protocol a run drives: Prepare once, Print each time the band prints, Unprepare.
//
// A printable is owned by the panel (band or report) it is placed on.
class TBRPrintable : public QObject {
public:
    explicit TBRPrintable(TBRBasePanel* parent = nullptr);
    ~TBRPrintable() override;

    // The panel the printable stands on, and placing it on one (which takes that panel's units,
    // zoom and report).
    TBRBasePanel* parentPanel() const { return m_parent; }
    void SetParent(TBRBasePanel* parent);

    QString Name() const { return objectName(); }
    virtual void SetName(const QString& name);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on) { m_enabled = on; }
    bool Visible() const { return m_visible; }
    void setVisible(bool on) { m_visible = on; }
    TBRFrame& Frame() { return m_frame; }
    const TBRFrame& Frame() const { return m_frame; }
    TBRPrintableSize& Size() { return m_size; }
    const TBRPrintableSize& Size() const { return m_size; }
    TAlignment Alignment() const { return m_alignment; }
    bool AlignToBand() const { return m_alignToBand; }
    void setAlignToBand(bool on);
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on) { m_transparent = on; }
    QColor Color() const { return m_color; }
    void setColor(const QColor& c) { m_color = c; }

    TCustomBandReport* ParentReport() const { return m_report; }
    void setParentReport(TCustomBandReport* report) { m_report = report; }
    TBRPrinter* BRPrinter() const { return m_printer; }
    bool IsPrinting() const { return m_isPrinting; }
    // True when everything the printable had for the current band print has been printed.
    bool PrintFinished() const { return m_printFinished; }

    // The control's bounds in layout pixels.
    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    virtual void SetBounds(int left, int top, int width, int height);
    void setLeft(int v) { SetBounds(v, m_top, m_width, m_height); }
    void setTop(int v) { SetBounds(m_left, v, m_width, m_height); }
    void setWidth(int v) { SetBounds(m_left, m_top, v, m_height); }
    void setHeight(int v) { SetBounds(m_left, m_top, m_width, v); }

    // The print test: true when enabled, and also when the control is not visible.
    virtual bool IsEnabled() const { return m_enabled || !m_visible; }
    virtual void AlignInBand();
    virtual void Prepare();
    // OfsX, OfsY: the column's left edge and the band's top, whole tenths of a millimetre.
    virtual void Print(int ofsX, int ofsY);
    // 2: the band was resized; 0: the controller the printable registered with prints a band.
    virtual void ReportNotify(QObject* sender, int operation);
    virtual void SetAlignment(TAlignment value);
    virtual void Unprepare();
    // The height the printable will need when printed (layout pixels); unchanged in the base.
    virtual void GetExpandedHeight(double& height);
    // The text a data-bound printable would print; empty in the base.
    virtual void GetFieldText(QString& text);

    // True for printables whose text decides how high their band must be (data-bound texts).
    virtual bool stretchesBand() const { return false; }
    // A printable that can stand behind every page (the report's BackImageControl) draws
    // itself stretched into a device rectangle.
    virtual bool canBeBackImage() const { return false; }
    virtual void drawStretched(QPainter&, const QRect&) { }

    // Set by the band before each Print.
    void setPrintContext(const TBRPrintContext& context) { m_printContext = context; }
    const TBRPrintContext& printContext() const { return m_printContext; }

protected:
    void setPrintFinished(bool on) { m_printFinished = on; }
    // The band the printable stands on, or nullptr.
    TBRCustomBand* ParentBand() const;
    // Called after the printable was placed on a panel.
    virtual void parentChanged() { }
    // The device rectangle of a page rectangle in tenths of a millimetre.
    QRect deviceRect(double left, double top, double right, double bottom) const;

private:
    TBRPrintableSize m_size;
    TBRFrame m_frame;
    TBRBasePanel* m_parent = nullptr;
    TCustomBandReport* m_report = nullptr;
    TBRPrinter* m_printer = nullptr;
    bool m_enabled = true;
    bool m_visible = true;
    TAlignment m_alignment = TAlignment::taLeftJustify;
    bool m_alignToBand = false;
    bool m_transparent = false;
    QColor m_color = Qt::white;
    bool m_isPrinting = false;
    bool m_printFinished = true;
    bool m_aligning = false;
    int m_left = 0, m_top = 0, m_width = 10, m_height = 10;
    TBRPrintContext m_printContext;
};
