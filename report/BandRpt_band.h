#pragma once

// The bands of a banded report: band types, the panel bands and the report share, and the bands
// themselves (BandRpt_band.cpp).

#include "report/BandRpt_printable.h"
#include "report/BandRpt_units.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>

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
QString brBandTypeCaption(TBRBandType type);
QString brBandTypeNameBase(TBRBandType type);

// What bands and the report have in common: a frame, a zoom, and the printables placed on them.
class TBRBasePanel : public QObject {
public:
    explicit TBRBasePanel(QObject* parent = nullptr);

    TBRFrame& Frame() { return m_frame; }
    const TBRFrame& Frame() const { return m_frame; }
    int Zoom() const { return m_zoom; }
    virtual void setZoom(int percent);

    // The printables placed on this panel, in control order.
    QList<TBRPrintable*> printables() const;
    // Prepares (or unprepares) every printable on the panel and, recursively, on the panels
    // standing on it.
    void preparePrintables();
    void unpreparePrintables();

    // The report this panel belongs to (itself for a report).
    virtual TCustomBandReport* report() const = 0;
    virtual TBRUnit panelUnits() const = 0;
    // The panel's width in layout pixels.
    virtual int pixelWidth() const = 0;

protected:
    // The panels placed on this one (the report's bands).
    virtual QList<TBRBasePanel*> panels() const { return {}; }

private:
    TBRFrame m_frame;
    int m_zoom = 100;
};

class TBRChildBand;
class TBRBandClip;

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
    void setBandType(TBRBandType type);

    TCustomBandReport* report() const override { return m_report; }
    TCustomBandReport* ParentReport() const { return m_report; }
    // Places the band on a report (nullptr takes it off): it joins the report's band list and
    // takes its units and zoom. A band placed on another band stands on that band's report.
    virtual void setParentReport(TCustomBandReport* report);
    TBRUnit panelUnits() const override { return m_size.Units(); }
    int pixelWidth() const override { return m_pixelWidth; }
    int pixelHeight() const { return m_pixelHeight; }
    // Position on the design surface (pixels), set when the report arranges its bands.
    int pixelTop() const { return m_pixelTop; }
    void setPixelTop(int top) { m_pixelTop = top; }
    void setZoom(int percent) override;

    TBRBandSize& Size() { return m_size; }
    const TBRBandSize& Size() const { return m_size; }
    // The control's height in pixels, as a form's code sets it (Size follows).
    void setPixelHeight(int pixels);

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
    void setFont(const QFont& font);
    bool ParentFont() const { return m_parentFont; }
    void setParentFont(bool on) { m_parentFont = on; }

    // A child band continues this band; HasChild creates or frees it.
    bool HasChild() const;
    void setHasChild(bool on);
    TBRChildBand* GetChildBand() const;

    TBRCustomBand* LinkBand() const { return m_linkBand; }
    // False (and nothing changes) when the link would lead back to this band.
    bool setLinkBand(TBRCustomBand* band);

    // The controller that prints this band as its detail, or nullptr.
    TBRCustomController* Controller() const;
    void setController(TBRCustomController* controller);
    // The band prints a record: a controller's detail or sub-detail, or a child band of one.
    bool printsRecord() const;
    // A band that owns a controller (a sub-detail) hands it to the controller tree.
    virtual TBRCustomController* ownedController() const { return nullptr; }
    // Appends the bands this band brings into the report's band list (the band and its
    // child chain).
    virtual void addToBandList(QList<TBRCustomBand*>& list);

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
    virtual QString bandTypeCaption() const { return brBandTypeCaption(m_bandType); }
    virtual QString bandTypeNameBase() const { return brBandTypeNameBase(m_bandType); }

protected:
    friend class TCustomBandReport;
    void setBandTypeQuietly(TBRBandType type) { m_bandType = type; }
    // The report is going away: forget it without calling back.
    void detachFromReport() { m_report = nullptr; }

private:
    void printPrintables(const TBRPrintContext& background, TBRBandClip& clip);
    bool mayBreakHere() const;

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
    bool setParentBand(TBRCustomBand* band);

private:
    QPointer<TBRCustomBand> m_parentBand;
};
