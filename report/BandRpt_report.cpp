#include "platform/DataSet.h"
#include "report/BRCtrls.h"
#include "report/BandRpt.h"

#include <QSet>
#include <cmath>
#include <optional>

// ---------------------------------------------------------------------------------------------
// TBandReportBands
// ---------------------------------------------------------------------------------------------

namespace {

// The band type behind each switch index; index 5 names none.
std::optional<TBRBandType> switchType(int index)
{
    switch (index) {
    case 1:
        return TBRBandType::rbTitle;
    case 2:
        return TBRBandType::rbPageHeader;
    case 3:
        return TBRBandType::rbColumnHeader;
    case 4:
        return TBRBandType::rbDetail;
    case 6:
        return TBRBandType::rbPageFooter;
    case 7:
        return TBRBandType::rbSummary;
    default:
        return std::nullopt;
    }
}

} // namespace

TBRCustomBand* TBandReportBands::BandOfType(TBRBandType type) const
{
    for (TBRCustomBand* band : m_report->bandList()) {
        if (band->BandType() == type)
            return band;
    }
    return nullptr;
}

TBRCustomBand* TBandReportBands::GetBand(int index) const
{
    const auto type = switchType(index);
    return type ? BandOfType(*type) : nullptr;
}

void TBandReportBands::setBand(int index, bool on)
{
    const auto type = switchType(index);
    if (!type)
        return;
    TBRCustomBand* band = BandOfType(*type);
    if (on && !band)
        m_report->CreateBand(*type);
    else if (!on && band)
        delete band;
}

// ---------------------------------------------------------------------------------------------
// TCustomBandReport: the component
// ---------------------------------------------------------------------------------------------

TCustomBandReport::TCustomBandReport(QObject* owner)
    : TBRBasePanel(owner)
    , m_bands(std::make_unique<TBandReportBands>(this))
    , m_functions(std::make_unique<TBREvEnvironment>())
    , m_page(std::make_unique<TBRPage>(this))
    , m_controller(std::make_unique<TBRCustomController>(this))
    , m_font(brDefaultReportFont())
{
    m_functions->AddFunction(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    m_functions->AddFunction(QStringLiteral("COLUMNNUMBER"), QStringLiteral("0"));
    m_functions->AddFunction(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
    m_page->setPixelsPerInch(BRLayoutDotsPerInch);
    m_controller->setParent(nullptr);
    m_controller->setMasterIdentity(this);
    m_controller->setParentReport(this);
    // The paper of the default printer as the print server last named it (A4 until it has):
    // making a report asks the server nothing.
    m_page->setPaperSize(brDefaultQueuePaper());
}

TCustomBandReport::~TCustomBandReport()
{
    m_destroying = true;
    // The bands go with the QObject base, after this report's own parts: let them forget it now.
    for (QObject* o : children()) {
        if (auto* band = dynamic_cast<TBRCustomBand*>(o))
            band->detachFromReport();
    }
    m_bandList.clear();
}

void TCustomBandReport::replaceController(std::unique_ptr<TBRCustomController> controller)
{
    // The report holds its main controller itself: it is none of the form's components, which
    // the controllers search for their clients.
    controller->setParent(nullptr);
    controller->setMasterIdentity(this);
    controller->setParentReport(this);
    controller->PrintIfEmpty = m_controller->PrintIfEmpty;
    m_controller = std::move(controller);
}

bool TCustomBandReport::PrintIfEmpty() const { return m_controller->PrintIfEmpty; }

void TCustomBandReport::setPrintIfEmpty(bool on) { m_controller->PrintIfEmpty = on; }

void TCustomBandReport::setFont(const QFont& font)
{
    m_font = font;
    for (QObject* o : findChildren<QObject*>()) {
        if (auto* label = dynamic_cast<TBRCustomLabel*>(o))
            label->FormatLines();
    }
}

int TCustomBandReport::unitFontSize() const { return m_font.pointSize(); }

void TCustomBandReport::setUnits(TBRUnit units) { m_page->setUnits(units); }

void TCustomBandReport::pageUnitsChanged()
{
    const TBRUnit units = m_page->Units();
    for (QObject* o : findChildren<QObject*>()) {
        if (auto* band = dynamic_cast<TBRCustomBand*>(o))
            band->Size().setUnits(units);
        else if (auto* printable = dynamic_cast<TBRPrintable*>(o))
            printable->Size().setUnits(units);
    }
}

void TCustomBandReport::setZoom(int percent)
{
    if (percent < 1 || percent > 300)
        return;
    m_page->setZoom(percent);
    TBRBasePanel::setZoom(percent);
    ArrangeBands();
}

int TCustomBandReport::pixelWidth() const
{
    return static_cast<int>(
        std::lround(m_page->nativeValue(TBRPage::WidthIndex) * BRLayoutPixelsPerTenth * Zoom() / 100.0));
}

QList<TBRBasePanel*> TCustomBandReport::panels() const
{
    QList<TBRBasePanel*> list;
    for (QObject* o : children()) {
        if (auto* band = dynamic_cast<TBRCustomBand*>(o))
            list.append(band);
    }
    return list;
}

QObject* TCustomBandReport::ownerForm() const
{
    QObject* form = const_cast<TCustomBandReport*>(this);
    while (form->parent())
        form = form->parent();
    return form;
}

int TCustomBandReport::TextWidth(const QFont& font, const QString& text) const
{
    return static_cast<int>(std::ceil(brTextAdvance(font, text))) + 1;
}

int TCustomBandReport::TextHeight(const QFont& font, const QString&) const
{
    return static_cast<int>(std::ceil(brTextCellHeight(font)));
}

void TCustomBandReport::AddNotifyClient(TBRPrintable* printable) { m_controller->AddNotifyClient(printable); }

void TCustomBandReport::cancelRun()
{
    if (m_available)
        return;
    m_cancelled = true;
    if (m_printer)
        m_printer->Cancel();
}

// ---------------------------------------------------------------------------------------------
// The band list
// ---------------------------------------------------------------------------------------------

void TCustomBandReport::AddBand(TBRCustomBand* band)
{
    if (!band || m_bandList.contains(band))
        return;
    m_bandList.append(band);
    RebuildBandList();
    ArrangeBands();
}

void TCustomBandReport::RemoveBand(TBRCustomBand* band)
{
    if (m_destroying)
        return;
    m_bandList.removeAll(band);
    RebuildBandList();
    // A band that is going away is still found among the report's children and named by the
    // controllers until its destruction ends: it must not come back into the list.
    m_bandList.removeAll(band);
    ArrangeBands();
}

void TCustomBandReport::RebuildBandList()
{
    if (loading() || m_destroying)
        return;
    // The former order, with bands placed since at the end.
    QList<TBRCustomBand*> former = m_bandList;
    for (QObject* o : children()) {
        auto* band = dynamic_cast<TBRCustomBand*>(o);
        if (band && !former.contains(band))
            former.append(band);
    }
    m_bandList = former; // the standard bands are looked up in it
    QList<TBRCustomBand*> list;
    const auto addType = [&](TBRBandType type) {
        for (TBRCustomBand* band : std::as_const(former)) {
            if (band->BandType() == type)
                band->addToBandList(list);
        }
    };
    addType(TBRBandType::rbPageHeader);
    addType(TBRBandType::rbTitle);
    addType(TBRBandType::rbColumnHeader);
    handStandardBands();
    m_controller->PrepareTree();
    QList<TBRCustomBand*> controllerBands;
    m_controller->RegisterBands(controllerBands);
    for (TBRCustomBand* band : std::as_const(controllerBands))
        band->addToBandList(list);
    addType(TBRBandType::rbPageFooter);
    for (TBRCustomBand* band : std::as_const(former)) {
        auto* child = dynamic_cast<TBRChildBand*>(band);
        // A child band comes with its parent's chain; one without parent stands on its own.
        if (child && child->ParentBand() && former.contains(child->ParentBand()))
            continue;
        band->addToBandList(list);
    }
    for (TBRCustomBand* band : std::as_const(former)) {
        if (!list.contains(band))
            list.append(band);
    }
    m_bandList = list;
}

void TCustomBandReport::ArrangeBands()
{
    int top = 0;
    for (TBRCustomBand* band : std::as_const(m_bandList)) {
        band->setPixelTop(top);
        top += band->pixelHeight();
    }
}

QString TCustomBandReport::uniqueName(const QString& base) const
{
    QSet<QString> used;
    for (QObject* o : ownerForm()->findChildren<QObject*>())
        used.insert(o->objectName());
    int n = 1;
    while (used.contains(base + QString::number(n)))
        ++n;
    return base + QString::number(n);
}

TBRBand* TCustomBandReport::CreateBand(TBRBandType type)
{
    auto* band = new TBRBand(this, type);
    band->setObjectName(uniqueName(brBandTypeNameBase(type)));
    return band;
}

void TCustomBandReport::endLoading()
{
    if (m_loading > 0)
        --m_loading;
    if (m_loading > 0)
        return;
    RebuildBandList();
    ArrangeBands();
}

// ---------------------------------------------------------------------------------------------
// TBandReport
// ---------------------------------------------------------------------------------------------

TBandReport::TBandReport(QObject* owner)
    : TCustomBandReport(owner)
{
    replaceController(std::make_unique<TBRController>(this));
}

TBRController& TBandReport::mainController() { return static_cast<TBRController&>(Controller()); }

platform::DataSet* TBandReport::DataSet() const
{
    return static_cast<TBRController&>(const_cast<TBandReport*>(this)->Controller()).DataSet();
}

void TBandReport::setDataSet(platform::DataSet* dataSet) { mainController().setDataSet(dataSet); }

int TBandReport::RecordCount() const
{
    platform::DataSet* ds = DataSet();
    return ds && ds->Active() ? ds->RecordCount() : 1;
}

void TBandReport::handStandardBands()
{
    TBRController& c = mainController();
    c.setDetail(Bands().BandOfType(TBRBandType::rbDetail));
    c.setHeader(Bands().BandOfType(TBRBandType::rbTitle));
    c.setFooter(Bands().BandOfType(TBRBandType::rbSummary));
}

void TBandReport::runController()
{
    handStandardBands();
    mainController().OnNeedData = OnNeedData;
    mainController().Execute();
}
