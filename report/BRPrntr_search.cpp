#include "report/BRPrntr.h"
#include "report/BRUnits.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPicture>
#include <QTextItem>
#include <cmath>

// Text search replays a stored page into a device that draws nothing and only notes the texts.
// A line drawn with several fonts or scripts (Japanese beside Latin) arrives in several runs;
// runs that continue each other on one baseline are joined again into the line they came from.

namespace {

struct Run {
    QPointF at; // baseline start, in page pixels
    double width;
    double ascent;
    double height;
    QString text;
};

class TextCatcher final : public QPaintEngine {
public:
    TextCatcher()
        : QPaintEngine(QPaintEngine::AllFeatures)
    {
    }
    std::vector<Run> runs;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState&) override { }
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QTransform t = painter()->combinedTransform();
        const QString text = item.text();
        if (!text.isEmpty())
            runs.push_back({ t.map(p), item.width() * t.m11(), item.ascent() * t.m22(),
                (item.ascent() + item.descent()) * t.m22(), text });
    }
    // Everything but text is ignored.
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override { }
    void drawPath(const QPainterPath&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override { }
    void drawLines(const QLineF*, int) override { }
    void drawLines(const QLine*, int) override { }
    void drawRects(const QRectF*, int) override { }
    void drawRects(const QRect*, int) override { }
    void drawEllipse(const QRectF&) override { }
    void drawPoints(const QPointF*, int) override { }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override { }
};

class TextDevice final : public QPaintDevice {
public:
    explicit TextDevice(const QSize& size)
        : m_size(size)
    {
    }
    QPaintEngine* paintEngine() const override { return &m_engine; }
    TextCatcher& engine() { return m_engine; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return static_cast<int>(std::lround(m_size.width() * BRMillimetresPerInch / BRPageDotsPerInch));
        case PdmHeightMM:
            return static_cast<int>(std::lround(m_size.height() * BRMillimetresPerInch / BRPageDotsPerInch));
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return BRPageDotsPerInch;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 0x7fffffff;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    mutable TextCatcher m_engine;
    QSize m_size;
};

// True when `next` goes on where `last` ended, on the same baseline.
bool continues(const Run& last, const Run& next)
{
    const double tolerance = std::max(2.0, last.height * 0.3);
    return std::abs(next.at.y() - last.at.y()) < 0.5
        && std::abs(next.at.x() - (last.at.x() + last.width)) <= tolerance;
}

} // namespace

QList<BRDrawnLine> pageLines(const QPicture& page)
{
    const QRect bounds = page.boundingRect();
    TextDevice device(bounds.size().expandedTo(QSize(1, 1)));
    {
        QPainter painter(&device);
        painter.drawPicture(0, 0, page);
    }
    QList<BRDrawnLine> lines;
    const Run* last = nullptr;
    for (const Run& run : device.engine().runs) {
        const QRectF cell(run.at.x(), run.at.y() - run.ascent, run.width, run.height);
        if (last && continues(*last, run)) {
            lines.last().text += run.text;
            lines.last().cell |= cell;
        } else {
            lines.append({ run.text, cell });
        }
        last = &run;
    }
    return lines;
}

QStringList pageTexts(const QPicture& page)
{
    QStringList texts;
    for (const BRDrawnLine& line : pageLines(page))
        texts << line.text;
    return texts;
}

bool SearchMetafileText(const QString& text, const QPicture& page, bool caseSensitive)
{
    if (text.isEmpty())
        return false;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringList texts = pageTexts(page);
    return std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return t.contains(text, cs); });
}
