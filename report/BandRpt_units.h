#pragma once

// Lengths and the page of a banded report: units and their conversions, the paper table, the
// size holders of bands and pages, and frames.
//
// Every length inside the engine is a double in tenths of a millimetre ("native" units); a size
// holder only converts to and from the unit it shows.

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QPainter;
class QPen;
class QWidget;

// ---------------------------------------------------------------------------------------------
// 1. Units and lengths
// ---------------------------------------------------------------------------------------------

enum class TBRUnit : std::uint8_t { MM = 0, Inches = 1, Pixels = 2, Characters = 3, Native = 4 };

enum class TPrinterOrientation : std::uint8_t { poPortrait = 0, poLandscape = 1 };

// Used by the Characters unit when the report's font size is unknown or 0, so that no length
// becomes infinite.
constexpr int BRDefaultFontSize = 10;

// Characters per centimetre of a font of the given size, across and down.
double BRCharsPerCmX(double fontSize);
double BRCharsPerCmY(double fontSize);

// The display unit new pages start with: Inches where the system locale measures in U.S. units,
// else MM. Decided once, at first use; brSetDefaultUnit overrides it (tests, settings).
TBRUnit brDefaultUnit();
void brSetDefaultUnit(TBRUnit unit);

// The screen's logical pixels per inch (96 without a screen).
int brScreenPixelsPerInch();

// What a size holder needs from the report that owns it. The report component implements it.
class TBRUnitOwner {
public:
    virtual ~TBRUnitOwner() = default;
    // The report font's size in points; its absolute value drives the Characters unit.
    virtual int unitFontSize() const = 0;
    // The page geometry changed: recompute the page layout.
    virtual void pageLayoutChanged() { }
    // The page's display unit changed: re-lay out the bands.
    virtual void pageUnitsChanged() { }
    // Repaint the report at design time.
    virtual void designRepaint() { }
    // The number of columns changed: re-lay out and repaint.
    virtual void columnsChanged() { }
};

// Base of the size holders: converts lengths between native units and the display unit.
class TBRUnitBase {
public:
    explicit TBRUnitBase(TBRUnitOwner* report = nullptr);
    virtual ~TBRUnitBase() = default;
    TBRUnitBase(const TBRUnitBase&) = delete;
    TBRUnitBase& operator=(const TBRUnitBase&) = delete;

    // Native value (0.1 mm) to the current unit, and back. `horizontal` matters only for
    // Characters.
    virtual double LoadUnit(double native, bool horizontal) const;
    virtual double SaveUnit(double value, bool horizontal) const;

    virtual TBRUnit Units() const { return m_units; }
    virtual void setUnits(TBRUnit units) { m_units = units; }

    // Remembers the current unit and switches to Pixels (callers set the unit they need at once);
    // RestoreUnits puts the remembered unit back.
    void SaveUnits();
    void RestoreUnits();

    // The streamed "Values" property: the holder's measures in native units, whatever Units is.
    virtual QList<double> WriteValues() const { return {}; }
    virtual void ReadValues(const QList<double>&) { }

    int Zoom() const { return m_zoom; }
    void setZoom(int percent);
    int PixelsPerInch() const { return m_pixelsPerInch; }
    void setPixelsPerInch(int ppi);

    TBRUnitOwner* report() const { return m_report; }
    void setReport(TBRUnitOwner* report) { m_report = report; }
    bool updating() const { return m_updating; }

protected:
    // Raised when a measure changes; applies the size to the owner.
    virtual void changed() { applySize(); }
    virtual void applySize() { }
    void setUpdating(bool on) { m_updating = on; }
    // Switches the unit without telling anyone (internal work in a fixed unit).
    void setUnitsQuietly(TBRUnit units) { m_units = units; }
    int fontSize() const;

private:
    int m_pixelsPerInch;
    TBRUnit m_units = TBRUnit::MM;
    TBRUnit m_savedUnits = TBRUnit::MM;
    TBRUnitOwner* m_report;
    bool m_updating = false;
    int m_zoom = 100;
};

// ---------------------------------------------------------------------------------------------
// 2. Paper sizes
// ---------------------------------------------------------------------------------------------

// Codes 1..68 are the Windows paper numbers; Custom goes to a printer as 256.
enum class TBRPaperSize : std::uint8_t {
    Default,
    Letter,
    LetterSmall,
    Tabloid,
    Ledger,
    Legal,
    Statement,
    Executive,
    A3,
    A4,
    A4Small,
    A5,
    B4,
    B5,
    Folio,
    Quarto,
    br10X14,
    br11X17,
    Note,
    Env9,
    Env10,
    Env11,
    Env12,
    Env14,
    CSheet,
    DSheet,
    ESheet,
    EnvDL,
    EnvC5,
    EnvC3,
    EnvC4,
    EnvC6,
    EnvC65,
    EnvB4,
    EnvB5,
    EnvB6,
    EnvItaly,
    EnvMonarch,
    EnvPersonal,
    FanfoldUSStd,
    FanfoldGerStd,
    FanfoldGerLegal,
    B4ISO,
    PostcardJap,
    br9X11,
    br10X11,
    br15X11,
    EnvInvite,
    Reserved1,
    Reserved2,
    LetterExtra,
    LegalExtra,
    TabloidExtra,
    A4Extra,
    LetterTrans,
    A4Trans,
    LetterExtraTrans,
    SuperASuperAA4,
    SuperBSuperBA3,
    LetterPlus,
    A4Plus,
    A5Trans,
    B5Trans,
    A3Extra,
    A5Extra,
    B5Extra,
    A2,
    A3Trans,
    A3ExtraTrans,
    Custom
};

constexpr int BRPaperSizeCount = 70;

struct TBRPaperDimensions {
    double width; // millimetres, as the table stores it
    double length; // millimetres
};

// The paper table's record for codes 1..69 (Custom is 0 x 0); nothing for 0 or unknown codes.
std::optional<TBRPaperDimensions> brPaperDimensions(TBRPaperSize paper);

// The paper number a printer is sent for a paper code.
int brPaperToDevMode(TBRPaperSize paper);

struct TBRPaperGuess {
    TBRPaperSize paper;
    TPrinterOrientation orientation;
    bool operator==(const TBRPaperGuess&) const = default;
};

// The papers that a stored page of widthPx x heightPx pixels at pixelsPerInch fits, compared in
// 4 mm steps over the codes 1..26, the common paper first (Letter before Note, A4 before A4Small;
// for each code portrait before landscape). A printer takes the first it supports.
std::vector<TBRPaperGuess> brPaperCandidates(int widthPx, int heightPx, int pixelsPerInch);

// ---------------------------------------------------------------------------------------------
// 3. Size holders
// ---------------------------------------------------------------------------------------------

// A band's height and width. Writing a measure resizes the band control.
class TBRBandSize : public TBRUnitBase {
public:
    explicit TBRBandSize(QWidget* band = nullptr, TBRUnitOwner* report = nullptr);

    double Height() const { return LoadUnit(m_height, false); }
    double Width() const { return LoadUnit(m_width, true); }
    // In tenths of a millimetre, whatever the unit.
    double nativeHeight() const { return m_height; }
    double nativeWidth() const { return m_width; }
    void setHeight(double value);
    void setWidth(double value);
    // In tenths of a millimetre, whatever the unit.
    void setNativeHeight(double tenths);
    void setNativeWidth(double tenths);

    // Native values (Height, then Width).
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

    QWidget* band() const { return m_band; }
    void setBand(QWidget* band) { m_band = band; }
    // Told the band's new size in screen pixels whenever a measure is written (a band that is
    // no widget keeps its own pixel bounds).
    void setResizeTarget(std::function<void(int width, int height)> target) { m_resize = std::move(target); }

protected:
    void applySize() override;

private:
    double m_width = 40.0;
    double m_height = 20.0;
    QWidget* m_band; // the band owns this holder
    std::function<void(int, int)> m_resize;
};

// The report's page: paper, orientation, margins and columns.
class TBRPage : public TBRUnitBase {
public:
    enum Measure {
        BottomMarginIndex = 0,
        LengthIndex = 1,
        TopMarginIndex = 2,
        WidthIndex = 3,
        LeftMarginIndex = 4,
        RightMarginIndex = 5,
        ColumnSpaceIndex = 6,
        MeasureCount = 7
    };

    explicit TBRPage(TBRUnitOwner* report = nullptr);

    void setUnits(TBRUnit units) override;

    // A measure in the current unit. Width and Length accept writes only on Custom paper.
    double Value(int index) const;
    // A measure in tenths of a millimetre, whatever the unit.
    double nativeValue(int index) const
    {
        return index >= 0 && index < MeasureCount ? m_values[static_cast<std::size_t>(index)] : 0.0;
    }
    void SetValue(int index, double value);

    double BottomMargin() const { return Value(BottomMarginIndex); }
    double Length() const { return Value(LengthIndex); }
    double TopMargin() const { return Value(TopMarginIndex); }
    double Width() const { return Value(WidthIndex); }
    double LeftMargin() const { return Value(LeftMarginIndex); }
    double RightMargin() const { return Value(RightMarginIndex); }
    double ColumnSpace() const { return Value(ColumnSpaceIndex); }
    void setBottomMargin(double v) { SetValue(BottomMarginIndex, v); }
    void setLength(double v) { SetValue(LengthIndex, v); }
    void setTopMargin(double v) { SetValue(TopMarginIndex, v); }
    void setWidth(double v) { SetValue(WidthIndex, v); }
    void setLeftMargin(double v) { SetValue(LeftMarginIndex, v); }
    void setRightMargin(double v) { SetValue(RightMarginIndex, v); }
    void setColumnSpace(double v) { SetValue(ColumnSpaceIndex, v); }

    int Columns() const { return m_columns; }
    void setColumns(int columns);
    TPrinterOrientation Orientation() const { return m_orientation; }
    void setOrientation(TPrinterOrientation orientation);
    TBRPaperSize PaperSize() const { return m_paperSize; }
    void setPaperSize(TBRPaperSize paper);
    bool Ruler() const { return m_ruler; }
    void setRuler(bool on) { m_ruler = on; }

    // The seven measures in native units, in index order.
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

private:
    void storeMeasure(int index, double native);

    std::array<double, MeasureCount> m_values {};
    int m_columns = 1;
    TPrinterOrientation m_orientation = TPrinterOrientation::poPortrait;
    TBRPaperSize m_paperSize;
    bool m_ruler = true;
};

// ---------------------------------------------------------------------------------------------
// 4. Frames
// ---------------------------------------------------------------------------------------------

// The frame drawn around a band or printable: any of its four sides as filled strips.
class TBRFrame {
public:
    explicit TBRFrame(QWidget* owner = nullptr)
        : m_owner(owner)
    {
    }

    QColor Color() const { return m_color; }
    void setColor(const QColor& c);
    bool DrawTop() const { return m_drawTop; }
    bool DrawBottom() const { return m_drawBottom; }
    bool DrawLeft() const { return m_drawLeft; }
    bool DrawRight() const { return m_drawRight; }
    void setDrawTop(bool on);
    void setDrawBottom(bool on);
    void setDrawLeft(bool on);
    void setDrawRight(bool on);
    Qt::PenStyle Style() const { return m_style; }
    void setStyle(Qt::PenStyle style);
    // Line width in points; -1 asks for the thinnest line the device has.
    int Width() const { return m_width; }
    void setWidth(int points);

    bool HasSides() const { return m_drawTop || m_drawBottom || m_drawLeft || m_drawRight; }

    // Draws the frame inside `rect` (device pixels; right and bottom edges exclusive). The factors
    // are device pixels per tenth of a millimetre.
    void PaintIt(QPainter& painter, const QRect& rect, double factorX, double factorY) const;
    // Pen width 1 with the frame's style and colour.
    void SetPen(QPen& pen) const;

private:
    void repaint();

    QColor m_color = Qt::black;
    bool m_drawTop = false;
    bool m_drawBottom = false;
    bool m_drawLeft = false;
    bool m_drawRight = false;
    Qt::PenStyle m_style = Qt::SolidLine;
    int m_width = 1;
    QWidget* m_owner; // the control owns its frame
};
