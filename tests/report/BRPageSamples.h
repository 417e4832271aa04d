#pragma once

// Recorded report pages for the page-store tests.

#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPicture>
#include <cmath>

namespace page_samples {

// A4 at the store's resolution.
inline QSize a4Pixels()
{
    return { static_cast<int>(std::lround(2100 * BRPageDotsPerInch / 254.0)),
        static_cast<int>(std::lround(2970 * BRPageDotsPerInch / 254.0)) };
}

// A schedule-like page: a framed title, Japanese column titles and `rows` lines of text.
inline QPicture recordPage(int number, int rows = 20)
{
    const QSize size = a4Pixels();
    const double f = BRPageDotsPerInch / 254.0;
    QPicture pic;
    // The page's size travels in the picture's bounding rectangle.
    pic.setBoundingRect(QRect(QPoint(0, 0), size));
    QPainter p(&pic);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(18);
    p.setFont(font);
    TBRFrame frame;
    frame.setDrawTop(true);
    frame.setDrawBottom(true);
    frame.setDrawLeft(true);
    frame.setDrawRight(true);
    frame.setWidth(2);
    const QRect title(
        std::lround(100 * f), std::lround(100 * f), std::lround(1900 * f), std::lround(150 * f));
    frame.PaintIt(p, title, f, f);
    p.setPen(Qt::black);
    p.drawText(title, Qt::AlignCenter, QStringLiteral("レーススケジュール Race schedule"));
    font.setPointSize(11);
    p.setFont(font);
    const int top = std::lround(300 * f);
    p.drawText(std::lround(120 * f), top, QStringLiteral("開始時刻"));
    p.drawText(std::lround(450 * f), top, QStringLiteral("終了時刻"));
    p.drawText(std::lround(800 * f), top, QStringLiteral("内容"));
    p.drawLine(std::lround(100 * f), top + 6, std::lround(2000 * f), top + 6);
    for (int r = 0; r < rows; ++r) {
        const int y = top + 24 + r * 20;
        p.drawText(std::lround(120 * f), y,
            QStringLiteral("%1:%2:00").arg(9 + r / 6).arg(r % 6 * 10, 2, 10, QLatin1Char('0')));
        p.drawText(std::lround(800 * f), y,
            QStringLiteral("予選 %1 ヒート %2 (page %3)").arg(r / 4 + 1).arg(r % 4 + 1).arg(number));
    }
    p.drawText(std::lround(1000 * f), size.height() - 30, QStringLiteral("- %1 -").arg(number));
    p.end();
    return pic;
}

inline QByteArray pictureBytes(const QPicture& pic) { return QByteArray(pic.data(), pic.size()); }

inline QByteArray ReadFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace page_samples
