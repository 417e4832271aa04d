#pragma once

// The standard preview taken over while a print command runs: once the preview's pages are
// complete they are read, whatever the test does in the preview is done (printing to a PDF file),
// and the preview is closed as the operator closes it, which ends the command.

#include "report/BRPrev.h"
#include "report/BRPrinterTestSupport.h"
#include "report/BandRptTestSupport.h"
#include "support/WindowInput.h"

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QToolButton>

namespace testing_support {

// The standard preview is what the report printer opens while the object lives, and runs take
// events meanwhile, as after the program's preview start-up.
class StandardPreviewInstalled {
public:
    StandardPreviewInstalled()
        : m_previous(setPreviewInterfaceClass([] { return std::make_unique<TBRStandardPreviewInterface>(); }))
    {
    }
    ~StandardPreviewInstalled() { setPreviewInterfaceClass(m_previous); }

private:
    TBRPreviewInterfaceFactory m_previous;
    printer_support::YieldToEventLoop m_yield;
};

// What the preview showed: each page's texts and picture.
struct PreviewShown {
    QList<QStringList> texts;
    QList<QImage> pages;
};

// Runs `press` (a command that previews a report and returns when the preview closes).
inline PreviewShown capturePreview(
    const std::function<void()>& press, const std::function<void(TBRStandardPreview&)>& inPreview = {})
{
    PreviewShown shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<TBRStandardPreview*>(w);
            TBRPrinter* store = form ? form->printer() : nullptr;
            if (!store || !store->complete() || !form->isVisible())
                continue;
            poll.stop();
            for (int n = 1; n <= store->PageCount(); ++n) {
                const std::unique_ptr<QPicture> page = store->GetPage(n);
                shown.texts << pageTexts(*page);
                shown.pages << band_samples::render(*page);
            }
            if (inPreview)
                inPreview(*form);
            form->close();
            return;
        }
    });
    poll.start(5);
    press();
    return shown;
}

// In the preview, clicked through its window: the printer setup, whose dialog chooses the PDF
// file.
inline void choosePdfInSetup(TBRStandardPreview& preview, const QString& file)
{
    const auto previous = TCustomBandReport::setPrintDialogRunner(
        [&](TBRPrinter*, TCustomBandReport::TBRSetupChoice& choice) {
            choice.FileName = file;
            return true;
        });
    userClick(preview.PrintSetup);
    TCustomBandReport::setPrintDialogRunner(previous);
}

// In the preview, clicked through its window: the printer setup chooses the PDF file, then
// "Print".
inline std::function<void(TBRStandardPreview&)> printToPdf(const QString& file)
{
    return [file](TBRStandardPreview& preview) {
        choosePdfInSetup(preview, file);
        userClick(preview.Print);
    };
}

} // namespace testing_support
