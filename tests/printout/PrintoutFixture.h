#pragma once

// The open event of the console tests, with schedule rows, picture files and the standard
// preview, which the print command opens.

#include "components/CuteBtn.h"
#include "console/ConsoleFixture.h"
#include "printout/PreviewCapture.h"
#include "printout/Ubrmenu.h"

#include <QPainter>
#include <QRandomGenerator>
#include <optional>

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
        m_preview.emplace();
    }
    void TearDown() override
    {
        m_preview.reset();
        ConsoleFixture::TearDown();
    }

    // Rows "予選 1".. of five minutes each from 9:00.
    void addRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QTime start = QTime(9, 0).addSecs(300 * i);
            addScheduleRow(start.toString("H:mm:ss").toLatin1().constData(),
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

    void setPictures(const QString& header, const QString& footer)
    {
        platform::Query q(dm->Database1);
        q.addSQL(QStringLiteral("update taikai set img1=:h, img2=:f"));
        q.ParamByName("h")->SetAsString(header);
        q.ParamByName("f")->SetAsString(footer);
        q.ExecSQL();
    }

    // Presses "印刷" on the console; the preview closes once `inPreview` has run on it.
    PreviewShown Print(
        console::TFtaikai& console, const std::function<void(TBRStandardPreview&)>& inPreview = {})
    {
        return capturePreview([&] { console.CuteButton15->Click(); }, inPreview);
    }

private:
    std::optional<StandardPreviewInstalled> m_preview;
};

} // namespace testing_support
