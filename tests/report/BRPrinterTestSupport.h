#pragma once

// Report printer tests: a run of numbered pages and what poppler reads back from a PDF.

#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStringList>

namespace printer_support {

// Draws `pages` pages through the report printer, each holding "Seite <n>" and a Japanese line.
inline void RunPages(TBRPrinter& printer, int pages)
{
    printer.BeginDoc();
    for (int n = 1; n <= pages; ++n) {
        printer.NewPage();
        QPainter* canvas = printer.Canvas();
        QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
        font.setPointSize(12);
        canvas->setFont(font);
        canvas->drawText(printer.ToDeviceX(200), printer.ToDeviceY(300), QStringLiteral("Seite %1").arg(n));
        canvas->drawText(
            printer.ToDeviceX(200), printer.ToDeviceY(500), QStringLiteral("予選ヒート %1").arg(n));
    }
    printer.EndDoc();
}

inline QString Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Page sizes in points, as pdfinfo reports them for every page.
inline QList<QSizeF> PdfPageSizes(const QString& pdf)
{
    const QString info = Run(QStringLiteral("pdfinfo"),
        { QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("9999"), pdf });
    QList<QSizeF> sizes;
    static const QRegularExpression re(QStringLiteral("Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts"));
    for (auto it = re.globalMatch(info); it.hasNext();) {
        const auto m = it.next();
        sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

// The text of each page.
inline QStringList PdfPageTexts(const QString& pdf)
{
    QStringList pages
        = Run(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") })
              .split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace printer_support
