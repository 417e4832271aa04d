// Bands that own a controller: the sub-detail band and its header and footer switches.

#include "report/BandRpt.h"

// ---------------------------------------------------------------------------------------------
// TBRControllerBand
// ---------------------------------------------------------------------------------------------

TBRControllerBand::TBRControllerBand(TCustomBandReport* report)
    : TBRCustomBand(report)
    , m_ownController(std::make_unique<TBRController>(this))
{
    m_ownController->setDetail(this);
    m_ownController->setMasterIdentity(this);
    // The base placed the band on the report before this part existed.
    if (report && !m_master)
        SetMaster(report);
}

TBRControllerBand::~TBRControllerBand() = default;

void TBRControllerBand::rebuildReportBands()
{
    TCustomBandReport* r = ParentReport();
    if (r && !r->destroying()) {
        r->RebuildBandList();
        r->ArrangeBands();
    }
}

bool TBRControllerBand::SetMaster(QObject* master)
{
    if (master == this)
        return true;
    // Following the masters of controller bands from the new one must not come back here.
    for (QObject* m = master; m;) {
        if (m == this)
            return false;
        auto* band = dynamic_cast<TBRControllerBand*>(m);
        m = band ? band->Master() : nullptr;
    }
    if (!m_ownController->SetMaster(master))
        return false;
    m_master = master;
    rebuildReportBands();
    return true;
}

void TBRControllerBand::setParentReport(TCustomBandReport* report)
{
    TBRCustomBand::setParentReport(report);
    if (report && !m_master && m_ownController)
        SetMaster(report);
}

// ---------------------------------------------------------------------------------------------
// TBRSubDetail
// ---------------------------------------------------------------------------------------------

TBRSubDetail::TBRSubDetail(TCustomBandReport* report)
    : TBRControllerBand(report)
    , m_bands(this)
{
    setBandType(TBRBandType::rbSubDetail);
}

void TBRSubDetail::setGroupBand(TBRBandType type, TBRCustomBand* band)
{
    if (type == TBRBandType::rbGroupHeader)
        ownController().setHeader(band);
    else
        ownController().setFooter(band);
    if (band)
        band->setBandType(type);
    rebuildReportBands();
}

void TBRSubDetail::setPrintBefore(bool on)
{
    if (on == PrintBefore())
        return;
    ownController().setPrintBefore(on);
    rebuildReportBands();
}

void TBRSubDetail::addToBandList(QList<TBRCustomBand*>& list)
{
    if (TBRCustomBand* header = HeaderBand())
        header->addToBandList(list);
    TBRCustomBand::addToBandList(list);
    if (TBRCustomBand* footer = FooterBand())
        footer->addToBandList(list);
}

// ---------------------------------------------------------------------------------------------
// TBRSubDetailGroupBands
// ---------------------------------------------------------------------------------------------

bool TBRSubDetailGroupBands::HasHeader() const { return m_band->HeaderBand() != nullptr; }

bool TBRSubDetailGroupBands::HasFooter() const { return m_band->FooterBand() != nullptr; }

void TBRSubDetailGroupBands::switchBand(TBRBandType type, bool on)
{
    TBRCustomBand* band = type == TBRBandType::rbGroupHeader ? m_band->HeaderBand() : m_band->FooterBand();
    if (on && !band && m_band->ParentReport()) {
        m_band->setGroupBand(type, m_band->ParentReport()->CreateBand(type));
    } else if (!on && band) {
        delete band;
        m_band->setGroupBand(type, nullptr);
    }
}
