#pragma once

// The open event of the console tests, with schedule rows, picture files and the standard
// preview taken over while the print command runs: the preview's pages are read, and whatever
// the test does in the preview (print to a PDF file) is done, before the preview is closed as
// the operator closes it.

#include "components/CuteBtn.h"
#include "console/ConsoleFixture.h"
#include "printout/Ubrmenu.h"
#include "report/BRPrev.h"
#include "report/BandRptTestSupport.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

namespace testing_support {

class PrintoutFixture : public ConsoleFixture {
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        ReportTitleStart = QStringLiteral("Start");
        ReportTitleEnd = QStringLiteral("End");
        ReportTitleSchedule = QStringLiteral("Schedule");
        ReportTitleNote = QStringLiteral("Note");
        ReportPrintDatePrefix = QStringLiteral("Print /");
        m_previousPreview
            = SetPreviewInterfaceClass([] { return std::make_unique<TBRStandardPreviewInterface>(); });
    }
    void TearDown() override
    {
        SetPreviewInterfaceClass(m_previousPreview);
        ConsoleFixture::TearDown();
    }

    // Rows "予選 1".. of five minutes each from 9:00.
    void AddRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QTime start = QTime(9, 0).addSecs(300 * i);
            AddScheduleRow(start.toString("H:mm:ss").toLatin1().constData(),
                start.addSecs(300).toString("H:mm:ss").toLatin1().constData(),
                QStringLiteral("予選 %1").arg(i + 1).toUtf8().constData(), i + 1);
        }
    }

    // A picture file in the data folder: a coloured band with a darker block at its left. A noisy
    // one does not compress: a few pages of it make the page store spill to a temporary file.
    QString Picture(const QString& name, QColor color, bool noisy = false)
    {
        QImage image(673, 119, QImage::Format_RGB32);
        image.fill(color);
        QRandomGenerator noise(42);
        for (int y = 0; noisy && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, noise.generate() | 0xFF000000U);
        QPainter(&image).fillRect(QRect(10, 10, 100, 99), color.darker(250));
        const QString path = home.file(name);
        image.save(path);
        return path;
    }

    void SetPictures(const QString& header, const QString& footer)
    {
        platform::Query q(dm->Database1);
        q.AddSQL(QStringLiteral("update taikai set img1=:h, img2=:f"));
        q.ParamByName("h")->SetAsString(header);
        q.ParamByName("f")->SetAsString(footer);
        q.ExecSQL();
    }

    // What the preview showed: each page's texts and picture.
    struct Shown {
        QList<QStringList> texts;
        QList<QImage> pages;
    };

    // Presses "印刷" on the console and closes the preview once its pages are complete, after
    // `inPreview` has run on it.
    Shown Print(console::TFtaikai& console, const std::function<void(TBRStandardPreview&)>& inPreview = {})
    {
        Shown shown;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* form = qobject_cast<TBRStandardPreview*>(w);
                TBRPrinter* store = form ? form->Printer() : nullptr;
                if (!store || !store->Complete() || !form->isVisible())
                    continue;
                poll.stop();
                for (int n = 1; n <= store->PageCount(); ++n) {
                    const std::unique_ptr<QPicture> page = store->GetPage(n);
                    shown.texts << PageTexts(*page);
                    shown.pages << band_samples::Render(*page);
                }
                if (inPreview)
                    inPreview(*form);
                form->close();
                return;
            }
        });
        poll.start(5);
        console.CuteButton15->Click();
        return shown;
    }

    static QString Run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private:
    TBRPreviewInterfaceFactory m_previousPreview;
};

} // namespace testing_support
