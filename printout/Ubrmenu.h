#pragma once

// TFbrmenu "Print": the form that carries the schedule report of the open event, and the
// console's print command that drives it (printSchedule).
//
// The report (BandReport1) runs over the console's schedule query DM1.Qrmenu: a page header
// with the event's header picture, its title, the column titles between two rules; one line
// per schedule row (start, "～", end, content) with a rule under it; a page footer with the
// footer picture, the print date and time and "n/N". The form is never shown; the report
// engine's preview shows the pages.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QDateTime;
class TBandReport;
class TBRBand;
class TBRCustomBand;
class TBRDBText;
class TBRImage;
class TBRLabel;
class TBRShape;
class TCustomBandReport;
class TDM1;

namespace platform {
class Asker;
class Clock;
} // namespace platform

namespace printout {

// The footer's print line, from the moment of printing: in Japanese "印刷  2024年03月09日  9時05分",
// in English the prefix of the settings (ReportPrintDatePrefix), the time "9:05" and the date
// "2024/03/09", each pair parted by two blanks.
QString printTimeCaption(bool english, const QDateTime& now);

class TFbrmenu : public QWidget {
public:
    // The report reads the schedule from dm.Qrmenu and the pictures through dm.Qimg.
    explicit TFbrmenu(TDM1& dm, QWidget* owner = nullptr);
    ~TFbrmenu() override;

    TBandReport* BandReport1;
    TBRBand* PageHeaderBand1;
    TBRImage* BRImg1;
    TBRLabel* BRtitle;
    TBRShape* BRShape3;
    TBRLabel *BRLabel1, *BRLabel2, *BRLabel3, *BRLabel5;
    TBRShape* BRShape2;
    TBRBand* DetailBand1;
    TBRDBText *BRDBText1, *BRDBText2, *BRDBText3;
    TBRLabel* BRLabel4;
    TBRShape* BRShape1;
    TBRBand* PageFooterBand1;
    TBRImage* BRImg2;
    TBRLabel* BRptime;
    TBRLabel* BRpg;

    // Told the engine's message for each picture that cannot be read; the report then prints
    // without that picture.
    std::function<void(const QString& message)> OnPictureError;

    // Start of every run: the band heights, the event's pictures, the page counter.
    void BandReport1BeforePrint(TCustomBandReport* sender, bool& printReport);
    // Each page footer: "n/N" with the pages the counting pass found (ReportPageCount).
    void PageFooterBand1BeforePrint(TBRCustomBand* sender, bool& printBand);

private:
    void build();
    void loadPicture(TBRImage* image, const QString& path);

    TDM1& m_dm;
    int m_pageCounter = 0;
};

// The print command ("印刷"): a counting pass finds the number of pages, then a second report,
// with the event's title and the footer's print line (English column titles and line when
// `english`), is previewed until the operator closes the preview. Each picture that cannot be
// read is told to the operator once per command, and the schedule prints without it. Both
// report forms, their page stores and temporary files are gone when the command returns.
void printSchedule(TDM1& dm, const platform::Clock& clock, bool english, platform::Asker& asker);

} // namespace printout
