#include "report/BRPrev.h"

#include "report/BRUnits.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPicture>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

namespace {

// A Letter sheet, what the preview lays out when the printer gives no sheet.
constexpr double NoPrinterWidth = 2159.0;
constexpr double NoPrinterLength = 2794.0;

int roundToInt(double v) { return static_cast<int>(std::lround(v)); }

// Screen pixels per tenth of a millimetre when there is no printer to ask.
constexpr double ScreenFactor = BRPageDotsPerInch / BRTenthsPerInch;

// Draws the picture stretched over `target`, only where it meets `area`. The picture is replayed
// into an image that says it has the page's resolution, because a picture rescales its fonts to
// the resolution of the device it is played on (but not its coordinates): played straight onto a
// screen of another resolution its texts would no longer fit their places.
void drawStretched(QPainter& painter, const QRect& target, const QPicture& page, const QRect& area)
{
    const QRect bounds = page.boundingRect();
    const QRect part = target.intersected(area);
    if (bounds.isEmpty() || part.isEmpty())
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage image(part.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    const int dotsPerMeter = roundToInt(BRPageDotsPerInch / BRMetresPerInch);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHints(
            QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        p.translate(target.topLeft() - part.topLeft());
        p.scale(static_cast<double>(target.width()) / bounds.width(),
            static_cast<double>(target.height()) / bounds.height());
        p.drawPicture(-bounds.topLeft(), page);
    }
    painter.drawImage(part.topLeft(), image);
}

} // namespace

QSizeF brPreviewPaper(const TBRPrinter* printer)
{
    if (printer && printer->PaperWidth() > 0 && printer->PaperLength() > 0)
        return { static_cast<double>(printer->PaperWidth()), static_cast<double>(printer->PaperLength()) };
    return { NoPrinterWidth, NoPrinterLength };
}

QSize brPreviewPageSize(const TBRPrinter* printer)
{
    const QSizeF paper = brPreviewPaper(printer);
    if (printer)
        return { printer->ToDeviceWidth(paper.width()), printer->ToDeviceHeight(paper.height()) };
    return { roundToInt(paper.width() * ScreenFactor), roundToInt(paper.height() * ScreenFactor) };
}

void brPaintPreviewPage(
    QPainter& painter, const QRect& r, const QPicture* page, bool designing, const QRect& exposed)
{
    if (!page && !designing)
        return;
    // Right and bottom as the first pixel outside the rectangle.
    const int left = r.left();
    const int top = r.top();
    const int right = r.left() + r.width();
    const int bottom = r.top() + r.height();
    const QRect sheet(QPoint(left + 1, top + 1), QPoint(right - 4, bottom - 4));
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.fillRect(sheet, Qt::white);
    if (page)
        drawStretched(painter, sheet, *page, exposed.isEmpty() ? r : exposed);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(QPoint(left, top), QPoint(right - 3, bottom - 3)));
    painter.fillRect(QRect(QPoint(right - 2, top + 2), QPoint(right - 1, bottom - 1)), Qt::black);
    painter.fillRect(QRect(QPoint(left + 2, bottom - 2), QPoint(right - 1, bottom - 1)), Qt::black);
    painter.restore();
}

// ---------------------------------------------------------------------------------------------
// TBRPreviewImage
// ---------------------------------------------------------------------------------------------

TBRPreviewImage::TBRPreviewImage(QWidget* parent)
    : QWidget(parent)
{
    resize(100, 50);
    setMouseTracking(true);
}

TBRPreviewImage::~TBRPreviewImage() = default;

void TBRPreviewImage::setBRPrinter(TBRPrinter* printer)
{
    m_printer = printer;
    clearPage();
}

void TBRPreviewImage::SetPageNumber(int n)
{
    m_page.reset();
    m_pageNumber = n;
    if (m_printer)
        m_page = m_printer->readPage(n);
    update();
}

void TBRPreviewImage::clearPage()
{
    m_page.reset();
    update();
}

void TBRPreviewImage::setZoom(int percent)
{
    m_zoom = percent;
    update();
}

void TBRPreviewImage::PaintPage(QPainter& painter, const QRect& r, bool designing, const QRect& exposed)
{
    brPaintPreviewPage(painter, r, m_page.get(), designing, exposed);
}

void TBRPreviewImage::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    PaintPage(painter, rect(), false, event->rect());
}

void TBRPreviewImage::HyperlinkMouseMove(const QPoint& pos)
{
    const int zoom = std::max(m_zoom, 1);
    const QPoint at(roundToInt(pos.x() / static_cast<double>(zoom) * 100),
        roundToInt(pos.y() / static_cast<double>(zoom) * 100));
    QString link;
    bool found = false;
    for (const TBRHyperlinkArea& area : std::as_const(HyperlinkAreas)) {
        const QRect& a = area.rect;
        // Edges included on all four sides.
        if (at.x() >= a.left() && at.x() <= a.left() + a.width() && at.y() >= a.top()
            && at.y() <= a.top() + a.height()) {
            link = area.link;
            found = true;
            break;
        }
    }
    if (found)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    const bool changed = found != m_hovering;
    m_hovering = found;
    m_hoverLink = link;
    if (changed && OnHyperlink) {
        bool handled = false;
        OnHyperlink(m_printer,
            found ? TBRHyperlinkEventType::heCursorMoveOver : TBRHyperlinkEventType::heCursorMoveAway,
            found ? link : QString(), handled);
    }
}

void TBRPreviewImage::HyperlinkClick()
{
    if (!m_hovering)
        return;
    bool handled = false;
    if (OnHyperlink)
        OnHyperlink(m_printer, TBRHyperlinkEventType::heGoto, m_hoverLink, handled);
    if (!handled) {
        // Handlers are given the preview control the page is shown in.
        QObject* preview = parent() && parent()->parent() ? parent()->parent() : parent();
        brHandleHyperlink(m_hoverLink, qobject_cast<TBRPreview*>(preview) ? preview : this);
    }
}

void TBRPreviewImage::mouseMoveEvent(QMouseEvent* event)
{
    HyperlinkMouseMove(event->position().toPoint());
    event->ignore(); // the form may want mouse work on the page too
}

void TBRPreviewImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_hovering) {
        HyperlinkClick();
        return;
    }
    event->ignore();
}

// ---------------------------------------------------------------------------------------------
// TBRPreview
// ---------------------------------------------------------------------------------------------

TBRPreview::TBRPreview(QWidget* parent)
    : QScrollArea(parent)
    , m_image(new TBRPreviewImage)
{
    resize(250, 250);
    setWidget(m_image); // the viewport becomes the image's parent
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

TBRPreview::~TBRPreview() { unbind(); }

void TBRPreview::unbind()
{
    if (!m_printer)
        return;
    TBRPrinter* printer = m_printer;
    m_printer = nullptr;
    disconnect(printer, nullptr, this, nullptr);
    if (printer->messageReceiver() == this) {
        printer->setMessageReceiver(nullptr);
        printer->CancelIfRequested(false);
    }
}

void TBRPreview::setBRPrinter(TBRPrinter* printer)
{
    unbind();
    m_printer = printer;
    m_image->setBRPrinter(printer);
    if (printer) {
        printer->setMessageReceiver(this);
        // The printer's messages reach only the window it sends them to: while it prints, that
        // is its progress form.
        connect(printer, &TBRPrinter::pageAvailable, this, [this](int count) {
            if (m_printer && m_printer->messageReceiver() == this)
                pageAvailableMessage(count);
        });
        connect(printer, &TBRPrinter::progressUpdate, this, [this](int percent) {
            if (m_printer && m_printer->messageReceiver() == this)
                progressMessage(percent);
        });
        // A store freed under the preview (its report ran again or was freed) leaves no page.
        connect(printer, &QObject::destroyed, this, [this] {
            m_image->setBRPrinter(nullptr);
            UpdateImage();
        });
        printer->CancelIfRequested(true);
    }
    m_pageNumber = 1;
    m_image->SetPageNumber(1);
    if (printer && m_outline)
        printer->SetOutlineTarget(m_outline);
}

void TBRPreview::setOutline(QTreeWidget* view)
{
    m_outline = view;
    if (m_printer)
        m_printer->SetOutlineTarget(view);
}

void TBRPreview::resetScroll()
{
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TBRPreview::SetPageNumber(int n)
{
    if (!m_printer || n < 1 || n > m_printer->PageCount())
        return;
    if (n == m_pageNumber && m_image->hasPage() && m_image->PageNumber() == n)
        return;
    m_image->SetPageNumber(n);
    m_pageNumber = n;
    resetScroll();
}

void TBRPreview::reloadPage(int n)
{
    m_image->clearPage();
    m_pageNumber = 1;
    m_image->SetPageNumber(1);
    SetPageNumber(n);
    resetScroll();
}

void TBRPreview::setZoom(int percent)
{
    if (percent < MinZoom || percent > MaxZoom)
        return;
    m_zoom = percent;
    m_zoomState = TBRZoomState::brZoomOther;
    UpdateImage();
}

void TBRPreview::UpdateImage()
{
    const QSizeF paper = brPreviewPaper(m_printer);
    int w;
    int h;
    if (m_printer) {
        w = m_printer->ToDeviceWidth(paper.width() / 100.0 * m_zoom) + 4;
        h = m_printer->ToDeviceHeight(paper.height() / 100.0 * m_zoom) + 4;
    } else {
        w = roundToInt(paper.width() * ScreenFactor / 100.0 * m_zoom) + 4;
        h = roundToInt(paper.height() * ScreenFactor / 100.0 * m_zoom) + 4;
    }
    // The scroll area centres an image smaller than its view.
    m_image->resize(w, h);
    resetScroll();
    m_image->setZoom(m_zoom);
}

void TBRPreview::ZoomToFit()
{
    const QSize page = brPreviewPageSize(m_printer);
    const int byWidth = roundToInt(static_cast<double>(width()) / page.width() * 95);
    const int byHeight = roundToInt(static_cast<double>(height()) / page.height() * 95);
    m_zoom = std::clamp(std::min(byWidth, byHeight), MinZoom, MaxZoom);
    UpdateImage();
    m_zoomState = TBRZoomState::brZoomToFit;
}

void TBRPreview::ZoomToWidth()
{
    const QSize page = brPreviewPageSize(m_printer);
    // With a printer the page's frame and shadow need a little more room.
    const double share = m_printer ? 90 : 95;
    m_zoom = std::clamp(roundToInt(static_cast<double>(width()) / page.width() * share), MinZoom, MaxZoom);
    UpdateImage();
    m_zoomState = TBRZoomState::brZoomToWidth;
}

void TBRPreview::UpdateZoom()
{
    if (m_zoomState == TBRZoomState::brZoomToFit)
        ZoomToFit();
    else if (m_zoomState == TBRZoomState::brZoomToWidth)
        ZoomToWidth();
    else
        UpdateImage();
}

void TBRPreview::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    UpdateZoom();
}

void TBRPreview::pageAvailableMessage(int pageCount)
{
    // The first page is shown once it exists.
    if (pageCount == m_pageNumber && !m_image->hasPage()) {
        ZoomToWidth();
        m_image->SetPageNumber(m_pageNumber);
    }
    if (OnPageAvailable)
        OnPageAvailable(this, pageCount);
}

void TBRPreview::progressMessage(int percent)
{
    if (OnProgressUpdate)
        OnProgressUpdate(this, percent);
}
