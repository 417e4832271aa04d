#pragma once

// Report runs for the band engine's tests: a report built in code, a transcript of what its
// bands printed where, and its stored pages as pictures and texts.

#include "report/BRCtrls.h"
#include "report/BandRpt.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <gtest/gtest.h>

namespace band_samples {

// A4 portrait, 10 mm margins, one column: 1900 x 2770 tenths of printable area.
inline void a4(TBRReportBuilder& b) { b.Page(TBRPaperSize::A4, TPrinterOrientation::poPortrait, 100); }

// Records every band print: "<band> p<page> y<top>-<bottom>" for a printed band (top and bottom
// in tenths of a millimetre on the page), "<band> skipped" for one that did not print.
class Transcript {
public:
    void attach(TCustomBandReport& report)
    {
        for (TBRCustomBand* band : report.bandList())
            attach(report, band);
    }
    void attach(TCustomBandReport& report, TBRCustomBand* band)
    {
        auto previous = band->AfterPrint;
        band->AfterPrint = [this, &report, previous](TBRCustomBand* b, bool printed) {
            if (!printed) {
                lines << b->objectName() + QStringLiteral(" skipped");
            } else {
                const int bottom = report.CurrentY();
                const int top = bottom - brRound(b->Size().nativeHeight() + b->ExpandedHeight);
                lines << QStringLiteral("%1 p%2 y%3-%4")
                             .arg(b->objectName())
                             .arg(report.PageNumber())
                             .arg(top)
                             .arg(bottom);
            }
            if (previous)
                previous(b, printed);
        };
    }
    QStringList lines;
};

inline QImage render(const QPicture& page)
{
    QImage img(page.boundingRect().size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.drawPicture(0, 0, page);
    p.end();
    return img;
}

// The report's stored pages, rendered.
inline QList<QImage> pageImages(TCustomBandReport& report)
{
    QList<QImage> pages;
    TBRPrinter* printer = report.BRPrinter();
    if (!printer)
        return pages;
    for (int n = 1; n <= printer->PageCount(); ++n) {
        if (auto page = printer->GetPage(n))
            pages << render(*page);
    }
    return pages;
}

// The texts drawn on stored page n, one per drawn line, in drawing order.
inline QStringList pageTexts(TCustomBandReport& report, int n)
{
    TBRPrinter* printer = report.BRPrinter();
    auto page = printer ? printer->GetPage(n) : nullptr;
    return page ? pageTexts(*page) : QStringList();
}

// Saves a rendered page where the tests' pictures go (build/tests/test-png).
inline QString savePage(const QImage& page, const QString& name)
{
    QString dir = qEnvironmentVariable("TAVO_TEST_PNG_DIR");
    if (dir.isEmpty())
        dir = QDir::current().filePath(QStringLiteral("test-png"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    page.save(path);
    return path;
}

// Dark pixels in an area of a rendered page (text or lines there).
inline int darkPixels(const QImage& img, const QRect& area)
{
    int dark = 0;
    const QRect r = area.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                ++dark;
    return dark;
}

// The smallest rectangle holding every dark pixel of a rendered page.
inline QRect darkBounds(const QImage& img)
{
    QRect bounds;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Layout pixels of a length in tenths of a millimetre.
inline int px(double tenths) { return brRound(tenths * BRLayoutPixelsPerTenth); }

} // namespace band_samples
