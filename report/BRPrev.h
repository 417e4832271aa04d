#pragma once

// Showing a report printer's pages on screen.
//
// Sections, in order:
//   1. Preview control: TBRPreviewImage (one page at a zoom) inside TBRPreview (a scroll area
//      bound to a TBRPrinter) (BRPrev.cpp).
//   2. Standard preview form: TBRStandardPreview with its tool bar, thumbnails, search results and
//      status bar; the questions it asks (TBRPreviewDialogs); the export filter list
//      (BRPrev_form.cpp).
//   3. The preview interface the report printer opens the form through, and its start-up.
//
// Pages are pictures recorded at BRPageDotsPerInch; the preview lays a page out at that many
// screen pixels per inch at 100 percent.

#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QMainWindow>
#include <QPointer>
#include <QScrollArea>
#include <QSize>
#include <QString>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPicture;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableWidget;
class QToolBar;
class QToolButton;
class TSearchDlg;

// ---------------------------------------------------------------------------------------------
// 1. Preview control
// ---------------------------------------------------------------------------------------------

enum class TBRHyperlinkEventType : std::uint8_t {
    heCursorMoveOver,
    heCursorMoveAway,
    heGoto,
    heGotoNewWindow
};
// Sender (the report printer), the event, the link, Handled (enters false).
using TBRPreviewHyperlinkEvent
    = std::function<void(QObject* sender, TBRHyperlinkEventType type, const QString& link, bool& handled)>;
using TBRPageAvailableEvent = std::function<void(QObject* sender, int pageNum)>;
using TBRProgressUpdateEvent = std::function<void(QObject* sender, int progress)>;

// The paper a preview lays out, in tenths of a millimetre: the printer's sheet as drawn, or a
// Letter sheet (215.9 x 279.4 mm) when there is no printer or its sheet has no size (Default
// paper whose settings were never read, a 0 x 0 Custom paper), so that zoom and thumbnails never
// divide by 0.
QSizeF brPreviewPaper(const TBRPrinter* printer);
// That sheet in screen pixels at 100 percent.
QSize brPreviewPageSize(const TBRPrinter* printer);

// Paints a page as the preview shows it into `r`: a white sheet, the page stretched over it, a
// black frame and a drop shadow on the right and at the bottom. Without a page nothing is drawn
// (an empty sheet at design time).
// Only the part inside `exposed` (all of `r` when empty) is drawn.
void brPaintPreviewPage(QPainter& painter, const QRect& r, const QPicture* page, bool designing = false,
    const QRect& exposed = QRect());

// A link area of a page: a rectangle in page pixels at 100 percent and its link text.
struct TBRHyperlinkArea {
    QRect rect;
    QString link;
};

// One page of a report printer at a zoom factor. Hovering a link area turns the cursor into a
// hand; clicking it follows the link.
class TBRPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TBRPreviewImage(QWidget* parent = nullptr);
    ~TBRPreviewImage() override;

    TBRPrinter* BRPrinter() const { return m_printer; }
    void setBRPrinter(TBRPrinter* printer);
    int PageNumber() const { return m_pageNumber; }
    // Loads page n of the printer, the previous page freed; a page the printer cannot give
    // leaves the image without a page.
    void SetPageNumber(int n);
    void clearPage();
    bool hasPage() const { return m_page != nullptr; }
    const QPicture* Page() const { return m_page.get(); }
    int Zoom() const { return m_zoom; }
    void setZoom(int percent);

    // Nothing in this program fills the areas; a page that marks links would.
    QList<TBRHyperlinkArea> HyperlinkAreas;
    TBRPreviewHyperlinkEvent OnHyperlink;
    bool hovering() const { return m_hovering; }
    QString hoverLink() const { return m_hoverLink; }
    // A mouse move to `pos` (image pixels) and a click there.
    void HyperlinkMouseMove(const QPoint& pos);
    void HyperlinkClick();

    void PaintPage(QPainter& painter, const QRect& r, bool designing, const QRect& exposed = QRect());

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointer<TBRPrinter> m_printer;
    int m_pageNumber = 1;
    std::unique_ptr<QPicture> m_page;
    int m_zoom = 100;
    bool m_hovering = false;
    QString m_hoverLink;
};

// A scroll area that shows one page of a report printer's store at a zoom, while the report may
// still be running: the first page appears once it is stored, and every new page is reported
// through OnPageAvailable.
class TBRPreview : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int MinZoom = 2;
    static constexpr int MaxZoom = 2000;

    explicit TBRPreview(QWidget* parent = nullptr);
    // Unbinds the printer, which cancels a run still in progress.
    ~TBRPreview() override;

    TBRPrinter* BRPrinter() const { return m_printer; }
    void setBRPrinter(TBRPrinter* printer);
    TBRPreviewImage* image() const { return m_image; }

    int PageNumber() const { return m_pageNumber; }
    // Shows page n when 1 <= n <= the printer's page count; other values are ignored.
    void SetPageNumber(int n);
    // Shows page n again from the store (after the store's pages were replaced).
    void reloadPage(int n);
    int Zoom() const { return m_zoom; }
    // 2..2000 percent; other values are ignored.
    void setZoom(int percent);
    TBRZoomState zoomState() const { return m_zoomState; }
    void ZoomToFit();
    void ZoomToWidth();
    // Applies the zoom state again (fit or width), then lays the image out.
    void UpdateZoom();
    // Sizes and centres the image for the zoom; both scroll positions go to 0.
    void UpdateImage();

    // The orientation the form was given; the sheet's size comes from the printer.
    TPrinterOrientation Orientation() const { return m_orientation; }
    void setOrientation(TPrinterOrientation o) { m_orientation = o; }

    QTreeWidget* Outline() const { return m_outline; }
    void setOutline(QTreeWidget* view);

    TBRPageAvailableEvent OnPageAvailable;
    TBRProgressUpdateEvent OnProgressUpdate;
    void setOnHyperlink(TBRPreviewHyperlinkEvent e) { m_image->OnHyperlink = std::move(e); }

    // The printer's messages, while this preview is its message receiver.
    void pageAvailableMessage(int pageCount);
    void progressMessage(int percent);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void unbind();
    void resetScroll();

    TBRPreviewImage* m_image;
    QPointer<TBRPrinter> m_printer;
    QPointer<QTreeWidget> m_outline;
    int m_pageNumber = 1;
    int m_zoom = 100;
    TBRZoomState m_zoomState = TBRZoomState::brZoomOther;
    TPrinterOrientation m_orientation = TPrinterOrientation::poPortrait;
};

// ---------------------------------------------------------------------------------------------
// 2. Standard preview form
// ---------------------------------------------------------------------------------------------

// The questions the preview form asks; tests replace them.
class TBRPreviewDialogs {
public:
    virtual ~TBRPreviewDialogs() = default;
    // An input box; its preset when cancelled.
    virtual QString InputBox(
        QWidget* parent, const QString& caption, const QString& prompt, const QString& preset);
    // The file to save into and the index of the filter chosen; nothing when cancelled.
    virtual std::optional<std::pair<QString, int>> saveFileName(
        QWidget* parent, const QString& title, const QStringList& filters, const QString& defaultSuffix);
    // The file to load; nothing when cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& title, const QString& filter);
    // Shows the search dialog modally.
    virtual void runSearch(TSearchDlg& dialog);
};
// Replaces the dialogs; nullptr restores the standard ones. Returns the previous ones.
std::unique_ptr<TBRPreviewDialogs> setPreviewDialogs(std::unique_ptr<TBRPreviewDialogs> dialogs);
TBRPreviewDialogs& previewDialogs();

// Export filters offered by the save dialog after the stored report file. None is registered in
// this program.
class TBRExportFilterLibrary {
public:
    struct Filter {
        QString description;
        QString extension;
    };
    static TBRExportFilterLibrary& instance();
    QList<Filter> Filters;
    // "Trelvin file(*.BRP)|*.BRP", then "|<description> (*.<ext>)|*.<ext>" per filter.
    QString SaveDialogFilter() const;
    // The same entries as the file dialog takes them, the stored report file first.
    QStringList dialogFilters() const;
};

// The window in which a report's pages appear while the run produces them and afterwards.
class TBRStandardPreview : public QMainWindow {
    Q_OBJECT
public:
    TBRStandardPreview(QWidget* owner, TBRPrinter* printer);
    ~TBRStandardPreview() override;
    // The constructor the preview interface uses.
    static TBRStandardPreview* CreateForPrinter(QWidget* owner, TBRPrinter* printer);

    QToolBar* ToolBar1;
    QToolButton* ZoomFit;
    QToolButton* ZoomToWidth;
    QToolButton* Zoom100;
    QToolButton* FirstPage;
    QToolButton* PreviousPage;
    QToolButton* nextPage;
    QToolButton* LastPage;
    QToolButton* GotoPageButton;
    QToolButton* FindButton;
    QToolButton* PrintSetup;
    QToolButton* Print;
    QToolButton* SaveReport;
    QToolButton* LoadReport;
    QToolButton* ExitButton;
    QSplitter* Splitter1;
    TBRPreview* BRPreview;
    QTabWidget* Tabs;
    QWidget* TabThumbs;
    QWidget* TabSearchResult;
    QTableWidget* ThumbGrid;
    QGroupBox* GroupBox1;
    QLabel* SearchTextLabel;
    QListWidget* SearchResultBox;
    QStatusBar* StatusBar;
    QLabel* StatusPanel0; // progress percent
    QLabel* StatusPanel1; // page position
    QLabel* StatusPanel2; // report title or hyperlink text

    TBRPrinter* printer() const { return m_printer; }
    bool loadedFromFile() const { return m_loadedFromFile; }
    QString titleText() const { return m_title; }

    void UpdateInfo();
    void goToPage(int n);

    void ZoomToFitClick();
    void ZoomToWidthClick();
    void ZoomTo100Click();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void GotoPageButtonClick();
    void FindButtonClick();
    void PrintSetupClick();
    void PrintClick();
    void SaveClick();
    void LoadClick();
    void ExitClick();
    // True when the key was the form's.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void BRPreviewPageAvailable(int pageNum);
    void BRPreviewProgressUpdate(int progress);
    void BRPreviewHyperlink(TBRHyperlinkEventType type, const QString& link);
    void ThumbGridDrawCell(int row, const QRect& rect, QPainter& painter, bool selected);
    void ThumbGridSelectCell(int row);
    void SearchResultBoxClick();

    // Thumbnail layout, recomputed whenever the grid is resized.
    int thumbWidth() const { return m_thumbWidth; }
    int thumbRowHeight() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void buildToolBar();
    void buildSidePanel();
    void buildStatusBar();
    void applyReportChoices();
    void selectThumbnail(int row);
    void ThumbGridResize();
    void updateButtons();
    void syncZoomButtons();
    void scrollStep(bool down);
    void reportDamagedPage(int page, const QString& message);
    TCustomBandReport* report() const;

    QPointer<TBRPrinter> m_printer;
    QButtonGroup* m_zoomGroup = nullptr;
    bool m_showThumbs = true;
    bool m_showSearch = true;
    TBRZoomState m_initialZoom = TBRZoomState::brZoomOther;
    int m_zoom = 100;
    TPrinterOrientation m_orientation = TPrinterOrientation::poPortrait;
    int m_lastProgress = 0;
    int m_labelHeight = 0;
    int m_thumbWidth = 0;
    int m_thumbHeight = 0;
    int m_thumbOffsetX = 0;
    int m_thumbOffsetY = 0;
    QString m_title;
    bool m_loadedFromFile = false;
    bool m_selectingThumb = false;
    bool m_printing = false;
    bool m_closeAfterPrint = false;
    bool m_closed = false;
};

// ---------------------------------------------------------------------------------------------
// 3. Preview interface
// ---------------------------------------------------------------------------------------------

// Opens a TBRStandardPreview for a report printer, owned by the application.
class TBRStandardPreviewInterface : public TBRPreviewInterface {
public:
    QWidget* show(TBRPrinter* printer, Qt::WindowModality modality) override;
    // Returns once the form has closed (and freed itself): nullptr.
    QWidget* ShowModal(TBRPrinter* printer) override;
};

// Makes the report printer open its previews in TBRStandardPreview and lets the windows take
// events while a report runs or prints (the brYield hook); the program calls it once at start-up.
void brPrevStartUp();
