#include "report/BRPrnSu.h"
#include "report/BRPrntr.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Closes the modal dialog once it is up, after noting where it stands.
void closeDialogSoon(bool accept, QRect* geometry = nullptr, bool grab = false)
{
    QTimer::singleShot(50, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        if (geometry)
            *geometry = dialog->frameGeometry();
        if (grab)
            testing_support::saveGrab(dialog, QStringLiteral("BRPrnSu_print_dialog"));
        accept ? dialog->accept() : dialog->reject();
    });
}

struct PdfPrinter {
    PdfPrinter()
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("chosen.pdf")));
        printer.setPageSize(QPageSize(QPageSize::A5));
        printer.setPageOrientation(QPageLayout::Landscape);
    }
    QTemporaryDir dir;
    QPrinter printer { QPrinter::HighResolution };
};

} // namespace

TEST(BRPrintDialog, ConfirmedChoicesAreReadBack)
{
    PdfPrinter pdf;
    TBRPrintDialog dialog;
    dialog.SetPrinter(&pdf.printer);
    dialog.setCopies(3);
    EXPECT_EQ(pdf.printer.copyCount(), 3);
    dialog.Collate = true;
    dialog.Options = poPageNums | poPrintToFile;
    dialog.MinPage = 1;
    dialog.MaxPage = 10;
    dialog.FromPage = 2;
    dialog.ToPage = 4;
    dialog.PrintRange = TBRPrintRange::prPageNums;
    int shown = 0, closed = 0;
    dialog.OnShow = [&] { ++shown; };
    dialog.OnClose = [&] { ++closed; };
    QRect where;
    closeDialogSoon(true, &where, true);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(dialog.Copies(), 3);
    EXPECT_TRUE(dialog.Collate);
    EXPECT_EQ(dialog.PrintRange, TBRPrintRange::prPageNums);
    EXPECT_EQ(dialog.FromPage, 2);
    EXPECT_EQ(dialog.ToPage, 4);
    EXPECT_TRUE(dialog.PrintToFile);
    EXPECT_EQ(dialog.FileName, pdf.dir.filePath(QStringLiteral("chosen.pdf")));
    EXPECT_EQ(dialog.PrinterIndex, -1);
    EXPECT_EQ(dialog.PaperSize, 11); // A5
    EXPECT_EQ(dialog.Paperwidth, 1480);
    EXPECT_EQ(dialog.Paperlength, 2100);
    EXPECT_EQ(dialog.Orientation, 2);
    EXPECT_EQ(dialog.DuplexCode, 1);
    EXPECT_FALSE(dialog.Duplex);
    EXPECT_EQ(dialog.PrintQuality, pdf.printer.resolution());
    // Centred across, one third down the free height.
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(where.center().x(), free.center().x(), 2);
    EXPECT_NEAR(where.top() - free.top(), (free.height() - where.height()) / 3, 2);
}

TEST(BRPrintDialog, CancelChangesNothing)
{
    PdfPrinter pdf;
    TBRPrintDialog dialog;
    dialog.SetPrinter(&pdf.printer);
    const bool collate = pdf.printer.collateCopies();
    dialog.Collate = !collate;
    dialog.PrintToFile = false;
    dialog.Orientation = 7;
    closeDialogSoon(false);
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(pdf.printer.collateCopies(), collate);
    EXPECT_EQ(pdf.printer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(pdf.printer.outputFileName(), pdf.dir.filePath(QStringLiteral("chosen.pdf")));
    EXPECT_EQ(dialog.Orientation, 7);
    EXPECT_EQ(dialog.Collate, !collate);
}
