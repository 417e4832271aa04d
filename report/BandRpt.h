#pragma once

// The banded report engine's component unit.
//
// Sections, in order:
//   1. Units and lengths: TBRUnit, the conversions, TBRUnitBase and its owner interface.
//   2. Paper sizes: TBRPaperSize and the paper table.
//   3. Size holders: TBRBandSize, TBRPage.
//   4. Frames: TBRFrame.
//   5. Printables: TBRPrintableSize, TBRPrintable (BandRpt_printable.cpp).
//   6. Bands: TBRBandType, TBRBasePanel, TBRCustomBand, TBRBand, TBRChildBand (BandRpt_band.cpp).
//   7. Controllers and groups: TBRCustomController, TBRController, TBRGroup
//      (BandRpt_controller.cpp).
//   7b. Sub-detail bands: TBRControllerBand, TBRSubDetail, TBRSubDetailGroupBands
//      (BandRpt_subdetail.cpp).
//   8. The report: TBandReportBands, TCustomBandReport, TBandReport (BandRpt_report.cpp), its run
//      (BandRpt_run.cpp) and BRBindQueryParams.
//   9. Building a report in code: TBRReportBuilder (BandRpt_builder.cpp).
//
// Every length inside the engine is a double in tenths of a millimetre ("native" units); a size
// holder only converts to and from the unit it shows.
//
// Text is measured and laid out on one fixed reference of 96 dots per inch (the layout's
// "pixels"), whatever the screen or printer, so a report lays out the same everywhere; the pages
// are drawn in the same coordinates.

#include "platform/DataSet.h"
#include "report/BRExpr.h"
#include "report/BRPrntr.h"

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
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
// else MM. Decided once, at first use; BRSetDefaultUnit overrides it (tests, settings).
TBRUnit BRDefaultUnit();
void BRSetDefaultUnit(TBRUnit unit);

// The screen's logical pixels per inch (96 without a screen).
int BRScreenPixelsPerInch();

// What a size holder needs from the report that owns it. The report component implements it.
class TBRUnitOwner {
public:
    virtual ~TBRUnitOwner() = default;
    // The report font's size in points; its absolute value drives the Characters unit.
    virtual int UnitFontSize() const = 0;
    // The page geometry changed: recompute the page layout.
    virtual void PageLayoutChanged() { }
    // The page's display unit changed: re-lay out the bands.
    virtual void PageUnitsChanged() { }
    // Repaint the report at design time.
    virtual void DesignRepaint() { }
    // The number of columns changed: re-lay out and repaint.
    virtual void ColumnsChanged() { }
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
    virtual void SetUnits(TBRUnit units) { m_units = units; }

    // Remembers the current unit and switches to Pixels (callers set the unit they need at once);
    // RestoreUnits puts the remembered unit back.
    void SaveUnits();
    void RestoreUnits();

    // The streamed "Values" property: the holder's measures in native units, whatever Units is.
    virtual QList<double> WriteValues() const { return {}; }
    virtual void ReadValues(const QList<double>&) { }

    int Zoom() const { return m_zoom; }
    void SetZoom(int percent);
    int PixelsPerInch() const { return m_pixelsPerInch; }
    void SetPixelsPerInch(int ppi);

    TBRUnitOwner* Report() const { return m_report; }
    void SetReport(TBRUnitOwner* report) { m_report = report; }
    bool Updating() const { return m_updating; }

protected:
    // Raised when a measure changes; applies the size to the owner.
    virtual void Changed() { ApplySize(); }
    virtual void ApplySize() { }
    void SetUpdating(bool on) { m_updating = on; }
    // Switches the unit without telling anyone (internal work in a fixed unit).
    void SetUnitsQuietly(TBRUnit units) { m_units = units; }
    int FontSize() const;

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
std::optional<TBRPaperDimensions> BRPaperDimensions(TBRPaperSize paper);

// The paper number a printer is sent for a paper code.
int BRPaperToDevMode(TBRPaperSize paper);

struct TBRPaperGuess {
    TBRPaperSize paper;
    TPrinterOrientation orientation;
    bool operator==(const TBRPaperGuess&) const = default;
};

// The papers that a stored page of widthPx x heightPx pixels at pixelsPerInch fits, compared in
// 4 mm steps over the codes 1..26, the common paper first (Letter before Note, A4 before A4Small;
// for each code portrait before landscape). A printer takes the first it supports.
std::vector<TBRPaperGuess> BRPaperCandidates(int widthPx, int heightPx, int pixelsPerInch);

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
    double NativeHeight() const { return m_height; }
    double NativeWidth() const { return m_width; }
    void SetHeight(double value);
    void SetWidth(double value);
    // In tenths of a millimetre, whatever the unit.
    void SetNativeHeight(double tenths);
    void SetNativeWidth(double tenths);

    // Native values (Height, then Width).
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

    QWidget* Band() const { return m_band; }
    void SetBand(QWidget* band) { m_band = band; }
    // Told the band's new size in screen pixels whenever a measure is written (a band that is
    // no widget keeps its own pixel bounds).
    void SetResizeTarget(std::function<void(int width, int height)> target) { m_resize = std::move(target); }

protected:
    void ApplySize() override;

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

    void SetUnits(TBRUnit units) override;

    // A measure in the current unit. Width and Length accept writes only on Custom paper.
    double Value(int index) const;
    // A measure in tenths of a millimetre, whatever the unit.
    double NativeValue(int index) const
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
    void SetBottomMargin(double v) { SetValue(BottomMarginIndex, v); }
    void SetLength(double v) { SetValue(LengthIndex, v); }
    void SetTopMargin(double v) { SetValue(TopMarginIndex, v); }
    void SetWidth(double v) { SetValue(WidthIndex, v); }
    void SetLeftMargin(double v) { SetValue(LeftMarginIndex, v); }
    void SetRightMargin(double v) { SetValue(RightMarginIndex, v); }
    void SetColumnSpace(double v) { SetValue(ColumnSpaceIndex, v); }

    int Columns() const { return m_columns; }
    void SetColumns(int columns);
    TPrinterOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TPrinterOrientation orientation);
    TBRPaperSize PaperSize() const { return m_paperSize; }
    void SetPaperSize(TBRPaperSize paper);
    bool Ruler() const { return m_ruler; }
    void SetRuler(bool on) { m_ruler = on; }

    // The seven measures in native units, in index order.
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

private:
    void StoreMeasure(int index, double native);

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
    void SetColor(const QColor& c);
    bool DrawTop() const { return m_drawTop; }
    bool DrawBottom() const { return m_drawBottom; }
    bool DrawLeft() const { return m_drawLeft; }
    bool DrawRight() const { return m_drawRight; }
    void SetDrawTop(bool on);
    void SetDrawBottom(bool on);
    void SetDrawLeft(bool on);
    void SetDrawRight(bool on);
    Qt::PenStyle Style() const { return m_style; }
    void SetStyle(Qt::PenStyle style);
    // Line width in points; -1 asks for the thinnest line the device has.
    int Width() const { return m_width; }
    void SetWidth(int points);

    bool HasSides() const { return m_drawTop || m_drawBottom || m_drawLeft || m_drawRight; }

    // Draws the frame inside `rect` (device pixels; right and bottom edges exclusive). The factors
    // are device pixels per tenth of a millimetre.
    void PaintIt(QPainter& painter, const QRect& rect, double factorX, double factorY) const;
    // Pen width 1 with the frame's style and colour.
    void SetPen(QPen& pen) const;

private:
    void Repaint();

    QColor m_color = Qt::black;
    bool m_drawTop = false;
    bool m_drawBottom = false;
    bool m_drawLeft = false;
    bool m_drawRight = false;
    Qt::PenStyle m_style = Qt::SolidLine;
    int m_width = 1;
    QWidget* m_owner; // the control owns its frame
};

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
constexpr double BRLayoutPixelsPerTenth = BRLayoutDotsPerInch / 254.0;

// Rounds to the nearest integer, halves to even, as the report's positions are rounded.
int BRRound(double value);

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
double BRTextAdvance(const QFont& font, const QString& text);
double BRTextCellHeight(const QFont& font);
double BRTextAscent(const QFont& font);

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
    double NativeValue(int index) const { return m_values[static_cast<std::size_t>(index)]; }
    double Height() const { return Value(HeightIndex); }
    double Left() const { return Value(LeftIndex); }
    double Top() const { return Value(TopIndex); }
    double Width() const { return Value(WidthIndex); }
    void SetHeight(double v) { SetValue(HeightIndex, v); }
    void SetLeft(double v) { SetValue(LeftIndex, v); }
    void SetTop(double v) { SetValue(TopIndex, v); }
    void SetWidth(double v) { SetValue(WidthIndex, v); }

    // Moves the printable's control to the four measures, in pixels at the holder's zoom.
    void SetParentSizes();

    // The streamed "Values": Height, Left, Top, Width in native units.
    QList<double> WriteValues() const override;
    void ReadValues(const QList<double>& values) override;

    TBRPrintable* Printable() const { return m_printable; }

protected:
    void ApplySize() override { SetParentSizes(); }

private:
    std::array<double, IndexCount> m_values { 20.0, 20.0, 20.0, 20.0 };
    TBRPrintable* m_printable; // the printable owns this holder
};

// Where a band's print call stands, as its printables need to know to stretch and to paint.
struct TBRPrintContext {
    // The band may continue on a new column or page (false for page headers and footers and
    // what they print, which are printed while a page is begun or closed).
    bool mayBreak = true;
    // The band stands at the top of a column: a break would give no more room.
    bool freshColumn = false;
    // The band's background colour where it has just been painted (invalid otherwise), the
    // area painted (tenths of a millimetre), and the areas the band's printables painted since.
    QColor background;
    QRectF backgroundRect;
    const QList<QRectF>* paintedSince = nullptr;

    // True when an area of the colour would show nothing new: it lies in the fresh background
    // and nothing has been painted over that since.
    bool ShowsAlready(const QRectF& area, const QColor& color) const;
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
    TBRBasePanel* Parent() const { return m_parent; }
    void SetParent(TBRBasePanel* parent);

    QString Name() const { return objectName(); }
    virtual void SetName(const QString& name);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on) { m_enabled = on; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool on) { m_visible = on; }
    TBRFrame& Frame() { return m_frame; }
    const TBRFrame& Frame() const { return m_frame; }
    TBRPrintableSize& Size() { return m_size; }
    const TBRPrintableSize& Size() const { return m_size; }
    TAlignment Alignment() const { return m_alignment; }
    bool AlignToBand() const { return m_alignToBand; }
    void SetAlignToBand(bool on);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool on) { m_transparent = on; }
    QColor Color() const { return m_color; }
    void SetColor(const QColor& c) { m_color = c; }

    TCustomBandReport* ParentReport() const { return m_report; }
    void SetParentReport(TCustomBandReport* report) { m_report = report; }
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
    void SetLeft(int v) { SetBounds(v, m_top, m_width, m_height); }
    void SetTop(int v) { SetBounds(m_left, v, m_width, m_height); }
    void SetWidth(int v) { SetBounds(m_left, m_top, v, m_height); }
    void SetHeight(int v) { SetBounds(m_left, m_top, m_width, v); }

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
    virtual bool StretchesBand() const { return false; }
    // A printable that can stand behind every page (the report's BackImageControl) draws
    // itself stretched into a device rectangle.
    virtual bool CanBeBackImage() const { return false; }
    virtual void DrawStretched(QPainter&, const QRect&) { }

    // Set by the band before each Print.
    void SetPrintContext(const TBRPrintContext& context) { m_printContext = context; }
    const TBRPrintContext& PrintContext() const { return m_printContext; }

protected:
    void SetPrintFinished(bool on) { m_printFinished = on; }
    // The band the printable stands on, or nullptr.
    TBRCustomBand* ParentBand() const;
    // Called after the printable was placed on a panel.
    virtual void ParentChanged() { }
    // The device rectangle of a page rectangle in tenths of a millimetre.
    QRect DeviceRect(double left, double top, double right, double bottom) const;

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

// ---------------------------------------------------------------------------------------------
// 6. Bands
// ---------------------------------------------------------------------------------------------

enum class TBRBandType : std::uint8_t {
    rbTitle = 0,
    rbPageHeader = 1,
    rbDetail = 2,
    rbPageFooter = 3,
    rbSummary = 4,
    rbGroupHeader = 5,
    rbGroupFooter = 6,
    rbSubDetail = 7,
    rbColumnHeader = 8,
    rbOverlay = 9,
    rbChild = 10
};

// The design caption of a band type ("Page Header") and the base of new band names
// ("PageHeaderBand").
QString BRBandTypeCaption(TBRBandType type);
QString BRBandTypeNameBase(TBRBandType type);

// What bands and the report have in common: a frame, a zoom, and the printables placed on them.
class TBRBasePanel : public QObject {
public:
    explicit TBRBasePanel(QObject* parent = nullptr);

    TBRFrame& Frame() { return m_frame; }
    const TBRFrame& Frame() const { return m_frame; }
    int Zoom() const { return m_zoom; }
    virtual void SetZoom(int percent);

    // The printables placed on this panel, in control order.
    QList<TBRPrintable*> Printables() const;
    // Prepares (or unprepares) every printable on the panel and, recursively, on the panels
    // standing on it.
    void PreparePrintables();
    void UnpreparePrintables();

    // The report this panel belongs to (itself for a report).
    virtual TCustomBandReport* Report() const = 0;
    virtual TBRUnit PanelUnits() const = 0;
    // The panel's width in layout pixels.
    virtual int PixelWidth() const = 0;

protected:
    // The panels placed on this one (the report's bands).
    virtual QList<TBRBasePanel*> Panels() const { return {}; }

private:
    TBRFrame m_frame;
    int m_zoom = 100;
};

class TBRChildBand;

using TBRBandBeforePrintEvent = std::function<void(TBRCustomBand* sender, bool& printBand)>;
using TBRBandAfterPrintEvent = std::function<void(TBRCustomBand* sender, bool bandPrinted)>;

// A horizontal band of the report. Its type says when it prints; the band decides, each time it
// is printed, whether it prints, where, how high, and whether it needs a new column or page
// first (Print).
class TBRCustomBand : public TBRBasePanel {
public:
    explicit TBRCustomBand(TCustomBandReport* report = nullptr);
    ~TBRCustomBand() override;

    TBRBandType BandType() const { return m_bandType; }
    // Changes the type; the report's band list is rebuilt.
    void SetBandType(TBRBandType type);

    TCustomBandReport* Report() const override { return m_report; }
    TCustomBandReport* ParentReport() const { return m_report; }
    // Places the band on a report (nullptr takes it off): it joins the report's band list and
    // takes its units and zoom. A band placed on another band stands on that band's report.
    virtual void SetParentReport(TCustomBandReport* report);
    TBRUnit PanelUnits() const override { return m_size.Units(); }
    int PixelWidth() const override { return m_pixelWidth; }
    int PixelHeight() const { return m_pixelHeight; }
    // Position on the design surface (pixels), set when the report arranges its bands.
    int PixelTop() const { return m_pixelTop; }
    void SetPixelTop(int top) { m_pixelTop = top; }
    void SetZoom(int percent) override;

    TBRBandSize& Size() { return m_size; }
    const TBRBandSize& Size() const { return m_size; }
    // The control's height in pixels, as a form's code sets it (Size follows).
    void SetPixelHeight(int pixels);

    TBRBandAfterPrintEvent AfterPrint;
    TBRBandBeforePrintEvent BeforePrint;
    bool AlignToBottom = false;
    QColor Color = Qt::white;
    bool TransparentBand = false;
    bool ForceNewColumn = false;
    bool ForceNewPage = false;
    bool PreCaluculateBandHeight = false;
    bool KeepOnOnePage = false;

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on) { m_enabled = on; }
    // The band's font: the report's while ParentFont is set.
    QFont Font() const;
    void SetFont(const QFont& font);
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool on) { m_parentFont = on; }

    // A child band continues this band; HasChild creates or frees it.
    bool HasChild() const;
    void SetHasChild(bool on);
    TBRChildBand* GetChildBand() const;

    TBRCustomBand* LinkBand() const { return m_linkBand; }
    // False (and nothing changes) when the link would lead back to this band.
    bool SetLinkBand(TBRCustomBand* band);

    // The controller that prints this band as its detail, or nullptr.
    TBRCustomController* Controller() const { return m_controller; }
    void SetController(TBRCustomController* controller) { m_controller = controller; }
    // A band that owns a controller (a sub-detail) hands it to the controller tree.
    virtual TBRCustomController* OwnedController() const { return nullptr; }
    // Appends the bands this band brings into the report's band list (the band and its
    // child chain).
    virtual void AddToBandList(QList<TBRCustomBand*>& list);

    // Run state of one print.
    QRect BandRect; // device rectangle of the last background or frame drawn
    double ExpandedHeight = 0.0; // added by stretching printables during this print
    double StretchedHeight = 0.0;

    // Size.Height in tenths, with the linked bands when asked.
    double BandHeight(bool includeLinks) const;
    // True when the band can grow by amount (tenths) on the current column.
    bool CanExpand(double amount) const;
    // Grows the band by amount for a stretching printable (see TBRCustomLabel).
    bool ExpandBand(double amount, double& newExpanded, bool& done);
    // The height the band needs when its data-bound texts are laid out (tenths).
    virtual double StretchHeight();

    // Prints the band at the report's current position; called through the report's PrintBand.
    void Print();
    // Starts a new column when the band does not fit in what is left of this one.
    void MakeSpace();

    // Band-type caption and name base (for new band names).
    virtual QString BandTypeCaption() const { return BRBandTypeCaption(m_bandType); }
    virtual QString BandTypeNameBase() const { return BRBandTypeNameBase(m_bandType); }

protected:
    friend class TCustomBandReport;
    void SetBandTypeQuietly(TBRBandType type) { m_bandType = type; }
    // The report is going away: forget it without calling back.
    void DetachFromReport() { m_report = nullptr; }

private:
    void PrintPrintables(const TBRPrintContext& background);
    bool MayBreakHere() const;

    TCustomBandReport* m_report = nullptr;
    TBRBandType m_bandType = TBRBandType::rbTitle;
    TBRBandSize m_size;
    int m_pixelWidth = 0;
    int m_pixelHeight = 40;
    int m_pixelTop = 0;
    bool m_enabled = true;
    bool m_parentFont = true;
    QFont m_font;
    QPointer<TBRCustomBand> m_linkBand;
    QPointer<TBRCustomController> m_controller;
};

// A band of any type but child.
class TBRBand : public TBRCustomBand {
public:
    explicit TBRBand(TCustomBandReport* report = nullptr, TBRBandType type = TBRBandType::rbDetail);
};

// A band printed right after its parent band, as part of it.
class TBRChildBand : public TBRCustomBand {
public:
    explicit TBRChildBand(TCustomBandReport* report = nullptr);
    TBRCustomBand* ParentBand() const { return m_parentBand; }
    // False (and nothing changes) when the parent chain would lead back to this band.
    bool SetParentBand(TBRCustomBand* band);

private:
    QPointer<TBRCustomBand> m_parentBand;
};

// ---------------------------------------------------------------------------------------------
// 7. Controllers and groups
// ---------------------------------------------------------------------------------------------

class TBRGroup;

using TBROnNeedDataEvent = std::function<void(QObject* sender, bool& moreData)>;

// Drives the data of one level of a report: prints the detail band once per record and around
// it the header, footer, group bands and the controllers of nested levels. Owned by its owner
// link (the report or the band that made it).
class TBRCustomController : public QObject {
public:
    explicit TBRCustomController(QObject* ownerLink = nullptr);

    QObject* OwnerLink() const { return m_ownerLink; }
    QObject* Master() const { return m_master; }
    // Accepts a report, a controller or a band that owns a controller; refuses this
    // controller, its own master identity and any master chain that leads back to it.
    bool SetMaster(QObject* master);
    // Clients whose Master is this object belong to this controller.
    QObject* MasterIdentity() const { return m_masterIdentity; }
    void SetMasterIdentity(QObject* identity) { m_masterIdentity = identity; }
    TCustomBandReport* ParentReport() const { return m_report; }
    void SetParentReport(TCustomBandReport* report) { m_report = report; }

    bool PrintIfEmpty = true;
    bool PrintBefore() const { return m_printBefore; }
    virtual void SetPrintBefore(bool on) { m_printBefore = on; }

    void AddBefore(TBRCustomController* c) { m_before.append(c); }
    void AddAfter(TBRCustomController* c) { m_after.append(c); }
    void AddNotifyClient(TBRPrintable* client) { m_notify.append(client); }
    void NotifyClients(bool printed);
    const QList<TBRGroup*>& Groups() const { return m_groups; }
    const QList<TBRCustomController*>& BeforeList() const { return m_before; }
    const QList<TBRCustomController*>& AfterList() const { return m_after; }

    // The controller's own value as an expression result (an error result here).
    virtual EvResult ControllerValue() const;
    virtual void PrepareTree();
    virtual void Execute();
    virtual void Prepare();
    virtual void Unprepare();
    virtual void ExecuteAfter();
    virtual void ExecuteBefore();
    virtual void PrintEmptyController();
    virtual void RegisterBands(QList<TBRCustomBand*>& list);
    virtual void RegisterDataSets(TBRDataSetList& list);

    // Groups: the first change restarts every group inside it.
    bool CheckGroups();
    void CheckReprintGroups();
    void PrintGroupHeaders();
    void PrintGroupFooters();
    void ToggleGroupFlags();

protected:
    // Lets the application handle what is pending; false when the run was cancelled.
    bool KeepGoing() const;
    void MarkLaterGroupsChanged(int from);

    QList<TBRGroup*> m_groups;

private:
    QObject* m_ownerLink;
    QPointer<QObject> m_master;
    QObject* m_masterIdentity;
    TCustomBandReport* m_report = nullptr;
    bool m_printBefore = false;
    QList<TBRCustomController*> m_before;
    QList<TBRCustomController*> m_after;
    QList<QPointer<TBRPrintable>> m_notify;
    TBREvEmbeddedFunction* m_environmentElement = nullptr;
};

// A controller that walks a data set (or asks OnNeedData) and prints its detail band per record.
class TBRController : public TBRCustomController {
public:
    explicit TBRController(QObject* ownerLink = nullptr);

    platform::DataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(platform::DataSet* dataSet) { m_dataSet = dataSet; }
    TBRCustomBand* Detail() const { return m_detail; }
    TBRCustomBand* Header() const { return m_header; }
    TBRCustomBand* Footer() const { return m_footer; }
    void SetDetail(TBRCustomBand* band) { m_detail = band; }
    void SetHeader(TBRCustomBand* band) { m_header = band; }
    void SetFooter(TBRCustomBand* band) { m_footer = band; }
    TBROnNeedDataEvent OnNeedData;
    int DetailNumber = 0;
    bool ParamsBound() const { return m_paramsBound; }

    void Execute() override;
    void Prepare() override;
    void PrintEmptyController() override;
    void RegisterBands(QList<TBRCustomBand*>& list) override;
    void RegisterDataSets(TBRDataSetList& list) override;

private:
    bool DataSetActive() const;

    QPointer<platform::DataSet> m_dataSet;
    QPointer<TBRCustomBand> m_detail;
    QPointer<TBRCustomBand> m_header;
    QPointer<TBRCustomBand> m_footer;
    bool m_paramsBound = false;
};

// A band printed when the value of its Expression changes from one record to the next, with an
// optional footer band printed when the group ends.
class TBRGroup : public TBRCustomBand {
public:
    explicit TBRGroup(TCustomBandReport* report = nullptr);
    ~TBRGroup() override;

    QString Expression;
    bool ReprintOnNewPage = false;
    TBRBand* FooterBand() const { return m_footerBand; }
    void SetFooterBand(TBRBand* band);
    QObject* Master() const { return m_master; }
    // Accepts a report or a band that owns a controller; anything else is ignored.
    void SetMaster(QObject* master);

    bool Changed() const { return m_changed; }
    void SetChanged(bool on) { m_changed = on; }
    bool HasValue() const { return m_hasValue; }
    void ClearValue() { m_hasValue = false; }
    bool IsOpen() const { return m_open; }
    const EvResult& StoredValue() const { return m_value; }

    bool Check();
    bool CheckReprint();
    // Evaluates the expression and stores the value, marking the group changed.
    void Restart();
    void PrintGroupHeader();
    void PrintGroupFooter();
    void Prepare();
    void Unprepare();

private:
    std::unique_ptr<TBREvaluator> m_evaluator;
    QPointer<TBRBand> m_footerBand;
    QPointer<QObject> m_master;
    bool m_changed = false;
    bool m_hasValue = false;
    EvResult m_value;
    bool m_open = false;
    int m_headerPage = 1;
};

// ---------------------------------------------------------------------------------------------
// 7b. Sub-detail bands
// ---------------------------------------------------------------------------------------------

// A band that owns a controller: under each record of its Master, the controller prints this
// band once per record of its own data. The controller is created with the band and freed
// with it.
class TBRControllerBand : public TBRCustomBand {
public:
    explicit TBRControllerBand(TCustomBandReport* report = nullptr);
    ~TBRControllerBand() override;

    TBRController* OwnedController() const override { return m_ownController.get(); }
    // The report, controller or controller band under whose records this band runs; nullptr
    // when none (a master that is freed is forgotten).
    QObject* Master() const { return m_master; }
    // Refused (false, nothing changes) when the master's chain of controller bands leads back to
    // this band, or the controller does not accept it; the band itself is ignored (true).
    bool SetMaster(QObject* master);
    // A band placed on a report without a master runs under the report.
    void SetParentReport(TCustomBandReport* report) override;
    // Registers a printable to be told about each record this band's controller prints.
    void AddNotifyClient(TBRPrintable* printable) { m_ownController->AddNotifyClient(printable); }

protected:
    TBRController& OwnController() const { return *m_ownController; }
    // Rebuilds and arranges the report's band list, unless the report is going away.
    void RebuildReportBands();

private:
    std::unique_ptr<TBRController> m_ownController;
    QPointer<QObject> m_master;
};

class TBRSubDetail;

// The header and footer switches of a sub-detail: each reads true when the band is assigned;
// switching on makes a new group header (footer) band, switching off frees it.
class TBRSubDetailGroupBands {
public:
    explicit TBRSubDetailGroupBands(TBRSubDetail* band)
        : m_band(band)
    {
    }
    bool HasHeader() const;
    bool HasFooter() const;
    void SetHasHeader(bool on) { Switch(TBRBandType::rbGroupHeader, on); }
    void SetHasFooter(bool on) { Switch(TBRBandType::rbGroupFooter, on); }

private:
    void Switch(TBRBandType type, bool on);

    TBRSubDetail* m_band;
};

// The records of a second data set (or of OnNeedData) printed under each record of a master:
// for every master record its controller prints the header band, this band once per record and
// the footer band, before or after the master's detail band.
class TBRSubDetail : public TBRControllerBand {
public:
    explicit TBRSubDetail(TCustomBandReport* report = nullptr);

    TBRSubDetailGroupBands& Bands() { return m_bands; }
    platform::DataSet* DataSet() const { return OwnController().DataSet(); }
    void SetDataSet(platform::DataSet* dataSet) { OwnController().SetDataSet(dataSet); }
    TBRCustomBand* HeaderBand() const { return OwnController().Header(); }
    TBRCustomBand* FooterBand() const { return OwnController().Footer(); }
    // An assigned band becomes a group header (footer); one that is freed is cleared.
    void SetHeaderBand(TBRCustomBand* band) { SetGroupBand(TBRBandType::rbGroupHeader, band); }
    void SetFooterBand(TBRCustomBand* band) { SetGroupBand(TBRBandType::rbGroupFooter, band); }
    // The header (type rbGroupHeader) or footer (rbGroupFooter) band.
    void SetGroupBand(TBRBandType type, TBRCustomBand* band);
    // Supplies the records when there is no data set.
    void SetOnNeedData(TBROnNeedDataEvent event) { OwnController().OnNeedData = std::move(event); }
    // False: the band runs after the master's detail band; true: before it.
    bool PrintBefore() const { return OwnController().PrintBefore(); }
    void SetPrintBefore(bool on);
    // True: a master record without records of its own still prints header, band and footer once.
    bool PrintIfEmpty() const { return OwnController().PrintIfEmpty; }
    void SetPrintIfEmpty(bool on) { OwnController().PrintIfEmpty = on; }

    // The header band, this band and the footer band, each with its child chain.
    void AddToBandList(QList<TBRCustomBand*>& list) override;

private:
    TBRSubDetailGroupBands m_bands;
};

// ---------------------------------------------------------------------------------------------
// 8. The report
// ---------------------------------------------------------------------------------------------

class TBandReportBands;

enum class TBROption : std::uint8_t { FirstPageHeader = 1, LastPageFooter = 2, Compression = 4 };
using TBROptions = QFlags<TBROption>;
Q_DECLARE_OPERATORS_FOR_FLAGS(TBROptions)

enum class TBRZoomState : std::uint8_t { brZoomToFit, brZoomToWidth, brZoomOther };
// How the standard preview's window stands: on top of the others or not, and normal, minimised
// or maximised when it opens. The multiple-document styles have no meaning here and open as normal.
enum class TFormStyle : std::uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TWindowState : std::uint8_t { wsNormal, wsMinimized, wsMaximized };

using TBRNotifyEvent = std::function<void(TCustomBandReport* sender)>;
using TBRReportBeforePrintEvent = std::function<void(TCustomBandReport* sender, bool& printReport)>;

// The standard-band switches of a report: each reads true when a band of its type is on the
// report, creates one when set, frees the first one when cleared. Index 5 names no band.
class TBandReportBands {
public:
    explicit TBandReportBands(TCustomBandReport* report)
        : m_report(report)
    {
    }
    bool HasTitle() const { return GetBand(1) != nullptr; }
    bool HasPageHeader() const { return GetBand(2) != nullptr; }
    bool HasColumnHeader() const { return GetBand(3) != nullptr; }
    bool HasDetail() const { return GetBand(4) != nullptr; }
    bool HasPageFooter() const { return GetBand(6) != nullptr; }
    bool HasSummary() const { return GetBand(7) != nullptr; }
    void SetHasTitle(bool on) { SetBand(1, on); }
    void SetHasPageHeader(bool on) { SetBand(2, on); }
    void SetHasColumnHeader(bool on) { SetBand(3, on); }
    void SetHasDetail(bool on) { SetBand(4, on); }
    void SetHasPageFooter(bool on) { SetBand(6, on); }
    void SetHasSummary(bool on) { SetBand(7, on); }

    // The first band of the index's type in the report's band list; nullptr for index 5.
    TBRCustomBand* GetBand(int index) const;
    void SetBand(int index, bool on);
    TBRCustomBand* BandOfType(TBRBandType type) const;

private:
    TCustomBandReport* m_report;
};

// The banded report: a page description, bands with printables, printer settings, variables
// (Functions) and a controller that walks the data. Prepare runs it into a page store,
// PreviewModal shows the pages as they are made, Print runs it to the printer. While a run is
// active every one of them returns at once.
//
// The report owns its bands and the printables placed on it; a band owns its printables.
class TCustomBandReport : public TBRBasePanel, public TBRUnitOwner, public TBRPrinterOwner {
public:
    explicit TCustomBandReport(QObject* owner = nullptr);
    ~TCustomBandReport() override;

    // --- Published settings ----------------------------------------------------------------
    TBRNotifyEvent AfterPrint; // a print to the printer has ended
    TBRNotifyEvent AfterPreview; // the preview of the page store closed
    QString BackImageControl; // the Name of a printable on the report drawn behind every page
    TBRReportBeforePrintEvent BeforePrint; // false cancels the run before anything is printed
    QStringList Description;
    TBRNotifyEvent OnEndPage;
    TBROnNeedDataEvent OnNeedData;
    std::function<void(TBRPrinter*)> OnPreview; // shows the preview instead of the standard one
    TBRNotifyEvent OnStartPage;
    TBROptions Options { TBROption::FirstPageHeader, TBROption::LastPageFooter };
    TBandReportPrinterSettings PrinterSettings;
    QString ReportTitle;
    bool ShowProgress = true;
    bool SnapToGrid = true;
    TBRPrinterEvent OnGetPrinterSettings;
    TBRPrinterEvent OnApplyPrinterSettings;
    TFormStyle PrevFormStyle = TFormStyle::fsNormal;
    TWindowState PreviewInitialState = TWindowState::wsNormal;
    int PreviewWidth = 500;
    int PreviewHeight = 500;
    bool PrevShowThumbs = true;
    bool PrevShowSearch = true;
    TBRZoomState PrevInitialZoom = TBRZoomState::brZoomToFit;
    // The print dialog's Tag: 1 after a cancelled printer setup, 0 after a confirmed one.
    int Tag = 0;

    TBandReportBands& Bands() { return *m_bands; }
    QFont Font() const { return m_font; }
    void SetFont(const QFont& font);
    TBREvEnvironment& Functions() { return *m_functions; }
    TBRPage& Page() { return *m_page; }
    const TBRPage& Page() const { return *m_page; }
    bool PrintIfEmpty() const;
    void SetPrintIfEmpty(bool on);
    TBRUnit Units() const { return m_page->Units(); }
    // Re-expresses the page, every band size and every printable size.
    void SetUnits(TBRUnit units);
    // 1..300; other values are ignored.
    void SetZoom(int percent) override;
    // What the last printer setup chose (copies, printer, orientation, range, ...).
    const TBandReportPrinterSettings& SetupResult() const { return m_setupResult; }

    // --- Public operations -------------------------------------------------------------------
    // Runs the report into a new page store and leaves it in BRPrinter; shows nothing.
    void Prepare();
    // Runs the report into a page store shown by the preview, and waits until it closes.
    void PreviewModal();
    // Runs the report again straight to the printer (with the progress form); says how it
    // ended (Refused while a run is going).
    TBRPrinter::PrintResult Print();
    // Asks for the printer, paper, copies and range; false when cancelled (nothing changes
    // then). The paper and orientation chosen become the report page's.
    bool PrinterSetup();
    // The page store and printer of the current or last run, or nullptr.
    TBRPrinter* BRPrinter() const { return m_printer.get(); }
    // What the printer setup dialog is preset with and gives back.
    struct TBRSetupChoice {
        int PrinterIndex = -1;
        int Copies = 1;
        TPrinterOrientation Orientation = TPrinterOrientation::poPortrait;
        bool PageRange = false; // false: all pages (or the selection)
        int FromPage = 0;
        int ToPage = 0;
        int MinPage = 1;
        int MaxPage = 9999;
        bool PageNumbersEnabled = false; // a finished run gives the range its page count
        bool Duplex = false;
        int ExtendedDuplex = 0;
        int PrintQuality = 0;
        int Collate = 0;
        int ColorOption = 0;
        int BinCode = 0; // the paper source chosen (Windows numbering)
        int PaperCode = 0; // Windows numbering; 256 for a paper of its own; 0 keeps the page's
        int PaperWidth = 0; // tenths of a millimetre, the paper upright
        int PaperLength = 0;
        // The queue chosen, by name: prints go to it even when the list of queues changes.
        QString QueueName;
        QString FileName; // a PDF file chosen instead of a queue
        QString DefaultFileName; // where PDF output goes when no file is chosen (preset only)
    };
    // Shows the dialog; true when confirmed, with the choices in `choice`.
    using PrintDialogRunner = std::function<bool(TBRPrinter* printer, TBRSetupChoice& choice)>;
    // Replaces the dialog PrinterSetup shows (tests); an empty runner restores the standard one.
    static PrintDialogRunner SetPrintDialogRunner(PrintDialogRunner runner);

    // Text measured on the layout reference, in layout pixels.
    int TextWidth(const QFont& font, const QString& text) const;
    int TextHeight(const QFont& font, const QString& text) const;

    // --- Bands ---------------------------------------------------------------------------------
    // Every band on the report in print order (page headers, titles, column headers, the
    // controller's bands, page footers, the rest), each followed by its child chain.
    const QList<TBRCustomBand*>& BandList() const { return m_bandList; }
    void AddBand(TBRCustomBand* band);
    void RemoveBand(TBRCustomBand* band);
    void RebuildBandList();
    void ArrangeBands();
    // A new band of the type, named after it with the lowest free number ("DetailBand1").
    TBRBand* CreateBand(TBRBandType type);
    // The base followed by the lowest number from 1 that no component of the form uses.
    QString UniqueName(const QString& base) const;
    // The printables placed directly on the report (printed on every page).
    QList<TBRPrintable*> PagePrintables() const { return Printables(); }
    // Registers a printable to be told about each detail the main controller prints.
    void AddNotifyClient(TBRPrintable* printable);

    TBRCustomController& Controller() { return *m_controller; }

    // While loading (a form being read, or a builder at work) the band list is not rebuilt;
    // EndLoading rebuilds it and settles every band and printable.
    void BeginLoading() { ++m_loading; }
    void EndLoading();
    bool Loading() const { return m_loading > 0; }
    bool Destroying() const { return m_destroying; }

    // --- Run state -----------------------------------------------------------------------------
    bool Available() const { return m_available; }
    bool Cancelled() const { return m_cancelled; }
    // Asks a running report to stop at the next record (the preview closed, the progress form's
    // cancel button).
    void CancelRun();
    bool FinalPage() const { return m_finalPage; }
    int CurrentX() const { return m_currentX; }
    int CurrentY() const { return m_currentY; }
    void SetCurrentY(int y) { m_currentY = y; }
    int PageNumber() const { return m_pageNumber; }
    int CurrentColumn() const { return m_currentColumn; }
    int ColumnTopY() const { return m_columnTopY; }
    // Nothing has been placed in the current column yet: a break cannot give a band more room.
    bool AtColumnTop() const { return m_currentY == m_columnTopY; }
    // Whether nothing has been drawn on the page at or below y (0.1 mm): the white paper shows
    // there, and a white background would change nothing.
    bool BlankFrom(double y) const { return y >= m_inkBottom; }
    // Records that the page has been drawn on down to y (0.1 mm).
    void MarkInk(double y) { m_inkBottom = std::max(m_inkBottom, y); }
    double FooterReserve() const { return m_footerReserve; }
    // The page length the run places bands on: the sheet the page store uses.
    double PageLength() const { return m_pageLength; }
    const TBRDataSetList& DataSets() const { return m_dataSets; }
    // True while a column or page break that a band's placement or a stretching band caused
    // is carried out; cleared at the end of every band's print and when a run starts.
    bool BreakInProgress = false;
    // True while the page header or footer is printed (when a page is begun or closed):
    // bands printed then never break.
    bool InPageEdge() const { return m_pageEdge > 0; }

    // The run and the page machinery the bands and the controller drive.
    void CreateReport();
    void PrintBand(TBRCustomBand* band);
    void NewColumn();
    void NewPage();
    void EndPage();
    int AvailableSpace() const;
    void ForceNewPage();
    void ForceNewColumn();
    double PageFooterSpace() const;
    // Set by the controller after it printed its header or the first column header: a forced
    // new page right after is swallowed once. Cleared once the first record's detail has
    // printed, so that a header printed long before swallows nothing.
    void SetHeaderJustPrinted(bool on = true) { m_headerJustPrinted = on; }

    // TBRUnitOwner
    int UnitFontSize() const override;
    void PageLayoutChanged() override { }
    void PageUnitsChanged() override;
    // TBRPrinterOwner
    const TBRPrinterSettings& OwnerPrinterSettings() const override { return PrinterSettings; }
    bool OwnerShowProgress() const override { return ShowProgress; }

    TCustomBandReport* Report() const override { return const_cast<TCustomBandReport*>(this); }
    TBRUnit PanelUnits() const override { return Units(); }
    int PixelWidth() const override;

protected:
    QList<TBRBasePanel*> Panels() const override;
    // Runs the controller; TBandReport hands it the standard bands first.
    virtual void RunController();
    virtual void HandStandardBands() { }
    // A new page store for a run, hooked to this report; nullptr while a run is active.
    std::unique_ptr<TBRPrinter> InitPrinter();
    void SetPrinterValues();
    void ReplaceController(std::unique_ptr<TBRCustomController> controller);
    // The form the report stands on: where its data sets and controllers are found.
    QObject* OwnerForm() const;

private:
    friend class TBRCustomBand;
    friend class TBRCustomController;
    void HookPrinter(TBRPrinter& printer);
    // The paper chosen in printer setup becomes the page's (for the orientation chosen).
    void ApplyChosenPaper(const TBRSetupChoice& choice);
    void PaintPageFrame();
    void CollectDataSets();
    void RestoreAfterRun();
    void SetBandReport();
    void PrintColumnHeaderIfDue();
    void PrinterClientClosed(TBRPrinter* printer);
    // Makes a new page store the report's (the one it replaces is freed) for a run into it.
    bool StartStoreRun();

    std::unique_ptr<TBandReportBands> m_bands;
    std::unique_ptr<TBREvEnvironment> m_functions;
    std::unique_ptr<TBRPage> m_page;
    std::unique_ptr<TBRCustomController> m_controller;
    std::unique_ptr<TBRPrinter> m_printer;
    TBandReportPrinterSettings m_setupResult;
    QFont m_font;
    QList<TBRCustomBand*> m_bandList;
    int m_loading = 0;
    bool m_destroying = false;

    bool m_available = true;
    bool m_cancelled = false;
    bool m_finalPage = false;
    int m_currentX = 0;
    int m_currentY = -1;
    int m_pageNumber = 0;
    int m_currentColumn = 1;
    int m_columnTopY = 0;
    double m_inkBottom = 0.0; // the lowest point drawn on the page so far
    double m_footerReserve = 0.0;
    double m_fullFooterReserve = 0.0;
    double m_pageLength = 0.0;
    int m_pageEdge = 0;
    QPointer<TBRPrintable> m_backImage;
    TBRDataSetList m_dataSets;
    bool m_firstForcedColumn = false;
    bool m_headerJustPrinted = false;
    TBREvElement* m_pageNumberElement = nullptr;
    TBREvElement* m_columnNumberElement = nullptr;
    TBREvElement* m_reportTitleElement = nullptr;
};

// The report a form holds: its controller walks DataSet (or asks OnNeedData), with the detail
// band as its detail, the title band as its header and the summary band as its footer.
class TBandReport : public TCustomBandReport {
public:
    explicit TBandReport(QObject* owner = nullptr);

    platform::DataSet* DataSet() const;
    void SetDataSet(platform::DataSet* dataSet);
    // The data set's record count when it is open, else 1 (for the progress percentage).
    int RecordCount() const;

protected:
    void RunController() override;
    void HandStandardBands() override;

private:
    TBRController& MainController();
};

// Sets a query's parameters from the report's variables: each parameter named like a variable
// takes the variable's value where the kinds match (dates, times and date-times from texts in
// the program's formats); the query is closed before and opened again after.
void BRBindQueryParams(platform::DataSet* query, TBREvEnvironment& environment);

// ---------------------------------------------------------------------------------------------
// 9. Building a report in code
// ---------------------------------------------------------------------------------------------

class TBRLabel;
class TBRCustomLabel;
class TBRDBText;
class TBRExpr;
class TBRShape;
class TBRImage;
enum class TBRShapeType : std::uint8_t;

// Where a label stands on its band and how it looks: positions in tenths of a millimetre, the
// font size in points.
struct TBRLabelSpec {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0; // 0: as wide as the caption (with AutoSize)
    double height = 0.0; // 0: one line high
    double pointSize = 0.0; // 0: the report's font size
    bool bold = false;
    TAlignment alignment = TAlignment::taLeftJustify;
    bool alignToBand = false;
    bool autoSize = true;
    bool autoStretch = false;
    bool wordWrap = true;
    bool transparent = false;
};

// Builds a report in code the way loading its form did: bands and labels are made while the
// report is loading, sizes are set in tenths of a millimetre and fonts in points, and Finish
// settles the band list, formats every label's lines and aligns what is aligned to its band.
class TBRReportBuilder {
public:
    explicit TBRReportBuilder(TCustomBandReport& report);
    ~TBRReportBuilder();
    TBRReportBuilder(const TBRReportBuilder&) = delete;
    TBRReportBuilder& operator=(const TBRReportBuilder&) = delete;

    // The page: paper, orientation and the four margins in tenths of a millimetre.
    TBRReportBuilder& Page(TBRPaperSize paper, TPrinterOrientation orientation, double margin);
    TBRReportBuilder& Columns(int columns, double columnSpace);
    // The report's font in points ("ＭＳ Ｐゴシック").
    TBRReportBuilder& FontSize(double points);

    TBRBand* Band(TBRBandType type, double height);
    TBRChildBand* Child(TBRCustomBand* parent, double height);
    TBRGroup* Group(const QString& expression, double height, TBRBand* footer = nullptr);
    TBRLabel* Label(TBRBasePanel* panel, const QString& caption, const TBRLabelSpec& spec);
    // A field of a data set, shown with the mask (empty: the field's display text).
    TBRDBText* DBText(TBRBasePanel* panel, platform::DataSet* dataSet, const QString& field,
        const TBRLabelSpec& spec, const QString& mask = QString());
    // An expression's value, shown with the mask; its aggregates take the records of `master`
    // (nullptr: the report's, when it has any).
    TBRExpr* Expr(TBRBasePanel* panel, const QString& expression, const TBRLabelSpec& spec,
        const QString& mask = QString(), QObject* master = nullptr);
    // A shape in the box (tenths of a millimetre) with a pen `penWidth` reference pixels wide.
    TBRShape* Shape(TBRBasePanel* panel, TBRShapeType kind, const QRectF& box, int penWidth = 1);
    // A picture in the box (tenths of a millimetre); it is given its picture later.
    TBRImage* Image(TBRBasePanel* panel, const QRectF& box);
    // A sub-detail band under `master` (the report, a controller or a controller band) over the
    // data set (nullptr: records from OnNeedData).
    TBRSubDetail* SubDetail(QObject* master, platform::DataSet* dataSet, double height);

    // Ends loading; the report is ready to run.
    void Finish();

private:
    // A label's name, font, switches and place, before its text; and, after it, its height
    // and alignment in the band.
    void StartLabel(TBRCustomLabel* label, const QString& nameBase, const TBRLabelSpec& spec);
    void EndLabel(TBRCustomLabel* label, const TBRLabelSpec& spec);
    // Places a printable in the box, in tenths of a millimetre.
    static void PlaceBox(TBRPrintable* printable, const QRectF& box);

    TCustomBandReport& m_report;
    QList<TBRCustomLabel*> m_labels;
    bool m_finished = false;
};
