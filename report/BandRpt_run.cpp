#include "platform/ClockText.h"
#include "platform/DataSet.h"
#include "report/BandRpt.h"

#include <QPainter>
#include <QTime>
#include <limits>

// ---------------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------------

namespace {

double Native(const TBRPage& page, int index) { return page.nativeValue(index); }

} // namespace

void TCustomBandReport::CollectDataSets()
{
    m_dataSets.clear();
    for (platform::DataSet* ds : ownerForm()->findChildren<platform::DataSet*>()) {
        if (!m_dataSets.contains(ds))
            m_dataSets.append(ds);
    }
}

void TCustomBandReport::SetBandReport()
{
    for (TBRPrintable* p : printables())
        p->setParentReport(this);
}

double TCustomBandReport::PageFooterSpace() const
{
    double reserve = 0.0;
    for (QObject* o : children()) {
        auto* band = dynamic_cast<TBRCustomBand*>(o);
        if (!band || band->BandType() != TBRBandType::rbPageFooter || !band->Enabled())
            continue;
        reserve += band->Size().nativeHeight();
        for (TBRChildBand* c = band->GetChildBand(); c; c = c->GetChildBand())
            reserve += c->Size().nativeHeight();
    }
    return reserve;
}

void TCustomBandReport::CreateReport()
{
    if (!m_available || !m_printer)
        return;
    // Margins that leave no page are dropped, for this and later runs.
    TBRPage& page = *m_page;
    {
        const TBRUnit units = page.Units();
        page.setUnits(TBRUnit::Native);
        if (page.Width() - page.LeftMargin() - page.RightMargin() < 0) {
            page.setLeftMargin(0);
            page.setRightMargin(0);
        }
        if (page.Length() - page.TopMargin() - page.BottomMargin() < 0) {
            page.setTopMargin(0);
            page.setBottomMargin(0);
        }
        page.setUnits(units);
    }

    // Whatever happens from here on, the report is available again at the end and the run's
    // own state is gone.
    m_available = false;
    m_cancelled = false;
    m_finalPage = false;
    m_headerJustPrinted = false;
    m_firstForcedColumn = false;
    m_breakInProgress = false;
    m_columnHoldsRecord = false;
    m_pageEdge = 0;
    struct RunEnd {
        TCustomBandReport& r;
        ~RunEnd()
        {
            r.m_dataSets.clear();
            r.m_functions->SetDataSets({});
            r.m_breakInProgress = false;
            r.m_pageEdge = 0;
            r.m_currentY = -1;
            r.m_available = true;
        }
    } runEnd { *this };

    CollectDataSets();
    m_backImage = nullptr;
    for (TBRPrintable* p : printables()) {
        if (p->canBeBackImage() && p->Name() == BackImageControl)
            m_backImage = p;
    }
    bool printReport = true;
    if (BeforePrint)
        BeforePrint(this, printReport);
    if (!printReport)
        return;

    const TBRUnit savedUnits = Units();
    bool documentBegun = false;
    bool environmentPrepared = false;
    bool controllerPrepared = false;
    bool printablesPrepared = false;
    const auto finish = [&](bool completed) {
        setUnits(savedUnits);
        if (printablesPrepared)
            unpreparePrintables();
        if (controllerPrepared)
            m_controller->Unprepare();
        if (environmentPrepared) {
            m_functions->Unprepare();
            brGlobalEnvironment().Unprepare();
        }
        m_pageNumberElement = m_columnNumberElement = m_reportTitleElement = nullptr;
        if (documentBegun) {
            if (completed && !m_cancelled)
                m_printer->EndDoc();
            else
                m_printer->FinishPage();
        }
    };
    try {
        setUnits(TBRUnit::Native);
        SetPrinterValues();
        m_printer->setTitle(ReportTitle);
        m_printer->SetCompression(Options.testFlag(TBROption::Compression));
        m_printer->BeginDoc();
        documentBegun = true;
        // One page length for placing bands, for the page end and for the sheet recorded: that
        // of the paper the page store actually uses.
        m_pageLength = m_printer->PaperLength();
        m_currentY = -1;
        m_pageNumber = 0;
        m_currentColumn = page.Columns();
        m_fullFooterReserve = PageFooterSpace();
        m_footerReserve = m_fullFooterReserve;
        SetBandReport();
        m_currentX = brRound(Native(page, TBRPage::LeftMarginIndex));
        handStandardBands();
        m_controller->PrepareTree();
        brGlobalEnvironment().Prepare();
        m_functions->SetDataSets(m_dataSets);
        m_functions->Prepare();
        environmentPrepared = true;
        m_pageNumberElement = m_functions->ElementByName(QStringLiteral("PAGENUMBER"));
        m_columnNumberElement = m_functions->ElementByName(QStringLiteral("COLUMNNUMBER"));
        m_reportTitleElement = m_functions->ElementByName(QStringLiteral("REPORTTITLE"));
        TBREvEnvironment::SetStringConstant(m_reportTitleElement, ReportTitle);
        controllerPrepared = true;
        m_controller->Prepare();
        printablesPrepared = true;
        preparePrintables();

        runController();
        // The progress form's Cancel reaches the run only through the page store's flag: the
        // run is then as cancelled as by the report's own request, and a job to the printer is
        // aborted rather than finished with the pages made so far.
        if (m_printer->Cancelled())
            m_cancelled = true;

        m_currentX = brRound(Native(page, TBRPage::LeftMarginIndex));
        m_finalPage = true;
        if (!m_cancelled)
            EndPage();
    } catch (...) {
        finish(false);
        throw;
    }
    finish(true);
}

void TCustomBandReport::PrintBand(TBRCustomBand* band)
{
    if (!band)
        return;
    if (!band->AlignToBottom) {
        band->Print();
        return;
    }
    // The reserve a summary gives up (no footer follows it on the last page) is only its own.
    TBRRestore<double> reserve(m_footerReserve);
    if (band->BandType() == TBRBandType::rbSummary && !Options.testFlag(TBROption::LastPageFooter))
        m_footerReserve = 0.0;
    const double bottomMargin = Native(*m_page, TBRPage::BottomMarginIndex);
    const double height = band->Size().nativeHeight();
    const int needed = brRound(height + bottomMargin + m_footerReserve);
    if (needed <= brRound(m_pageLength) - m_currentY)
        m_currentY = brRound(m_pageLength) - brRound(height) - brRound(bottomMargin + m_footerReserve);
    band->Print();
}

int TCustomBandReport::AvailableSpace() const
{
    if (m_available || m_currentY == -1)
        return 0;
    return brRound(columnBottom() - m_currentY);
}

double TCustomBandReport::columnBottom() const
{
    return m_pageLength - Native(*m_page, TBRPage::BottomMarginIndex) - m_footerReserve;
}

int TCustomBandReport::nextColumnX() const
{
    const TBRPage& page = *m_page;
    int width;
    if (TBRCustomBand* detail = m_bands->BandOfType(TBRBandType::rbDetail)) {
        width = brRound(detail->Size().nativeWidth());
    } else {
        const int columns = page.Columns();
        width = (brRound(Native(page, TBRPage::WidthIndex)
                     - (Native(page, TBRPage::LeftMarginIndex) + Native(page, TBRPage::RightMarginIndex)))
                    - (columns - 1) * brRound(Native(page, TBRPage::ColumnSpaceIndex)))
            / columns;
    }
    return m_currentX + width + brRound(Native(page, TBRPage::ColumnSpaceIndex));
}

bool TCustomBandReport::nextColumnOnThisPage() const
{
    // A column that would start at or past the right margin (a detail band wider than the page
    // allows for the columns) would lie off the sheet: the next page takes it instead.
    const TBRPage& page = *m_page;
    return m_currentColumn < page.Columns()
        && nextColumnX() < Native(page, TBRPage::WidthIndex) - Native(page, TBRPage::RightMarginIndex);
}

namespace {

// A band's height with the bands of its child chain that print with it.
double withChildren(const TBRCustomBand* band)
{
    double height = band->Size().nativeHeight();
    for (TBRChildBand* c = band->GetChildBand(); c; c = c->GetChildBand())
        height += c->Enabled() ? c->Size().nativeHeight() : 0.0;
    return height;
}

} // namespace

int TCustomBandReport::nextColumnSpace() const
{
    const TBRPage& page = *m_page;
    double top;
    if (m_pageNumber > 0 && nextColumnOnThisPage()) {
        top = m_columnTopY;
    } else {
        // A new page: below its top margin, the page header and the group headers it reprints.
        top = Native(page, TBRPage::TopMarginIndex);
        if (m_pageNumber > 0 || Options.testFlag(TBROption::FirstPageHeader)) {
            TBRCustomBand* header = m_bands->BandOfType(TBRBandType::rbPageHeader);
            if (header && header->Enabled())
                top += withChildren(header);
        }
        if (m_pageNumber > 0) {
            for (const TBRGroup* g : m_controller->groups()) {
                if (g->ReprintOnNewPage && g->isOpen() && g->Enabled())
                    top += withChildren(g);
            }
        }
    }
    // Every column but the first of page 1 begins with the column header.
    if (m_pageNumber > 0) {
        TBRCustomBand* columnHeader = m_bands->BandOfType(TBRBandType::rbColumnHeader);
        if (columnHeader && columnHeader->Enabled())
            top += withChildren(columnHeader);
    }
    return brRound(columnBottom() - top);
}

// Relied on by every band that may break (TBRCustomBand::MakeSpace: details, sub-details, group
// headers and footers, child bands, the summary; and KeepOnOnePage's stretched height). A band
// that fits this column's room stays. One that fits the next column's room moves on. One that
// fits in no column (taller than the room below the headers a column begins with) gains nothing
// by moving on: it prints where it stands, drawn as far as the footer's top, unless the column
// already holds a record's band; otherwise a column or page would hold only headers, or only
// group footers and the summary, while the record moved on from it.
bool TCustomBandReport::bandMovesOn(int needed) const
{
    if (needed <= AvailableSpace())
        return false;
    return needed <= nextColumnSpace() || m_columnHoldsRecord;
}

void TCustomBandReport::NewColumn()
{
    const TBRPage& page = *m_page;
    m_columnHoldsRecord = false;
    if (!nextColumnOnThisPage()) {
        m_currentColumn = 1;
        m_currentX = brRound(Native(page, TBRPage::LeftMarginIndex));
        NewPage();
    } else {
        m_currentX = nextColumnX();
        m_currentY = m_columnTopY;
        ++m_currentColumn;
    }
    TBREvEnvironment::SetIntegerConstant(m_columnNumberElement, m_currentColumn);
    if (!(m_currentColumn == 1 && m_pageNumber == 1))
        PrintBand(m_bands->BandOfType(TBRBandType::rbColumnHeader));
    m_controller->CheckReprintGroups();
}

void TCustomBandReport::NewPage()
{
    EndPage();
    ++m_pageNumber;
    TBREvEnvironment::SetIntegerConstant(m_pageNumberElement, m_pageNumber);
    m_printer->NewPage();
    m_currentY = brRound(Native(*m_page, TBRPage::TopMarginIndex));
    // A page begins blank, unless the program's handler or the background image draws on it.
    m_inkBottom = OnStartPage || m_backImage ? std::numeric_limits<double>::infinity() : 0.0;
    if (OnStartPage)
        OnStartPage(this);
    if (m_backImage && m_printer->Canvas()) {
        const TBRPrintableSize& s = m_backImage->Size();
        const QRect target(m_printer->ToDeviceX(s.nativeValue(TBRPrintableSize::LeftIndex)),
            m_printer->ToDeviceY(s.nativeValue(TBRPrintableSize::TopIndex)),
            brRound(s.nativeValue(TBRPrintableSize::WidthIndex) * m_printer->horizontalFactor()),
            brRound(s.nativeValue(TBRPrintableSize::HeightIndex) * m_printer->verticalFactor()));
        m_backImage->drawStretched(*m_printer->Canvas(), target);
    }
    if (m_pageNumber > 1 || Options.testFlag(TBROption::FirstPageHeader)) {
        TBRRestore<int> leaveEdge(m_pageEdge);
        ++m_pageEdge;
        PrintBand(m_bands->BandOfType(TBRBandType::rbPageHeader));
    }
    m_columnTopY = m_currentY;
    if (m_pageNumber == 1) {
        if (TBRCustomBand* title = m_bands->BandOfType(TBRBandType::rbTitle))
            m_columnTopY += brRound(title->Size().nativeHeight());
    }
}

void TCustomBandReport::EndPage()
{
    if (m_pageNumber == 0)
        return;
    const TBRPage& page = *m_page;
    TBRRestore<int> leaveEdge(m_pageEdge);
    ++m_pageEdge;
    // The footer stands above the whole reserve: a summary that gave its reserve up (no footer
    // on the last page) may still have moved on to a page that has one.
    m_currentY = brRound(m_pageLength - Native(page, TBRPage::BottomMarginIndex) - m_fullFooterReserve);
    m_currentX = brRound(Native(page, TBRPage::LeftMarginIndex));
    if (!(m_finalPage && !Options.testFlag(TBROption::LastPageFooter)))
        PrintBand(m_bands->BandOfType(TBRBandType::rbPageFooter));
    PaintPageFrame();
    if (OnEndPage)
        OnEndPage(this);
}

void TCustomBandReport::PaintPageFrame()
{
    TBRPrintContext context;
    context.mayBreak = false;
    for (TBRPrintable* p : printables()) {
        if (p == m_backImage.data())
            continue;
        p->setPrintContext(context);
        p->Print(0, 0);
    }
    QPainter* canvas = m_printer->Canvas();
    if (!canvas || !Frame().HasSides())
        return;
    const TBRPage& page = *m_page;
    const int left = m_printer->ToDeviceX(Native(page, TBRPage::LeftMarginIndex));
    const int top = m_printer->ToDeviceY(Native(page, TBRPage::TopMarginIndex));
    const int right
        = m_printer->ToDeviceX(Native(page, TBRPage::WidthIndex) - Native(page, TBRPage::RightMarginIndex));
    const int bottom = m_printer->ToDeviceY(m_pageLength - Native(page, TBRPage::BottomMarginIndex));
    Frame().PaintIt(*canvas, QRect(left, top, right - left, bottom - top), m_printer->horizontalFactor(),
        m_printer->verticalFactor());
}

void TCustomBandReport::ForceNewPage()
{
    if (m_available)
        return;
    if (m_headerJustPrinted) {
        m_headerJustPrinted = false;
        return;
    }
    do {
        NewColumn();
    } while (m_currentColumn != 1);
}

void TCustomBandReport::ForceNewColumn()
{
    if (m_available)
        return;
    if (!m_firstForcedColumn && m_currentColumn < 2) {
        m_firstForcedColumn = true;
        return;
    }
    NewColumn();
}

// ---------------------------------------------------------------------------------------------
// Query parameters
// ---------------------------------------------------------------------------------------------

namespace {

// Texts in the program's formats: yyyy/mm/dd dates, H:MM:SS times.
QDate programDate(const QString& text)
{
    return QDate::fromString(text.trimmed(), QStringLiteral("yyyy/M/d"));
}

constexpr platform::ClockTextRule kProgramTime { .secondsOptional = true,
    .blanks = platform::ClockTextRule::Blanks::AnyWhiteSpace };

QDateTime programDateTime(const QString& text)
{
    const QString t = text.trimmed();
    const qsizetype blank = t.indexOf(u' ');
    const QDate date = programDate(blank < 0 ? t : t.left(blank));
    const auto time = blank < 0 ? QTime(0, 0) : platform::parseClockText(t.mid(blank + 1), kProgramTime);
    return date.isValid() && time ? QDateTime(date, *time) : QDateTime();
}

} // namespace

void BRBindQueryParams(platform::DataSet* dataSet, TBREvEnvironment& environment)
{
    auto* query = dynamic_cast<platform::Query*>(dataSet);
    if (!query)
        return;
    using platform::FieldType;
    query->Close();
    for (int i = 0; i < query->ParamCount(); ++i) {
        platform::Param* p = query->Params(i);
        const QString name = p->Name().toUpper();
        if (!environment.findFunction(name))
            continue;
        const EvResult r = environment.Evaluate(name);
        switch (p->DataType()) {
        case FieldType::ftString:
            if (r.Kind == EvResultKind::String)
                p->SetAsString(r.StrResult);
            break;
        case FieldType::ftSmallint:
        case FieldType::ftInteger:
        case FieldType::ftWord:
            if (r.Kind == EvResultKind::Integer)
                p->SetAsInteger(r.IntResult);
            break;
        case FieldType::ftBoolean:
            if (r.Kind == EvResultKind::Boolean)
                p->SetAsBoolean(r.BoolResult);
            break;
        case FieldType::ftFloat:
        case FieldType::ftCurrency:
        case FieldType::ftBCD:
            if (r.Kind == EvResultKind::Float)
                p->SetAsFloat(r.FloatResult);
            break;
        case FieldType::ftDate:
            if (r.Kind == EvResultKind::String) {
                if (const QDate d = programDate(r.StrResult); d.isValid())
                    p->SetAsDate(d);
            }
            break;
        case FieldType::ftTime:
            if (r.Kind == EvResultKind::String) {
                if (const auto t = platform::parseClockText(r.StrResult, kProgramTime))
                    p->SetAsTime(*t);
            }
            break;
        case FieldType::ftDateTime:
            if (r.Kind == EvResultKind::String) {
                if (const QDateTime dt = programDateTime(r.StrResult); dt.isValid())
                    p->SetAsDateTime(dt);
            }
            break;
        case FieldType::ftUnknown:
            break;
        }
    }
    query->Open();
}

void TCustomBandReport::runController() { m_controller->Execute(); }
