#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QPageLayout>
#include <gtest/gtest.h>

namespace {

QSizeF sheetMM(const TBRJobSettings& job)
{
    const QRectF r = job.layout.fullRect(QPageLayout::Millimeter);
    return { std::round(r.width()), std::round(r.height()) };
}

} // namespace

TEST(BRPrinterSettings, BinCodesBothWays)
{
    EXPECT_EQ(brBinToDevMode(TBRBin::First), 1);
    EXPECT_EQ(brBinToDevMode(TBRBin::Upper), 1);
    EXPECT_EQ(brBinToDevMode(TBRBin::Auto), 7);
    EXPECT_EQ(brBinToDevMode(TBRBin::Cassette), 14);
    EXPECT_EQ(brBinToDevMode(TBRBin::Last), 14);
    EXPECT_EQ(brBinFromDevMode(1), TBRBin::First);
    EXPECT_EQ(brBinFromDevMode(14), TBRBin::Cassette);
    EXPECT_EQ(brBinFromDevMode(12), std::nullopt);
    const TBandReportPrinterSettings s;
    EXPECT_EQ(s.Copies, 1);
    EXPECT_EQ(s.OutputBin, TBRBin::Auto);
    EXPECT_EQ(s.MemoryLimit, 250000);
    EXPECT_EQ(s.PrinterIndex, -1);
}

TEST(BRPrinterSettings, TheJobTakesThem)
{
    struct Case {
        TBRPaperSize paper;
        TPrinterOrientation orientation;
        QSizeF sheet; // mm, as drawn
    };
    const auto L = TPrinterOrientation::poLandscape;
    const auto P = TPrinterOrientation::poPortrait;
    const Case cases[] = {
        { TBRPaperSize::A5, L, { 210, 148 } },
        { TBRPaperSize::A3, P, { 297, 420 } },
        { TBRPaperSize::Letter, P, { 216, 279 } },
        { TBRPaperSize::B5, L, { 257, 182 } },
    };
    for (const Case& c : cases) {
        TPrinterSettings s;
        ASSERT_TRUE(s.setPaperSize(c.paper));
        s.setOrientation(c.orientation);
        s.setCopies(2);
        s.setCollate(1);
        const TBRJobSettings job = s.ApplySettings();
        EXPECT_EQ(sheetMM(job), c.sheet) << int(c.paper);
        EXPECT_EQ(job.copies, 2);
        EXPECT_TRUE(job.collate);
        EXPECT_EQ(job.layout.margins(), QMarginsF());
        EXPECT_EQ(s.TopOffset(), 0);
    }
}

TEST(BRPrinterSettings, CustomSheetIsNotTurnedTwice)
{
    TPrinterSettings s;
    s.setPaperSize(TBRPaperSize::Custom);
    s.setPaperWidth(3000);
    s.setPaperLength(1000);
    s.setOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(sheetMM(s.ApplySettings()), QSizeF(300, 100));
    s.setOrientation(TPrinterOrientation::poPortrait);
    EXPECT_EQ(sheetMM(s.ApplySettings()), QSizeF(300, 100));
    s.setPaperWidth(1000);
    s.setPaperLength(3000);
    s.setOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(sheetMM(s.ApplySettings()), QSizeF(100, 300));
}

TEST(BRPrinterSettings, PapersTheQueueLacksAreRefused)
{
    TPrinterSettings s;
    EXPECT_TRUE(s.Supported(TBRPaperSize::A3)); // PDF output takes any paper
    s.setSupportedPapers({ 1, 9, 11 }); // Letter, A4, A5
    EXPECT_FALSE(s.setPaperSize(TBRPaperSize::A3));
    EXPECT_EQ(s.PaperSize(), TBRPaperSize::A4);
    EXPECT_TRUE(s.setPaperSize(TBRPaperSize::A5));
    EXPECT_TRUE(s.setPaperSize(TBRPaperSize::Default));
    EXPECT_TRUE(s.setPaperSize(TBRPaperSize::Custom));
    s.setSupportedPapers({}); // a driver that lists nothing changes nothing
    EXPECT_FALSE(s.Supported(TBRPaperSize::A3));
    EXPECT_TRUE(s.Supported(TBRPaperSize::Letter));
}

TEST(BRPrinterSettings, WhatQtCannotCarryIsKeptAsSet)
{
    TPrinterSettings s;
    s.setOutputBin(TBRBin::Tractor);
    s.setUseCustomBinCode(true);
    s.setCustomBinCode(261);
    s.setExtendedDuplex(7);
    s.setUseCustomPaperCode(true);
    s.setCustomPaperCode(300);
    s.ApplySettings();
    EXPECT_EQ(s.OutputBin(), TBRBin::Tractor);
    EXPECT_EQ(s.binCode(), 261);
    EXPECT_EQ(s.ExtendedDuplex(), 7);
    EXPECT_EQ(s.CustomPaperCode(), 300);
    // A custom code Qt knows is used: 11 is A5.
    s.setCustomPaperCode(11);
    EXPECT_EQ(s.ApplySettings().layout.pageSize().id(), QPageSize::A5);
}

TEST(BRPrinterSettings, EventsCanStopReadingAndWriting)
{
    TPrinterSettings s;
    QObject sender;
    s.setEventSender(&sender);
    QObject* seen = nullptr;
    s.SetApplySettingsEvent([&](QObject* from, bool& cancel, TPrinterSettings* settings) {
        seen = from;
        EXPECT_EQ(settings->Copies(), 4);
        cancel = true;
    });
    s.setCopies(4);
    s.setPaperSize(TBRPaperSize::A3);
    const TBRJobSettings job = s.ApplySettings();
    EXPECT_EQ(seen, &sender);
    // Cancelled: the default paper upright, one copy.
    EXPECT_EQ(job.copies, 1);
    EXPECT_EQ(job.layout.pageSize().id(), QPageSize::A4);

    TBRQueueInfo office;
    office.paperCodes = { 9 }; // A4 only
    s.SetGetSettingsEvent([](QObject*, bool& cancel, TPrinterSettings*) { cancel = true; });
    s.ReadSettings(&office);
    EXPECT_TRUE(s.Supported(TBRPaperSize::A3));
    s.SetGetSettingsEvent({});
    s.ReadSettings(&office);
    EXPECT_FALSE(s.Supported(TBRPaperSize::A3));
}

TEST(BRPrinterSettings, WithoutQueuesTheDefaultPrinterIsPdfOutput)
{
    TBRPrinter printer;
    printer.SetPrinterIndex(-1);
    EXPECT_TRUE(printer.target().isPdf());
    EXPECT_TRUE(printer.target().fileName.endsWith(QStringLiteral("report.pdf")));
    printer.setOutputFileName(QStringLiteral("/tmp/x.pdf"));
    EXPECT_EQ(printer.target().fileName, QStringLiteral("/tmp/x.pdf"));
}

TEST(BRPrinterSettings, ReportSettingsReachThePrinter)
{
    TBandReportPrinterSettings r;
    r.Copies = 3;
    r.FirstPage = 2;
    r.LastPage = 5;
    r.Duplex = true;
    r.OutputBin = TBRBin::Lower;
    r.PrintMetaFile = true;
    r.OutputFileName = QStringLiteral("/tmp/y.pdf");
    TBRPrinter printer;
    printer.assignSettings(r);
    EXPECT_EQ(printer.settings().Copies(), 3);
    EXPECT_EQ(printer.FirstPage(), 2);
    EXPECT_EQ(printer.LastPage(), 5);
    EXPECT_EQ(printer.settings().DuplexCode(), 3);
    r.ExtendedDuplex = 2; // wins whatever Duplex says
    printer.assignSettings(r);
    EXPECT_EQ(printer.settings().DuplexCode(), 2);
    EXPECT_EQ(printer.settings().binCode(), 2);
    EXPECT_TRUE(printer.settings().PrintMetaFile());
    EXPECT_EQ(printer.target().fileName, QStringLiteral("/tmp/y.pdf"));
}

TEST(BRPrinterSettings, PdfOutputKeepsTheDuplexChoice)
{
    TPrinterSettings s;
    s.setDuplex(true);
    s.setExtendedDuplex(2);
    EXPECT_EQ(s.ApplySettings().duplexCode, 2);
    EXPECT_TRUE(s.Duplex());
    EXPECT_EQ(s.DuplexCode(), 2);
}
