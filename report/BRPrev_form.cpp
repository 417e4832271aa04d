#include "platform/Asker.h"
#include "platform/FileDialogFolder.h"
#include "report/BRConst.h"
#include "report/BRPrev.h"
#include "report/BRSearchDlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString resourceText(const char* s) { return QString::fromUtf8(s); }

// ---------------------------------------------------------------------------------------------
// Tool bar pictures
// ---------------------------------------------------------------------------------------------

QIcon toolIcon(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(Qt::NoBrush);
    draw(p);
    return QIcon(pixmap);
}

void sheet(QPainter& p, const QRectF& r)
{
    p.save();
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.restore();
}

void triangle(QPainter& p, bool right, double x)
{
    QPainterPath path;
    if (right) {
        path.moveTo(x, 5);
        path.lineTo(x + 7, 10);
        path.lineTo(x, 15);
    } else {
        path.moveTo(x + 7, 5);
        path.lineTo(x, 10);
        path.lineTo(x + 7, 15);
    }
    path.closeSubpath();
    p.fillPath(path, QColor(40, 40, 40));
}

void printerShape(QPainter& p)
{
    sheet(p, QRectF(6.5, 2.5, 7, 6));
    p.save();
    p.setBrush(QColor(190, 190, 190));
    p.drawRect(QRectF(2.5, 8.5, 15, 6));
    p.restore();
    sheet(p, QRectF(6.5, 12.5, 7, 5));
}

enum class Picture { Fit, Width, Full, First, Previous, Next, Last, Goto, Find, Setup, Print, Save, Load };

QIcon pictureIcon(Picture which)
{
    return toolIcon([which](QPainter& p) {
        switch (which) {
        case Picture::Fit:
            sheet(p, QRectF(6.5, 4.5, 7, 11));
            p.drawRect(QRectF(2.5, 1.5, 15, 17));
            break;
        case Picture::Width:
            sheet(p, QRectF(4.5, 2.5, 11, 15));
            p.drawLine(QPointF(1, 10), QPointF(19, 10));
            p.drawLine(QPointF(1, 10), QPointF(4, 7));
            p.drawLine(QPointF(1, 10), QPointF(4, 13));
            p.drawLine(QPointF(19, 10), QPointF(16, 7));
            p.drawLine(QPointF(19, 10), QPointF(16, 13));
            break;
        case Picture::Full: {
            QFont f = p.font();
            f.setPixelSize(9);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, QStringLiteral("1:1"));
            break;
        }
        case Picture::First:
            p.fillRect(QRectF(4, 5, 2, 10), QColor(40, 40, 40));
            triangle(p, false, 8);
            break;
        case Picture::Previous:
            triangle(p, false, 6);
            break;
        case Picture::Next:
            triangle(p, true, 7);
            break;
        case Picture::Last:
            triangle(p, true, 5);
            p.fillRect(QRectF(14, 5, 2, 10), QColor(40, 40, 40));
            break;
        case Picture::Goto: {
            sheet(p, QRectF(4.5, 2.5, 11, 15));
            QFont f = p.font();
            f.setPixelSize(10);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(4, 3, 12, 15), Qt::AlignCenter, QStringLiteral("#"));
            break;
        }
        case Picture::Find:
            p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
            p.setPen(QPen(QColor(40, 40, 40), 2.5));
            p.drawLine(QPointF(11.5, 11.5), QPointF(17, 17));
            break;
        case Picture::Setup:
            printerShape(p);
            p.setBrush(QColor(60, 110, 200));
            p.drawEllipse(QRectF(12.5, 11.5, 6, 6));
            break;
        case Picture::Print:
            printerShape(p);
            break;
        case Picture::Save:
            p.setBrush(QColor(60, 110, 200));
            p.drawRect(QRectF(2.5, 2.5, 15, 15));
            sheet(p, QRectF(5.5, 2.5, 9, 6));
            sheet(p, QRectF(4.5, 11.5, 11, 6));
            break;
        case Picture::Load: {
            QPainterPath folder;
            folder.moveTo(2.5, 5.5);
            folder.lineTo(7.5, 5.5);
            folder.lineTo(9, 7.5);
            folder.lineTo(17.5, 7.5);
            folder.lineTo(17.5, 16.5);
            folder.lineTo(2.5, 16.5);
            folder.closeSubpath();
            p.setBrush(QColor(230, 190, 80));
            p.drawPath(folder);
            break;
        }
        }
    });
}

// The descriptions of a "description|pattern|description|pattern" filter text, which name their
// patterns in brackets as the file dialog reads them.
QStringList dialogFiltersOf(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i < parts.size(); i += 2)
        out << parts[i];
    return out;
}

// "Trelvin file (*.BRP)|*.BRP", the load dialog's one entry.
QString loadDialogFilter()
{
    const QString ext = resourceText(SBRReportFileExtension);
    return resourceText(SBRTrelvinFile) + QStringLiteral(" (*.") + ext + QStringLiteral(")|*.") + ext;
}

std::unique_ptr<TBRPreviewDialogs>& dialogsSlot()
{
    static std::unique_ptr<TBRPreviewDialogs> dialogs;
    return dialogs;
}

// Draws the thumbnails through the form.
class ThumbDelegate final : public QStyledItemDelegate {
public:
    explicit ThumbDelegate(TBRStandardPreview* form)
        : QStyledItemDelegate(form)
        , m_form(form)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_form->ThumbGridDrawCell(index.row(), option.rect, *painter, option.state & QStyle::State_Selected);
    }

private:
    TBRStandardPreview* m_form;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Dialogs and export filters
// ---------------------------------------------------------------------------------------------

QString TBRPreviewDialogs::InputBox(
    QWidget* parent, const QString& caption, const QString& prompt, const QString& preset)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, preset, &ok);
    return ok ? answer : preset;
}

namespace {

// Saving and loading share one folder: a report saved is found again where it went.
platform::FileDialogFolder& reportFolder()
{
    static platform::FileDialogFolder folder;
    return folder;
}

} // namespace

std::optional<std::pair<QString, int>> TBRPreviewDialogs::saveFileName(
    QWidget* parent, const QString& title, const QStringList& filters, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title, reportFolder().folder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString name = dialog.selectedFiles().constFirst();
    reportFolder().remember(name);
    return std::pair { name, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) };
}

std::optional<QString> TBRPreviewDialogs::openFileName(
    QWidget* parent, const QString& title, const QString& filter)
{
    const QString name = QFileDialog::getOpenFileName(
        parent, title, reportFolder().folder(), dialogFiltersOf(filter).join(QStringLiteral(";;")));
    if (name.isEmpty())
        return std::nullopt;
    reportFolder().remember(name);
    return name;
}

void TBRPreviewDialogs::runSearch(TSearchDlg& dialog) { dialog.exec(); }

std::unique_ptr<TBRPreviewDialogs> setPreviewDialogs(std::unique_ptr<TBRPreviewDialogs> dialogs)
{
    return std::exchange(dialogsSlot(), std::move(dialogs));
}

TBRPreviewDialogs& previewDialogs()
{
    std::unique_ptr<TBRPreviewDialogs>& slot = dialogsSlot();
    if (!slot)
        slot = std::make_unique<TBRPreviewDialogs>();
    return *slot;
}

TBRExportFilterLibrary& TBRExportFilterLibrary::instance()
{
    static TBRExportFilterLibrary library;
    return library;
}

QString TBRExportFilterLibrary::SaveDialogFilter() const
{
    const QString ext = resourceText(SBRReportFileExtension);
    QString filter
        = resourceText(SBRTrelvinFile) + QStringLiteral("(*.") + ext + QStringLiteral(")|*.") + ext;
    for (const Filter& f : Filters)
        filter += u'|' + f.description + QStringLiteral(" (*.") + f.extension + QStringLiteral(")|*.")
            + f.extension;
    return filter;
}

QStringList TBRExportFilterLibrary::dialogFilters() const { return dialogFiltersOf(SaveDialogFilter()); }

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

TBRStandardPreview* TBRStandardPreview::CreateForPrinter(QWidget* owner, TBRPrinter* printer)
{
    return new TBRStandardPreview(owner, printer);
}

TBRStandardPreview::TBRStandardPreview(QWidget* owner, TBRPrinter* printer)
    : QMainWindow(owner, Qt::Window)
    , m_printer(printer)
{
    FormCreate();
}

TBRStandardPreview::~TBRStandardPreview() = default;

void TBRStandardPreview::FormCreate()
{
    setWindowTitle(resourceText(SBRReportPreview));
    resize(800, 639);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    buildToolBar();
    buildSidePanel();
    buildStatusBar();

    applyReportChoices();
    BRPreview->setBRPrinter(m_printer);
    BRPreview->setOrientation(m_orientation);
    if (m_printer && !m_printer->title().isEmpty())
        setWindowTitle(resourceText(SBRReportPreview) + m_printer->title());
    BRPreview->OnPageAvailable = [this](QObject*, int n) { BRPreviewPageAvailable(n); };
    BRPreview->OnProgressUpdate = [this](QObject*, int p) { BRPreviewProgressUpdate(p); };
    BRPreview->setOnHyperlink([this](QObject*, TBRHyperlinkEventType type, const QString& link, bool&) {
        BRPreviewHyperlink(type, link);
    });
    if (m_printer)
        connect(m_printer, &TBRPrinter::pageDamaged, this, &TBRStandardPreview::reportDamagedPage);

    Tabs->setVisible(m_showThumbs || m_showSearch);
    if (m_printer && m_printer->PageCount() > 0)
        ThumbGrid->setRowCount(m_printer->PageCount());
    Tabs->setTabVisible(Tabs->indexOf(TabThumbs), m_showThumbs);
    Tabs->setTabVisible(Tabs->indexOf(TabSearchResult), m_showSearch);
    for (QAction* a : ToolBar1->actions())
        if (ToolBar1->widgetForAction(a) == FindButton)
            a->setVisible(m_showSearch);

    switch (m_initialZoom) {
    case TBRZoomState::brZoomToFit:
        BRPreview->ZoomToFit();
        break;
    case TBRZoomState::brZoomToWidth:
        BRPreview->ZoomToWidth();
        break;
    case TBRZoomState::brZoomOther:
        BRPreview->setZoom(m_zoom);
        break;
    }
    syncZoomButtons();
    updateButtons();

    // Key preview: the form sees every key first, whichever of its controls has the focus.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

void TBRStandardPreview::buildToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    const auto button = [this](const char* name, const char* hint, Picture picture) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(resourceText(hint));
        b->setIcon(pictureIcon(picture));
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        return b;
    };
    ZoomFit = button("ZoomFit", SBRZoomToFit, Picture::Fit);
    ZoomToWidth = button("ZoomToWidth", SBRZoomToWidth, Picture::Width);
    Zoom100 = button("Zoom100", SBRZoom100, Picture::Full);
    ToolBar1->addSeparator();
    FirstPage = button("FirstPage", SBRFirstPage, Picture::First);
    PreviousPage = button("PreviousPage", SBRPreviousPage, Picture::Previous);
    nextPage = button("nextPage", SBRNextPage, Picture::Next);
    LastPage = button("LastPage", SBRLastPage, Picture::Last);
    ToolBar1->addSeparator();
    GotoPageButton = button("GotoPageButton", SBRSelectPageHint, Picture::Goto);
    FindButton = button("FindButton", SBRSearchForText, Picture::Find);
    ToolBar1->addSeparator();
    PrintSetup = button("PrintSetup", SBRPrinterSetup, Picture::Setup);
    Print = button("Print", SBRPrint, Picture::Print);
    ToolBar1->addSeparator();
    SaveReport = button("SaveReport", SBRSaveReport, Picture::Save);
    LoadReport = button("LoadReport", SBRLoadReport, Picture::Load);
    ToolBar1->addSeparator();
    ExitButton = new QToolButton(ToolBar1);
    ExitButton->setObjectName(QStringLiteral("ExitButton"));
    ExitButton->setText(resourceText(SBRClose));
    ExitButton->setToolTip(resourceText(SBRClosePreview));
    ExitButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolBar1->addWidget(ExitButton);

    // The zoom buttons show which zoom is in force.
    m_zoomGroup = new QButtonGroup(this);
    m_zoomGroup->setExclusive(true);
    for (QToolButton* b : { ZoomFit, ZoomToWidth, Zoom100 }) {
        b->setCheckable(true);
        m_zoomGroup->addButton(b);
    }

    connect(ZoomFit, &QToolButton::clicked, this, &TBRStandardPreview::ZoomToFitClick);
    connect(ZoomToWidth, &QToolButton::clicked, this, &TBRStandardPreview::ZoomToWidthClick);
    connect(Zoom100, &QToolButton::clicked, this, &TBRStandardPreview::ZoomTo100Click);
    connect(FirstPage, &QToolButton::clicked, this, &TBRStandardPreview::FirstPageClick);
    connect(PreviousPage, &QToolButton::clicked, this, &TBRStandardPreview::PrevPageClick);
    connect(nextPage, &QToolButton::clicked, this, &TBRStandardPreview::NextPageClick);
    connect(LastPage, &QToolButton::clicked, this, &TBRStandardPreview::LastPageClick);
    connect(GotoPageButton, &QToolButton::clicked, this, &TBRStandardPreview::GotoPageButtonClick);
    connect(FindButton, &QToolButton::clicked, this, &TBRStandardPreview::FindButtonClick);
    connect(PrintSetup, &QToolButton::clicked, this, &TBRStandardPreview::PrintSetupClick);
    connect(Print, &QToolButton::clicked, this, &TBRStandardPreview::PrintClick);
    connect(SaveReport, &QToolButton::clicked, this, &TBRStandardPreview::SaveClick);
    connect(LoadReport, &QToolButton::clicked, this, &TBRStandardPreview::LoadClick);
    connect(ExitButton, &QToolButton::clicked, this, &TBRStandardPreview::ExitClick);
}

void TBRStandardPreview::buildSidePanel()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    Tabs = new QTabWidget(Splitter1);
    Tabs->setObjectName(QStringLiteral("Tabs"));
    TabThumbs = new QWidget;
    TabSearchResult = new QWidget;
    Tabs->addTab(TabThumbs, resourceText(SBRThumbNails));
    Tabs->addTab(TabSearchResult, resourceText(SBRSearchResults));

    ThumbGrid = new QTableWidget(0, 1, TabThumbs);
    ThumbGrid->setObjectName(QStringLiteral("ThumbGrid"));
    ThumbGrid->horizontalHeader()->hide();
    ThumbGrid->verticalHeader()->hide();
    ThumbGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ThumbGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ThumbGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ThumbGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ThumbGrid->setShowGrid(false);
    ThumbGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ThumbGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ThumbGrid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ThumbGrid->setBackgroundRole(QPalette::Button);
    ThumbGrid->viewport()->setBackgroundRole(QPalette::Button);
    ThumbGrid->setItemDelegate(new ThumbDelegate(this));
    auto* thumbLayout = new QVBoxLayout(TabThumbs);
    thumbLayout->setContentsMargins(0, 0, 0, 0);
    thumbLayout->addWidget(ThumbGrid);
    connect(ThumbGrid, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (!m_selectingThumb && row >= 0)
            ThumbGridSelectCell(row);
    });

    GroupBox1 = new QGroupBox(resourceText(SBRSearchText), TabSearchResult);
    SearchTextLabel = new QLabel(GroupBox1);
    SearchTextLabel->setObjectName(QStringLiteral("SearchTextLabel"));
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addWidget(SearchTextLabel);
    SearchResultBox = new QListWidget(TabSearchResult);
    SearchResultBox->setObjectName(QStringLiteral("SearchResultBox"));
    SearchResultBox->setEnabled(false);
    auto* searchLayout = new QVBoxLayout(TabSearchResult);
    searchLayout->setContentsMargins(2, 2, 2, 2);
    searchLayout->addWidget(GroupBox1);
    searchLayout->addWidget(SearchResultBox, 1);
    connect(SearchResultBox, &QListWidget::itemClicked, this, [this] { SearchResultBoxClick(); });

    BRPreview = new TBRPreview(Splitter1);
    BRPreview->setObjectName(QStringLiteral("BRPreview"));
    Splitter1->addWidget(Tabs);
    Splitter1->addWidget(BRPreview);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({ 193, 600 });
    // The cells follow the width the grid gives them.
    ThumbGrid->viewport()->installEventFilter(this);
}

void TBRStandardPreview::buildStatusBar()
{
    StatusBar = statusBar();
    StatusBar->setSizeGripEnabled(true);
    const auto panel = [this](int width, Qt::Alignment align) {
        auto* label = new QLabel(StatusBar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(width);
        label->setAlignment(align | Qt::AlignVCenter);
        return label;
    };
    StatusPanel0 = panel(40, Qt::AlignRight);
    StatusPanel1 = panel(120, Qt::AlignLeft);
    StatusPanel2 = panel(50, Qt::AlignLeft);
    StatusPanel0->setFixedWidth(40);
    StatusPanel1->setFixedWidth(120);
    StatusBar->addWidget(StatusPanel0);
    StatusBar->addWidget(StatusPanel1);
    StatusBar->addWidget(StatusPanel2, 1);
}

TCustomBandReport* TBRStandardPreview::report() const
{
    return m_printer ? dynamic_cast<TCustomBandReport*>(m_printer->owner()) : nullptr;
}

void TBRStandardPreview::applyReportChoices()
{
    TCustomBandReport* report = this->report();
    if (!report) {
        setWindowState(Qt::WindowMaximized);
        m_showThumbs = m_showSearch = true;
        m_initialZoom = TBRZoomState::brZoomOther;
        m_zoom = 100;
        return;
    }
    setWindowFlag(Qt::WindowStaysOnTopHint, report->PrevFormStyle == TFormStyle::fsStayOnTop);
    // A size never set reads as 500.
    resize(report->PreviewWidth > 0 ? report->PreviewWidth : 500,
        report->PreviewHeight > 0 ? report->PreviewHeight : 500);
    if (report->PreviewInitialState == TWindowState::wsMinimized)
        setWindowState(Qt::WindowMinimized);
    else if (report->PreviewInitialState == TWindowState::wsMaximized)
        setWindowState(Qt::WindowMaximized);
    m_showThumbs = report->PrevShowThumbs;
    m_showSearch = report->PrevShowSearch;
    m_initialZoom = report->PrevInitialZoom;
    m_title = report->ReportTitle;
    m_printer->setTitle(m_title);
    m_orientation = report->Page().Orientation();
    m_zoom = report->Zoom();
}

// ---------------------------------------------------------------------------------------------
// Pages and information
// ---------------------------------------------------------------------------------------------

void TBRStandardPreview::UpdateInfo()
{
    const int count = m_printer ? m_printer->PageCount() : 0;
    StatusPanel1->setText(resourceText(SBRPage) + u' ' + QString::number(BRPreview->PageNumber()) + u' '
        + resourceText(SBROf) + u' ' + QString::number(count));
    StatusPanel2->setText(m_title);
}

void TBRStandardPreview::selectThumbnail(int row)
{
    if (row < 0 || row >= ThumbGrid->rowCount())
        return;
    m_selectingThumb = true;
    ThumbGrid->setCurrentCell(row, 0);
    m_selectingThumb = false;
}

void TBRStandardPreview::goToPage(int n)
{
    BRPreview->SetPageNumber(n);
    UpdateInfo();
    if (m_printer && n >= 1 && n <= m_printer->PageCount())
        selectThumbnail(n - 1);
}

void TBRStandardPreview::updateButtons()
{
    const TBRPrinter::Status status = m_printer ? m_printer->getStatus() : TBRPrinter::Status::Idle;
    const bool ready = status == TBRPrinter::Status::Ready;
    Print->setEnabled(ready);
    PrintSetup->setEnabled(ready && report());
    SaveReport->setEnabled(ready);
    // Loading would take the pages from under a run or a print.
    LoadReport->setEnabled(m_printer && status != TBRPrinter::Status::Busy && !m_printer->printing());
}

void TBRStandardPreview::syncZoomButtons()
{
    switch (BRPreview->zoomState()) {
    case TBRZoomState::brZoomToFit:
        ZoomFit->setChecked(true);
        break;
    case TBRZoomState::brZoomToWidth:
        ZoomToWidth->setChecked(true);
        break;
    case TBRZoomState::brZoomOther:
        Zoom100->setChecked(true);
        break;
    }
}

void TBRStandardPreview::ZoomToFitClick()
{
    QCoreApplication::processEvents();
    BRPreview->ZoomToFit();
    syncZoomButtons();
}

void TBRStandardPreview::ZoomToWidthClick()
{
    QCoreApplication::processEvents();
    BRPreview->ZoomToWidth();
    syncZoomButtons();
}

void TBRStandardPreview::ZoomTo100Click()
{
    QCoreApplication::processEvents();
    BRPreview->setZoom(100);
    BRPreview->UpdateImage();
    syncZoomButtons();
}

void TBRStandardPreview::FirstPageClick() { goToPage(1); }

void TBRStandardPreview::PrevPageClick() { goToPage(BRPreview->PageNumber() - 1); }

void TBRStandardPreview::NextPageClick() { goToPage(BRPreview->PageNumber() + 1); }

void TBRStandardPreview::LastPageClick() { goToPage(m_printer ? m_printer->PageCount() : 0); }

void TBRStandardPreview::GotoPageButtonClick()
{
    if (!m_printer)
        return;
    const int count = m_printer->PageCount();
    const QString caption
        = resourceText(SBRSelectPageFromTo).replace(QStringLiteral("%d"), QString::number(count));
    const QString answer = previewDialogs().InputBox(
        this, caption, resourceText(SBREnterPageNumber), QString::number(BRPreview->PageNumber()));
    bool ok = false;
    int n = answer.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > count)
        n = 1;
    goToPage(n);
}

void TBRStandardPreview::BRPreviewPageAvailable(int)
{
    UpdateInfo();
    if (m_printer)
        ThumbGrid->setRowCount(m_printer->PageCount());
    ThumbGrid->viewport()->update();
    syncZoomButtons();
    updateButtons();
}

void TBRStandardPreview::BRPreviewProgressUpdate(int progress)
{
    // A run without a data set counts its records against 1: never show more than done.
    progress = std::clamp(progress, 0, 100);
    if (progress >= m_lastProgress + 5) {
        StatusPanel0->setText(QString::number(progress) + u'%');
        m_lastProgress = progress;
    }
    if (progress == 0 || progress == 100) {
        StatusPanel0->clear();
        m_lastProgress = 0;
    }
}

void TBRStandardPreview::BRPreviewHyperlink(TBRHyperlinkEventType type, const QString& link)
{
    StatusPanel2->setText(type == TBRHyperlinkEventType::heCursorMoveOver ? link : m_title);
}

void TBRStandardPreview::reportDamagedPage(int, const QString& message)
{
    // Told from wherever the page was read (a paint, a search, a print): shown once that is done.
    QTimer::singleShot(0, this, [message] { platform::showError(message); });
}

// ---------------------------------------------------------------------------------------------
// Thumbnails
// ---------------------------------------------------------------------------------------------

int TBRStandardPreview::thumbRowHeight() const { return ThumbGrid->verticalHeader()->defaultSectionSize(); }

void TBRStandardPreview::ThumbGridResize()
{
    m_labelHeight = QFontMetrics(ThumbGrid->font()).height();
    const int columnWidth = std::max(ThumbGrid->viewport()->width() - 4, 24);
    m_thumbWidth = columnWidth - 20;
    // The sheet as drawn: a landscape page is already wider than long.
    const QSize page = brPreviewPageSize(m_printer);
    m_thumbHeight
        = static_cast<int>(std::lround(static_cast<double>(page.height()) * m_thumbWidth / page.width()));
    const int rowHeight = std::max(m_thumbHeight - m_labelHeight, 24);
    m_thumbOffsetX = (columnWidth - m_thumbWidth) / 2;
    m_thumbOffsetY = (rowHeight - m_thumbHeight) / 2;
    ThumbGrid->setColumnWidth(0, columnWidth);
    ThumbGrid->verticalHeader()->setDefaultSectionSize(rowHeight);
    ThumbGrid->verticalScrollBar()->setSingleStep(std::max(rowHeight / 4, 1));
}

void TBRStandardPreview::ThumbGridDrawCell(int row, const QRect& rect, QPainter& painter, bool selected)
{
    painter.save();
    painter.fillRect(rect, palette().color(selected ? QPalette::Highlight : QPalette::Button));
    std::unique_ptr<QPicture> page = m_printer ? m_printer->readPage(row + 1) : nullptr;
    if (page) {
        const QRect sheet(QPoint(rect.left() + m_thumbOffsetX, rect.top() + 10),
            QPoint(rect.left() + rect.width() - 30 - 1, rect.top() + rect.height() - 10 - 1));
        brPaintPreviewPage(painter, sheet, page.get(), false, rect);
    }
    const QString number = QString::number(row + 1);
    const QRect label(
        rect.topLeft(), QSize(painter.fontMetrics().horizontalAdvance(number) + 4, m_labelHeight));
    painter.fillRect(label, palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(label, Qt::AlignCenter, number);
    painter.restore();
}

void TBRStandardPreview::ThumbGridSelectCell(int row)
{
    BRPreview->SetPageNumber(row + 1);
    UpdateInfo();
}

// ---------------------------------------------------------------------------------------------
// Search
// ---------------------------------------------------------------------------------------------

void TBRStandardPreview::FindButtonClick()
{
    if (!m_printer)
        return;
    TSearchDlg dialog(this);
    previewDialogs().runSearch(dialog);
    if (dialog.Cancelled())
        return;
    const QString text = dialog.searchText();
    const bool matchCase = dialog.matchCase();
    SearchResultBox->setEnabled(true);
    SearchTextLabel->setText(text);
    SearchResultBox->clear();
    for (int n = 1; m_printer && n <= m_printer->PageCount(); ++n) {
        const std::unique_ptr<QPicture> page = m_printer->readPage(n);
        if (page && SearchMetafileText(text, *page, matchCase)) {
            auto* item
                = new QListWidgetItem(resourceText(SBRPage) + u' ' + QString::number(n), SearchResultBox);
            item->setData(Qt::UserRole, n);
        }
    }
    if (SearchResultBox->count() == 0) {
        SearchResultBox->addItem(resourceText(SBRNoMatchingText));
        SearchResultBox->setEnabled(false);
    }
    if (m_showSearch)
        Tabs->setCurrentWidget(TabSearchResult);
}

void TBRStandardPreview::SearchResultBoxClick()
{
    const QListWidgetItem* item = SearchResultBox->currentItem();
    int n = item ? item->data(Qt::UserRole).toInt() : 1;
    if (!m_printer || n < 1 || n > m_printer->PageCount())
        n = 1;
    goToPage(n);
}

// ---------------------------------------------------------------------------------------------
// Printing, saving and loading
// ---------------------------------------------------------------------------------------------

void TBRStandardPreview::PrintSetupClick()
{
    TCustomBandReport* report = this->report();
    if (!report || !m_printer)
        return;
    // A cancelled dialog changes nothing.
    if (!report->PrinterSetup() || !m_printer)
        return;
    // The stored pages keep the sheet they were drawn on, whatever the new printer's defaults.
    TPrinterSettings& s = m_printer->settings();
    const TBRPaperSize paper = s.PaperSize();
    const int width = s.PaperWidth();
    const int length = s.PaperLength();
    const TPrinterOrientation orientation = s.Orientation();
    m_printer->SetPrinterIndex(report->PrinterSettings.PrinterIndex);
    m_printer->SetSettingsPaperSize(paper);
    m_printer->setPaperWidth(width);
    m_printer->setPaperLength(length);
    m_printer->setOrientation(orientation);
    const TBandReportPrinterSettings& chosen = report->setupResult();
    m_printer->assignSettings(chosen);
    if (!m_loadedFromFile) {
        // The report takes the same choices; the switches the dialog does not offer (the shared
        // printer, printing the stored pages, the store's memory) stay the report's own.
        TBandReportPrinterSettings& r = report->PrinterSettings;
        TBandReportPrinterSettings taken = chosen;
        taken.UseStandardprinter = r.UseStandardprinter;
        taken.PrintMetaFile = r.PrintMetaFile;
        taken.MemoryLimit = r.MemoryLimit;
        r = taken;
    }
}

void TBRStandardPreview::PrintClick()
{
    if (!m_printer)
        return;
    if (m_printing) {
        platform::showMessage(brEarlierPrintRunningText());
        return;
    }
    m_printing = true;
    updateButtons();
    auto* bandReport = dynamic_cast<TBandReport*>(report());
    TBRPrinter::PrintResult result;
    if (!m_loadedFromFile && bandReport) {
        // The pages on screen were made for the screen: the report runs again for the printer.
        result = bandReport->Print();
    } else {
        m_printer->Print();
        if (m_printer)
            result = m_printer->lastPrint();
    }
    m_printing = false;
    // Where a PDF went stands where the title stands, until the next page is shown.
    brTellPrintResult(result, [this](const QString& text) { StatusPanel2->setText(text); });
    if (m_closeAfterPrint) {
        deleteLater();
        return;
    }
    updateButtons();
}

void TBRStandardPreview::SaveClick()
{
    if (!m_printer || m_printer->getStatus() != TBRPrinter::Status::Ready)
        return;
    const QStringList filters = TBRExportFilterLibrary::instance().dialogFilters();
    const auto choice = previewDialogs().saveFileName(
        this, resourceText(SBRSaveReport), filters, resourceText(SBRReportFileExtension));
    if (!choice || !m_printer)
        return;
    // The stored report file is the first filter; no export filter is registered after it.
    if (choice->second > 0)
        return;
    try {
        m_printer->Save(choice->first);
    } catch (const EBRError& e) {
        platform::showError(e.message());
    }
}

void TBRStandardPreview::LoadClick()
{
    if (!m_printer || m_printing || m_printer->printing()
        || m_printer->getStatus() == TBRPrinter::Status::Busy)
        return;
    const auto name = previewDialogs().openFileName(this, resourceText(SBRLoadReport), loadDialogFilter());
    if (!name || !m_printer)
        return;
    if (!QFileInfo::exists(*name)) {
        platform::showMessage(resourceText(SBRFileDoesNotExist));
        return;
    }
    try {
        // The store keeps its pages when the file cannot be read.
        if (!m_printer->Load(*name))
            return;
    } catch (const EBRError& e) {
        platform::showError(e.message());
        return;
    }
    m_title = *name;
    BRPreview->reloadPage(1);
    m_orientation = m_printer->settings().Orientation();
    BRPreview->setOrientation(m_orientation);
    BRPreview->UpdateZoom();
    ThumbGridResize();
    // Results found in the pages that were replaced no longer apply.
    SearchResultBox->clear();
    SearchResultBox->setEnabled(false);
    SearchTextLabel->clear();
    BRPreviewPageAvailable(m_printer->PageCount());
    selectThumbnail(0);
    m_loadedFromFile = true;
    updateButtons();
}

// ---------------------------------------------------------------------------------------------
// Keys, resizing and closing
// ---------------------------------------------------------------------------------------------

void TBRStandardPreview::ExitClick() { close(); }

void TBRStandardPreview::scrollStep(bool down)
{
    QScrollBar* bar = BRPreview->verticalScrollBar();
    const int step = bar->singleStep();
    if (down) {
        if (bar->value() >= bar->maximum())
            NextPageClick();
        else
            bar->setValue(bar->value() + step);
        return;
    }
    if (bar->value() > bar->minimum()) {
        bar->setValue(bar->value() - step);
        return;
    }
    const int before = BRPreview->PageNumber();
    PrevPageClick();
    if (BRPreview->PageNumber() != before)
        bar->setValue(std::max(bar->maximum() - step, bar->minimum()));
}

bool TBRStandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrlAlone = (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_PageUp:
        ctrlAlone ? FirstPageClick() : PrevPageClick();
        return true;
    case Qt::Key_PageDown:
        ctrlAlone ? LastPageClick() : NextPageClick();
        return true;
    case Qt::Key_Home:
        FirstPageClick();
        return true;
    case Qt::Key_End:
        LastPageClick();
        return true;
    case Qt::Key_Up:
        scrollStep(false);
        return true;
    case Qt::Key_Down:
        scrollStep(true);
        return true;
    default:
        return false;
    }
}

bool TBRStandardPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(key->key(), key->modifiers()))
            return true;
    } else if (watched == ThumbGrid->viewport() && event->type() == QEvent::Resize) {
        ThumbGridResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TBRStandardPreview::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    BRPreview->UpdateImage();
}

void TBRStandardPreview::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    if (m_printer)
        m_printer->NotifyClientClosed();
    // The report may free its store now; the form holds it only weakly, so nothing dangles.
    QCoreApplication::processEvents();
    if (m_printing) {
        // The print that is running still works in this form: it goes once the print returns.
        m_closeAfterPrint = true;
        return;
    }
    deleteLater();
}

// ---------------------------------------------------------------------------------------------
// Preview interface
// ---------------------------------------------------------------------------------------------

QWidget* TBRStandardPreviewInterface::show(TBRPrinter* printer, Qt::WindowModality modality)
{
    TBRStandardPreview* form = TBRStandardPreview::CreateForPrinter(nullptr, printer);
    form->setWindowModality(modality);
    form->show();
    form->UpdateInfo();
    return form;
}

QWidget* TBRStandardPreviewInterface::ShowModal(TBRPrinter* printer)
{
    QEventLoop loop;
    QObject::connect(show(printer, Qt::ApplicationModal), &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    return nullptr;
}

void brPrevStartUp()
{
    setPreviewInterfaceClass([] { return std::make_unique<TBRStandardPreviewInterface>(); });
    // The default queue's paper, for the reports made from now on, is asked for now and off the
    // GUI thread.
    brRefreshQueues();
    setBRYieldHook([] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    });
}
