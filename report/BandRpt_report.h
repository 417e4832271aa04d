#pragma once

// The banded report component: its band switches, its settings and the operations that run it
// into a page store, a preview or the printer (BandRpt_report.cpp, BandRpt_output.cpp), its run
// (BandRpt_run.cpp) and BRBindQueryParams.

#include "platform/DataSet.h"
#include "report/BRExpr.h"
#include "report/BRPrntr.h"
#include "report/BandRpt_band.h"
#include "report/BandRpt_controller.h"
#include "report/BandRpt_printable.h"
#include "report/BandRpt_units.h"

#include <QFlags>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

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
    bool HasTitle() const { return BandOfType(TBRBandType::rbTitle) != nullptr; }
    bool HasPageHeader() const { return BandOfType(TBRBandType::rbPageHeader) != nullptr; }
    bool HasColumnHeader() const { return BandOfType(TBRBandType::rbColumnHeader) != nullptr; }
    bool HasDetail() const { return BandOfType(TBRBandType::rbDetail) != nullptr; }
    bool HasPageFooter() const { return BandOfType(TBRBandType::rbPageFooter) != nullptr; }
    bool HasSummary() const { return BandOfType(TBRBandType::rbSummary) != nullptr; }
    void setHasTitle(bool on) { setBand(1, on); }
    void setHasPageHeader(bool on) { setBand(2, on); }
    void setHasColumnHeader(bool on) { setBand(3, on); }
    void setHasDetail(bool on) { setBand(4, on); }
    void setHasPageFooter(bool on) { setBand(6, on); }
    void setHasSummary(bool on) { setBand(7, on); }

    // The first band of the index's type in the report's band list; nullptr for index 5.
    TBRCustomBand* GetBand(int index) const;
    void setBand(int index, bool on);
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
    void setFont(const QFont& font);
    TBREvEnvironment& Functions() { return *m_functions; }
    TBRPage& Page() { return *m_page; }
    const TBRPage& Page() const { return *m_page; }
    bool PrintIfEmpty() const;
    void setPrintIfEmpty(bool on);
    TBRUnit Units() const { return m_page->Units(); }
    // Re-expresses the page, every band size and every printable size.
    void setUnits(TBRUnit units);
    // 1..300; other values are ignored.
    void setZoom(int percent) override;
    // What the last printer setup chose (copies, printer, orientation, range, ...).
    const TBandReportPrinterSettings& setupResult() const { return m_setupResult; }

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
    static PrintDialogRunner setPrintDialogRunner(PrintDialogRunner runner);

    // Text measured on the layout reference, in layout pixels.
    int TextWidth(const QFont& font, const QString& text) const;
    int TextHeight(const QFont& font, const QString& text) const;

    // --- Bands ---------------------------------------------------------------------------------
    // Every band on the report in print order (page headers, titles, column headers, the
    // controller's bands, page footers, the rest), each followed by its child chain.
    const QList<TBRCustomBand*>& bandList() const { return m_bandList; }
    void AddBand(TBRCustomBand* band);
    void RemoveBand(TBRCustomBand* band);
    void RebuildBandList();
    void ArrangeBands();
    // A new band of the type, named after it with the lowest free number ("DetailBand1").
    TBRBand* CreateBand(TBRBandType type);
    // The base followed by the lowest number from 1 that no component of the form uses.
    QString uniqueName(const QString& base) const;
    // The printables placed directly on the report (printed on every page).
    QList<TBRPrintable*> pagePrintables() const { return printables(); }
    // Registers a printable to be told about each detail the main controller prints.
    void AddNotifyClient(TBRPrintable* printable);

    TBRCustomController& Controller() { return *m_controller; }

    // While loading (a form being read, or a builder at work) the band list is not rebuilt;
    // endLoading rebuilds it and settles every band and printable.
    void beginLoading() { ++m_loading; }
    void endLoading();
    bool loading() const { return m_loading > 0; }
    bool destroying() const { return m_destroying; }

    // --- Run state -----------------------------------------------------------------------------
    bool Available() const { return m_available; }
    bool Cancelled() const { return m_cancelled; }
    // Asks a running report to stop at the next record (the preview closed, the progress form's
    // cancel button).
    void cancelRun();
    bool FinalPage() const { return m_finalPage; }
    int CurrentX() const { return m_currentX; }
    int CurrentY() const { return m_currentY; }
    int PageNumber() const { return m_pageNumber; }
    int CurrentColumn() const { return m_currentColumn; }
    int AvailableSpace() const;
    // The page length the run places bands on: the sheet the page store uses.
    double PageLength() const { return m_pageLength; }
    const TBRDataSetList& DataSets() const { return m_dataSets; }

    // TBRUnitOwner
    int unitFontSize() const override;
    void pageLayoutChanged() override { }
    void pageUnitsChanged() override;
    // TBRPrinterOwner
    const TBRPrinterSettings& ownerPrinterSettings() const override { return PrinterSettings; }
    bool ownerShowProgress() const override { return ShowProgress; }

    TCustomBandReport* report() const override { return const_cast<TCustomBandReport*>(this); }
    TBRUnit panelUnits() const override { return Units(); }
    int pixelWidth() const override;

protected:
    QList<TBRBasePanel*> panels() const override;
    // Runs the controller; TBandReport hands it the standard bands first.
    virtual void runController();
    virtual void handStandardBands() { }
    // A new page store for a run, hooked to this report; nullptr while a run is active.
    std::unique_ptr<TBRPrinter> InitPrinter();
    void SetPrinterValues();
    void replaceController(std::unique_ptr<TBRCustomController> controller);
    // The form the report stands on: where its data sets and controllers are found.
    QObject* ownerForm() const;

private:
    friend class TBRCustomBand;
    friend class TBRCustomController;
    friend class TBRController;
    friend class TBRGroup;

    // The page cursor: where a run stands on the page and the moves that change it, driven
    // only by the bands and the controllers that print.
    void setCurrentY(int y) { m_currentY = y; }
    int ColumnTopY() const { return m_columnTopY; }
    // Whether a band that needs `needed` (0.1 mm) starts a new column before it prints: the one
    // rule for "this column's room is not enough, and moving on is worth it".
    bool bandMovesOn(int needed) const;
    // A record's band (a controller's detail, a sub-detail, a child band of one, or what goes
    // on of one) has been placed in the current column. Set by the bands, cleared when a
    // column begins.
    bool m_columnHoldsRecord = false;
    // Whether nothing has been drawn on the page at or below y (0.1 mm): the white paper shows
    // there, and a white background would change nothing.
    bool blankFrom(double y) const { return y >= m_inkBottom; }
    // Records that the page has been drawn on down to y (0.1 mm).
    void markInk(double y) { m_inkBottom = std::max(m_inkBottom, y); }
    double FooterReserve() const { return m_footerReserve; }
    // Where the columns of the page end (tenths): the top of the page footer's space. Bands
    // other than the page footer never show below it.
    double columnBottom() const;
    // Where the next column would start across the page, whether it starts on this page (not
    // past the last column, nor at or past the right margin), and the height it offers a band
    // between its top and the footer reserve (a new page's: below the margin and page header).
    int nextColumnX() const;
    bool nextColumnOnThisPage() const;
    int nextColumnSpace() const;
    // True while a column or page break that a band's placement or a stretching band caused
    // is carried out; cleared at the end of every band's print and when a run starts.
    bool m_breakInProgress = false;
    // True while the page header or footer is printed (when a page is begun or closed):
    // bands printed then never break.
    bool inPageEdge() const { return m_pageEdge > 0; }

    // The run and the page machinery the bands and the controller drive.
    void CreateReport();
    void PrintBand(TBRCustomBand* band);
    void NewColumn();
    void NewPage();
    void EndPage();
    void ForceNewPage();
    void ForceNewColumn();
    double PageFooterSpace() const;
    // Set by the controller after it printed its header or the first column header: a forced
    // new page right after is swallowed once. Cleared once the first record's detail has
    // printed, so that a header printed long before swallows nothing.
    void setHeaderJustPrinted(bool on = true) { m_headerJustPrinted = on; }

    void hookPrinter(TBRPrinter& printer);
    // The paper chosen in printer setup becomes the page's (for the orientation chosen).
    void applyChosenPaper(const TBRSetupChoice& choice);
    void PaintPageFrame();
    void CollectDataSets();
    void restoreAfterRun();
    void SetBandReport();
    void printColumnHeaderIfDue();
    void printerClientClosed(TBRPrinter* printer);
    // Makes a new page store the report's (the one it replaces is freed) for a run into it.
    bool startStoreRun();

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
    void setDataSet(platform::DataSet* dataSet);
    // The data set's record count when it is open, else 1 (for the progress percentage).
    int RecordCount() const;

protected:
    void runController() override;
    void handStandardBands() override;

private:
    TBRController& mainController();
};

// Sets a query's parameters from the report's variables: each parameter named like a variable
// takes the variable's value where the kinds match (dates, times and date-times from texts in
// the program's formats); the query is closed before and opened again after.
void BRBindQueryParams(platform::DataSet* query, TBREvEnvironment& environment);
