#include "report/BandRpt.h"

#include <QPainter>
#include <cmath>
#include <utility>

// ---------------------------------------------------------------------------------------------
// Band types
// ---------------------------------------------------------------------------------------------

namespace {

struct BandTypeTexts {
    const char* caption;
    const char* nameBase;
};

constexpr BandTypeTexts TypeTexts[] = {
    { "Title", "TitleBand" },
    { "Page Header", "PageHeaderBand" },
    { "Detail", "DetailBand" },
    { "Page Footer", "PageFooterBand" },
    { "Summary", "SummaryBand" },
    { "Group Header", "GroupHeaderBand" },
    { "Group Footer", "GroupFooterBand" },
    { "Sub Detail", "SubDetailBand" },
    { "Column Header", "ColumnHeaderBand" },
    { "Overlay", "OverlayBand" },
    { "Child", "ChildBand" },
};

} // namespace

QString brBandTypeCaption(TBRBandType type)
{
    return QString::fromLatin1(TypeTexts[static_cast<int>(type)].caption);
}

QString brBandTypeNameBase(TBRBandType type)
{
    return QString::fromLatin1(TypeTexts[static_cast<int>(type)].nameBase);
}

// ---------------------------------------------------------------------------------------------
// TBRBasePanel
// ---------------------------------------------------------------------------------------------

TBRBasePanel::TBRBasePanel(QObject* parent)
    : QObject(parent)
{
}

void TBRBasePanel::setZoom(int percent)
{
    if (percent == 0)
        return;
    m_zoom = percent;
    for (TBRPrintable* p : printables()) {
        p->Size().setZoom(percent);
        p->Size().SetParentSizes();
    }
    for (TBRBasePanel* panel : panels())
        panel->setZoom(percent);
}

QList<TBRPrintable*> TBRBasePanel::printables() const
{
    QList<TBRPrintable*> list;
    for (QObject* child : children()) {
        if (auto* p = dynamic_cast<TBRPrintable*>(child))
            list.append(p);
    }
    return list;
}

void TBRBasePanel::preparePrintables()
{
    for (TBRPrintable* p : printables())
        p->Prepare();
    for (TBRBasePanel* panel : panels())
        panel->preparePrintables();
}

void TBRBasePanel::unpreparePrintables()
{
    for (TBRPrintable* p : printables())
        p->Unprepare();
    for (TBRBasePanel* panel : panels())
        panel->unpreparePrintables();
}

// ---------------------------------------------------------------------------------------------
// TBRCustomBand
// ---------------------------------------------------------------------------------------------

TBRCustomBand::TBRCustomBand(TCustomBandReport* report)
    : m_size(nullptr, report)
    , m_font(report ? report->Font() : QFont())
{
    m_size.setPixelsPerInch(BRLayoutDotsPerInch);
    m_size.setResizeTarget([this](int w, int h) {
        m_pixelWidth = w;
        m_pixelHeight = h;
        for (TBRPrintable* p : printables()) {
            if (p->AlignToBand())
                p->ReportNotify(this, 2);
        }
    });
    // A new band is 40 pixels high and as wide as the page between its margins.
    setPixelHeight(40);
    if (report) {
        const TBRPage& page = report->Page();
        const double width = page.nativeValue(TBRPage::WidthIndex)
            - page.nativeValue(TBRPage::LeftMarginIndex) - page.nativeValue(TBRPage::RightMarginIndex);
        m_size.setNativeWidth(std::max(width, 0.0));
        setParentReport(report);
    }
}

TBRCustomBand::~TBRCustomBand()
{
    // Off the report's children first, or rebuilding its band list would find this band again.
    TCustomBandReport* report = std::exchange(m_report, nullptr);
    QObject::setParent(nullptr);
    if (report && !report->destroying())
        report->RemoveBand(this);
}

void TBRCustomBand::setParentReport(TCustomBandReport* report)
{
    if (report == m_report)
        return;
    if (m_report)
        m_report->RemoveBand(this);
    m_report = report;
    QObject::setParent(report);
    if (report) {
        m_size.setReport(report);
        m_size.setUnits(report->Units());
        setZoom(report->Zoom());
        report->AddBand(this);
    }
}

void TBRCustomBand::setZoom(int percent)
{
    if (percent == 0)
        return;
    m_size.setZoom(percent);
    TBRBasePanel::setZoom(percent);
    // The control follows the size at the new zoom.
    m_size.setNativeHeight(m_size.nativeHeight());
}

void TBRCustomBand::setPixelHeight(int pixels)
{
    const TBRUnit units = m_size.Units();
    m_size.setUnits(TBRUnit::Pixels);
    m_size.setHeight(pixels);
    m_size.setUnits(units);
}

void TBRCustomBand::setBandType(TBRBandType type)
{
    m_bandType = type;
    if (m_report) {
        m_report->RebuildBandList();
        m_report->ArrangeBands();
    }
}

QFont TBRCustomBand::Font() const
{
    if (m_parentFont && m_report)
        return m_report->Font();
    return m_font;
}

void TBRCustomBand::setFont(const QFont& font)
{
    m_font = font;
    m_parentFont = false;
}

TBRChildBand* TBRCustomBand::GetChildBand() const
{
    if (!m_report)
        return nullptr;
    for (QObject* o : m_report->children()) {
        auto* child = dynamic_cast<TBRChildBand*>(o);
        if (child && child->ParentBand() == this)
            return child;
    }
    return nullptr;
}

bool TBRCustomBand::HasChild() const { return GetChildBand() != nullptr; }

void TBRCustomBand::setHasChild(bool on)
{
    TBRChildBand* child = GetChildBand();
    if (on && !child && m_report) {
        auto* band = new TBRChildBand(m_report);
        band->setParentBand(this);
    } else if (!on && child) {
        // The chain stays linked: a grandchild moves up to this band.
        if (TBRChildBand* grandchild = child->GetChildBand())
            grandchild->setParentBand(this);
        delete child;
    }
}

bool TBRCustomBand::setLinkBand(TBRCustomBand* band)
{
    for (TBRCustomBand* b = band; b; b = b->LinkBand()) {
        if (b == this)
            return false;
    }
    m_linkBand = band;
    return true;
}

// Out of line: the controller's class is declared after the bands.
TBRCustomController* TBRCustomBand::Controller() const { return m_controller; }

void TBRCustomBand::setController(TBRCustomController* controller) { m_controller = controller; }

bool TBRCustomBand::printsRecord() const
{
    const TBRCustomBand* band = this;
    while (const auto* child = dynamic_cast<const TBRChildBand*>(band))
        band = child->ParentBand();
    return band && band->m_controller;
}

void TBRCustomBand::addToBandList(QList<TBRCustomBand*>& list)
{
    if (list.contains(this))
        return;
    list.append(this);
    for (TBRChildBand* c = GetChildBand(); c && !list.contains(c); c = c->GetChildBand())
        list.append(c);
}

double TBRCustomBand::BandHeight(bool includeLinks) const
{
    double h = m_size.nativeHeight();
    // A linked band counts once, with its own links.
    if (includeLinks && m_linkBand)
        h += m_linkBand->BandHeight(true);
    return h;
}

bool TBRCustomBand::CanExpand(double amount) const
{
    return m_report && brRound(m_size.nativeHeight() + ExpandedHeight + amount) <= m_report->AvailableSpace();
}

bool TBRCustomBand::ExpandBand(double amount, double& newExpanded, bool& done)
{
    if (!CanExpand(amount))
        return false;
    if (!done && amount < ExpandedHeight) {
        newExpanded = ExpandedHeight;
        done = true;
        return true;
    }
    ExpandedHeight += amount;
    newExpanded = ExpandedHeight;
    done = true;
    return false;
}

double TBRCustomBand::StretchHeight()
{
    double maximum = m_size.nativeHeight();
    double gap = 0.0;
    for (TBRPrintable* p : printables()) {
        if (!p->stretchesBand() || !p->IsEnabled())
            continue;
        double needed = p->Height();
        p->GetExpandedHeight(needed);
        const double candidate = (needed + p->Top()) / BRLayoutPixelsPerTenth;
        if (candidate > maximum) {
            maximum = candidate;
            gap = std::max(0.0, (m_pixelHeight - p->Top() - p->Height() + 1) / BRLayoutPixelsPerTenth);
        }
    }
    StretchedHeight = maximum + gap;
    return StretchedHeight;
}

// Clips what a band draws while it reaches past where it may show (a band taller than the room
// between the page header and the footer, printed from the top of its column): a page footer
// to the sheet, every other band to the top of the footer's space, so that the footer stays
// readable. The clip is given back before the band moves on to a new column or page, whose
// painter may be another one, and taken again there: every save has its restore.
class TBRBandClip {
public:
    TBRBandClip(TCustomBandReport& r, double bandHeight, double limit)
        : m_report(r)
        , m_bandHeight(bandHeight)
        , m_limit(limit)
    {
        begin();
    }
    ~TBRBandClip() { end(); }
    TBRBandClip(const TBRBandClip&) = delete;
    TBRBandClip& operator=(const TBRBandClip&) = delete;

    // Clips at the band's current place, when the band reaches past its limit there.
    void begin()
    {
        TBRPrinter* printer = m_report.BRPrinter();
        QPainter* canvas = printer ? printer->Canvas() : nullptr;
        if (m_canvas || !canvas || m_report.CurrentY() + m_bandHeight <= m_limit)
            return;
        m_canvas = canvas;
        canvas->save();
        const int top = printer->ToDeviceY(0);
        canvas->setClipRect(QRect(printer->ToDeviceX(0), top, printer->ToDeviceWidth(printer->PaperWidth()),
                                std::max(0, printer->ToDeviceY(m_limit) - top)),
            Qt::IntersectClip);
    }
    // Gives the painter's state back.
    void end()
    {
        QPainter* canvas = std::exchange(m_canvas, nullptr);
        const TBRPrinter* printer = m_report.BRPrinter();
        if (canvas && printer && printer->Canvas() == canvas)
            canvas->restore();
    }

private:
    TCustomBandReport& m_report;
    double m_bandHeight;
    double m_limit;
    QPainter* m_canvas = nullptr;
};

bool TBRCustomBand::mayBreakHere() const
{
    switch (m_bandType) {
    case TBRBandType::rbTitle:
    case TBRBandType::rbPageHeader:
    case TBRBandType::rbPageFooter:
    case TBRBandType::rbOverlay:
        return false;
    default:
        return m_report->PageNumber() > 0 && !m_report->inPageEdge();
    }
}

void TBRCustomBand::Print()
{
    TCustomBandReport* r = m_report;
    if (!r)
        return;
    bool printBand = m_enabled;
    if (m_enabled && BeforePrint)
        BeforePrint(this, printBand);
    if (!printBand) {
        if (!m_enabled && m_controller)
            m_controller->NotifyClients(false);
    } else {
        const bool mayBreak = mayBreakHere();
        if (ForceNewPage && !r->m_breakInProgress && mayBreak) {
            r->ForceNewPage();
            r->m_breakInProgress = false;
        } else if (ForceNewColumn && mayBreak) {
            r->ForceNewColumn();
        } else {
            MakeSpace();
        }
        if (m_controller)
            m_controller->NotifyClients(true);
        if (KeepOnOnePage && !r->inPageEdge() && r->bandMovesOn(brRound(StretchHeight())))
            r->NewColumn();
        if (printsRecord())
            r->m_columnHoldsRecord = true;
        TBRBandClip clip(*r, m_size.nativeHeight(),
            m_bandType == TBRBandType::rbPageFooter ? r->PageLength() : r->columnBottom());
        TBRPrinter* printer = r->BRPrinter();
        QPainter* canvas = printer ? printer->Canvas() : nullptr;
        TBRPrintContext background;
        if (!TransparentBand && printer) {
            const double h = PreCaluculateBandHeight ? StretchHeight() : m_size.nativeHeight();
            const int x = r->CurrentX(), y = r->CurrentY();
            const int left = printer->ToDeviceX(x), top = printer->ToDeviceY(y);
            BandRect = QRect(left, top, printer->ToDeviceX(x + m_size.nativeWidth()) - left,
                printer->ToDeviceY(y + h) - top);
            if (m_pixelHeight != 0 && canvas) {
                // White on the blank part of the page would only make the page longer.
                if (Color != QColor(Qt::white) || !r->blankFrom(y)) {
                    canvas->fillRect(BandRect, Color);
                    r->markInk(y + h);
                }
                background.background = Color;
                background.backgroundRect = QRectF(x, y, m_size.nativeWidth(), h);
            }
        }
        if (m_pixelHeight != 0)
            printPrintables(background, clip);
    }
    if (AfterPrint)
        AfterPrint(this, printBand);
    if (TBRChildBand* child = GetChildBand()) {
        // A page footer's child is printed as part of the footer; the borrowed type is given
        // back whatever happens, or later runs would count the child twice in the footer reserve.
        TBRCustomBand* borrower = child;
        TBRRestore<TBRBandType> giveBack(borrower->m_bandType);
        if (m_bandType == TBRBandType::rbPageFooter)
            borrower->m_bandType = TBRBandType::rbPageFooter;
        r->PrintBand(child);
    }
    r->m_breakInProgress = false;
}

void TBRCustomBand::printPrintables(const TBRPrintContext& background, TBRBandClip& clip)
{
    TCustomBandReport* r = m_report;
    TBRPrinter* printer = r->BRPrinter();
    QPainter* canvas = printer ? printer->Canvas() : nullptr;
    const QList<TBRPrintable*> items = printables();
    ExpandedHeight = 0.0;
    const double rememberedHeight = m_size.nativeHeight();
    const auto restoreHeight = [&] {
        if (m_size.nativeHeight() != rememberedHeight)
            m_size.setNativeHeight(rememberedHeight);
    };
    bool firstPass = true;
    QList<QRectF> painted;
    double height = 0.0;
    for (;;) {
        bool allDone = true;
        // The background is fresh only in the band's first pass; a continuation in a new column
        // has none.
        TBRPrintContext context = firstPass ? background : TBRPrintContext();
        context.mayBreak = !r->inPageEdge();
        context.continued = !firstPass;
        if (context.mayBreak) {
            context.columnBottom = r->columnBottom();
            context.nextColumnRoom = r->nextColumnSpace();
        }
        context.bandBottom = r->CurrentY() + m_size.nativeHeight();
        double contentBottom = r->CurrentY();
        context.contentBottom = &contentBottom;
        // Stretching text may fill a band that goes on, or reaches past the column, down to
        // the column's end.
        const double fillBottom
            = context.continued || context.bandBottom > context.columnBottom ? context.columnBottom : 0.0;
        context.paintedSince = &painted;
        painted.clear();
        for (TBRPrintable* p : items) {
            if (!p->IsEnabled())
                continue;
            if (firstPass || !p->PrintFinished()) {
                p->setPrintContext(context);
                p->Print(r->CurrentX(), r->CurrentY());
                // What the printable may have covered, stretching included; what goes on in a
                // new column starts at its top.
                const TBRPrintableSize& size = p->Size();
                const double top
                    = r->CurrentY() + (firstPass ? size.nativeValue(TBRPrintableSize::TopIndex) : 0.0);
                const double bottom = std::max(
                    top + size.nativeValue(TBRPrintableSize::HeightIndex) + ExpandedHeight + 1.0, fillBottom);
                painted.append(QRectF(r->CurrentX() + size.nativeValue(TBRPrintableSize::LeftIndex), top,
                    size.nativeValue(TBRPrintableSize::WidthIndex), bottom - top));
            }
            allDone = allDone && p->PrintFinished();
        }
        // A band that goes on in a new column takes there only the room its content used, so
        // that the bands after it follow on the same page.
        height = firstPass ? m_size.nativeHeight() + ExpandedHeight : contentBottom - r->CurrentY();
        if (printer) {
            const int x = r->CurrentX(), y = r->CurrentY();
            const int left = printer->ToDeviceX(x), top = printer->ToDeviceY(y);
            BandRect = QRect(left, top, printer->ToDeviceX(x + m_size.nativeWidth()) - left,
                printer->ToDeviceY(y + height + 1.0) - top);
            if (canvas && Frame().HasSides())
                Frame().PaintIt(*canvas, BandRect, printer->horizontalFactor(), printer->verticalFactor());
        }
        // What this pass drew reaches down to the band's end (its frame one below) or to the
        // lowest printable.
        double inkBottom = r->CurrentY() + height + (Frame().HasSides() ? 1.0 : 0.0);
        for (const QRectF& area : std::as_const(painted))
            inkBottom = std::max(inkBottom, area.bottom());
        r->markInk(inkBottom);
        if (allDone)
            break;
        r->m_breakInProgress = true;
        clip.end();
        r->NewColumn();
        if (printsRecord())
            r->m_columnHoldsRecord = true;
        clip.begin();
        r->m_breakInProgress = false;
        restoreHeight();
        ExpandedHeight = 0.0;
        firstPass = false;
    }
    // Whoever looks after the print (AfterPrint) finds the height the band took on this page.
    ExpandedHeight = height - m_size.nativeHeight();
    r->setCurrentY(r->CurrentY() + brRound(height));
    restoreHeight();
}

void TBRCustomBand::MakeSpace()
{
    TCustomBandReport* r = m_report;
    // Bands printed while a page is begun or closed never break: a break from there would
    // begin or close a page again, without end.
    if (r->inPageEdge())
        return;
    const bool isDetail = m_bandType == TBRBandType::rbDetail;
    if (r->PageNumber() == 0
        || (m_bandType != TBRBandType::rbPageFooter && r->bandMovesOn(brRound(BandHeight(true))))) {
        r->m_breakInProgress = isDetail;
        r->NewColumn();
    } else if (isDetail) {
        r->m_breakInProgress = false;
    }
}

// ---------------------------------------------------------------------------------------------
// TBRBand, TBRChildBand
// ---------------------------------------------------------------------------------------------

TBRBand::TBRBand(TCustomBandReport* report, TBRBandType type)
    : TBRCustomBand(report)
{
    setBandType(type);
}

TBRChildBand::TBRChildBand(TCustomBandReport* report)
    : TBRCustomBand(report)
{
    setBandTypeQuietly(TBRBandType::rbChild);
}

bool TBRChildBand::setParentBand(TBRCustomBand* band)
{
    for (TBRCustomBand* b = band; b;) {
        if (b == this)
            return false;
        auto* child = dynamic_cast<TBRChildBand*>(b);
        b = child ? child->ParentBand() : nullptr;
    }
    m_parentBand = band;
    if (TCustomBandReport* r = ParentReport(); r && !r->destroying()) {
        r->RebuildBandList();
        r->ArrangeBands();
    }
    return true;
}
