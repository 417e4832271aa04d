// Shapes and pictures: drawn on the page canvas in device units, with pen widths and corner
// sizes in 96-dpi reference pixels so that every output shows them alike.

#include "report/BRConst.h"
#include "report/BRCtrls.h"
#include "report/BRUnits.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// TBRShape
// ---------------------------------------------------------------------------------------------

QPen brDevicePen(const QPen& pen, double deviceFactor)
{
    QPen devicePen(pen);
    if (pen.widthF() > 0) {
        const double perReferencePixel = deviceFactor / BRLayoutPixelsPerTenth;
        devicePen.setWidth(std::max(1, static_cast<int>(std::lround(pen.widthF() * perReferencePixel))));
    }
    return devicePen;
}

TBRShape::TBRShape(TBRBasePanel* parent)
    : TBRPrintable(parent)
    , Pen(QBrush(Qt::black), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin)
    , Brush(Qt::white, Qt::SolidPattern)
{
    SetBounds(Left(), Top(), 65, 65);
}

void TBRShape::Print(int ofsX, int ofsY)
{
    TBRPrinter* printer = BRPrinter();
    QPainter* canvas = printer ? printer->Canvas() : nullptr;
    if (!IsEnabled() || !canvas)
        return;
    const TBRPrintableSize& size = Size();
    const double l = ofsX + size.nativeValue(TBRPrintableSize::LeftIndex);
    const double t = ofsY + size.nativeValue(TBRPrintableSize::TopIndex);
    const double w = size.nativeValue(TBRPrintableSize::WidthIndex);
    const double h = size.nativeValue(TBRPrintableSize::HeightIndex);
    const int x1 = printer->ToDeviceX(l);
    const int y1 = printer->ToDeviceY(t);
    const int x2 = printer->ToDeviceX(l + w);
    const int y2 = printer->ToDeviceY(t + h);
    // The outline of a box covers its device pixels from the left/top edge up to, not
    // including, the right/bottom edge.
    const QRect box(x1, y1, x2 - x1 - 1, y2 - y1 - 1);

    canvas->save();
    canvas->setPen(brDevicePen(Pen, printer->horizontalFactor()));
    canvas->setBrush(Brush);
    switch (m_shape) {
    case TBRShapeType::brsRectangle:
        canvas->drawRect(box);
        break;
    case TBRShapeType::brsCircle:
        canvas->drawEllipse(box);
        break;
    case TBRShapeType::brsVertLine: {
        const int x = printer->ToDeviceX(l + w / 2);
        canvas->drawLine(x, y1, x, y2);
        break;
    }
    case TBRShapeType::brsHorLine: {
        const int y = printer->ToDeviceY(t + h / 2);
        canvas->drawLine(x1, y, x2, y);
        break;
    }
    case TBRShapeType::brsTopAndBottom:
        canvas->drawLine(x1, y1, x2, y1);
        canvas->drawLine(x1, y2, x2, y2);
        break;
    case TBRShapeType::brsRightAndLeft:
        canvas->drawLine(x1, y1, x1, y2);
        canvas->drawLine(x2, y1, x2, y2);
        break;
    case TBRShapeType::brsRoundRect: {
        // The corner's size is a diameter in reference pixels; Qt rounds by a radius.
        const int diameter = static_cast<int>(Width() * RoundFactor);
        const double radius = diameter * printer->horizontalFactor() / BRLayoutPixelsPerTenth / 2.0;
        if (radius > 0)
            canvas->drawRoundedRect(box, radius, radius, Qt::AbsoluteSize);
        else
            canvas->drawRect(box);
        break;
    }
    }
    canvas->restore();
}

// ---------------------------------------------------------------------------------------------
// TBRPicture
// ---------------------------------------------------------------------------------------------

namespace {

// Windows metafiles, by their headers: enhanced (EMR_HEADER record with " EMF"), placeable
// (the Aldus key) and plain (a memory or disk metafile header of nine words).
bool isMetafile(const QByteArray& head)
{
    if (head.size() >= 44 && qFromLittleEndian<quint32>(head.constData()) == 1
        && head.mid(40, 4) == QByteArrayLiteral(" EMF"))
        return true;
    if (head.size() >= 4 && qFromLittleEndian<quint32>(head.constData()) == 0x9AC6CDD7U)
        return true;
    if (head.size() >= 6) {
        const quint16 type = qFromLittleEndian<quint16>(head.constData());
        const quint16 headerWords = qFromLittleEndian<quint16>(head.constData() + 2);
        const quint16 version = qFromLittleEndian<quint16>(head.constData() + 4);
        if ((type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300))
            return true;
    }
    return false;
}

} // namespace

void TBRPicture::setImage(const QImage& image)
{
    m_image = image;
    if (OnChange)
        OnChange();
}

void TBRPicture::LoadFromFile(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    QFile file(fileName);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly))
        head = file.read(64);
    if (suffix == u"wmf" || suffix == u"emf" || isMetafile(head))
        throw EBRError(brFormat(SBRMetafileRefused, fileName));
    QImageReader reader(fileName);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw EBRError(brFormat(SBRPictureUnreadable, fileName));
    setImage(image);
}

// ---------------------------------------------------------------------------------------------
// TBRImage
// ---------------------------------------------------------------------------------------------

TBRImage::TBRImage(TBRBasePanel* parent)
    : TBRPrintable(parent)
{
    m_picture.OnChange = [this] { pictureChanged(); };
    SetBounds(Left(), Top(), 105, 105);
}

void TBRImage::setAutoSize(bool on)
{
    m_autoSize = on;
    pictureChanged();
}

void TBRImage::setStretch(bool on)
{
    if (on == m_stretch)
        return;
    m_stretch = on;
    pictureChanged();
}

void TBRImage::setCenter(bool on)
{
    if (on == m_center)
        return;
    m_center = on;
    pictureChanged();
}

void TBRImage::pictureChanged()
{
    if (m_autoSize && m_picture.Width() > 0 && m_picture.Height() > 0)
        SetBounds(Left(), Top(), m_picture.Width(), m_picture.Height());
    // A picture that covers the whole image hides what is behind it.
    setTransparent(!(!m_picture.isEmpty() && m_picture.Width() >= Width() && m_picture.Height() >= Height()));
}

void TBRImage::Print(int ofsX, int ofsY)
{
    if (!IsEnabled())
        return;
    TBRPrinter* printer = BRPrinter();
    QPainter* canvas = printer ? printer->Canvas() : nullptr;
    if (canvas && !m_picture.isEmpty()) {
        const TBRPrintableSize& size = Size();
        const double l = ofsX + size.nativeValue(TBRPrintableSize::LeftIndex);
        const double t = ofsY + size.nativeValue(TBRPrintableSize::TopIndex);
        const double w = size.nativeValue(TBRPrintableSize::WidthIndex);
        const double h = size.nativeValue(TBRPrintableSize::HeightIndex);
        const QRect dest = deviceRect(l, t, l + w, t + h);
        canvas->save();
        canvas->setRenderHint(QPainter::SmoothPixmapTransform);
        if (m_stretch) {
            canvas->drawImage(dest, m_picture.image());
        } else {
            canvas->setClipRect(dest, Qt::IntersectClip);
            // The picture's pixels are reference pixels: its size on the page is the same on
            // every output.
            const int pw = static_cast<int>(std::lround(
                m_picture.Width() * BRTenthsPerInch / BRLayoutDotsPerInch * printer->horizontalFactor()));
            const int ph = static_cast<int>(std::lround(
                m_picture.Height() * BRTenthsPerInch / BRLayoutDotsPerInch * printer->verticalFactor()));
            QRect target(dest.left(), dest.top(), pw, ph);
            if (m_center)
                target.translate((printer->ToDeviceWidth(w) - pw) / 2, (printer->ToDeviceHeight(h) - ph) / 2);
            canvas->drawImage(target, m_picture.image());
        }
        canvas->restore();
    }
    TBRPrintable::Print(ofsX, ofsY);
}

void TBRImage::drawStretched(QPainter& painter, const QRect& target)
{
    if (m_picture.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture.image());
    painter.restore();
}
