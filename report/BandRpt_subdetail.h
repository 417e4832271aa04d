#pragma once

// Sub-detail bands: bands that own a controller and print a second data set under each record
// of a master (BandRpt_subdetail.cpp).

#include "platform/DataSet.h"
#include "report/BandRpt_band.h"
#include "report/BandRpt_controller.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <memory>
#include <utility>

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

    TBRController* ownedController() const override { return m_ownController.get(); }
    // The report, controller or controller band under whose records this band runs; nullptr
    // when none (a master that is freed is forgotten).
    QObject* Master() const { return m_master; }
    // Refused (false, nothing changes) when the master's chain of controller bands leads back to
    // this band, or the controller does not accept it; the band itself is ignored (true).
    bool SetMaster(QObject* master);
    // A band placed on a report without a master runs under the report.
    void setParentReport(TCustomBandReport* report) override;
    // Registers a printable to be told about each record this band's controller prints.
    void AddNotifyClient(TBRPrintable* printable) { m_ownController->AddNotifyClient(printable); }

protected:
    TBRController& ownController() const { return *m_ownController; }
    // Rebuilds and arranges the report's band list, unless the report is going away.
    void rebuildReportBands();

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
    void setHasHeader(bool on) { switchBand(TBRBandType::rbGroupHeader, on); }
    void setHasFooter(bool on) { switchBand(TBRBandType::rbGroupFooter, on); }

private:
    void switchBand(TBRBandType type, bool on);

    TBRSubDetail* m_band;
};

// The records of a second data set (or of OnNeedData) printed under each record of a master:
// for every master record its controller prints the header band, this band once per record and
// the footer band, before or after the master's detail band.
class TBRSubDetail : public TBRControllerBand {
public:
    explicit TBRSubDetail(TCustomBandReport* report = nullptr);

    TBRSubDetailGroupBands& Bands() { return m_bands; }
    platform::DataSet* DataSet() const { return ownController().DataSet(); }
    void setDataSet(platform::DataSet* dataSet) { ownController().setDataSet(dataSet); }
    TBRCustomBand* HeaderBand() const { return ownController().Header(); }
    TBRCustomBand* FooterBand() const { return ownController().Footer(); }
    // An assigned band becomes a group header (footer); one that is freed is cleared.
    void setHeaderBand(TBRCustomBand* band) { setGroupBand(TBRBandType::rbGroupHeader, band); }
    void setFooterBand(TBRCustomBand* band) { setGroupBand(TBRBandType::rbGroupFooter, band); }
    // The header (type rbGroupHeader) or footer (rbGroupFooter) band.
    void setGroupBand(TBRBandType type, TBRCustomBand* band);
    // Supplies the records when there is no data set.
    void setOnNeedData(TBROnNeedDataEvent event) { ownController().OnNeedData = std::move(event); }
    // False: the band runs after the master's detail band; true: before it.
    bool PrintBefore() const { return ownController().PrintBefore(); }
    void setPrintBefore(bool on);
    // True: a master record without records of its own still prints header, band and footer once.
    bool PrintIfEmpty() const { return ownController().PrintIfEmpty; }
    void setPrintIfEmpty(bool on) { ownController().PrintIfEmpty = on; }

    // The header band, this band and the footer band, each with its child chain.
    void addToBandList(QList<TBRCustomBand*>& list) override;

private:
    TBRSubDetailGroupBands m_bands;
};
