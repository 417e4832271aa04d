#include "printout/Ubrmenu.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/FormParts.h"
#include "platform/Asker.h"
#include "platform/Clock.h"
#include "platform/DataSet.h"
#include "platform/TypedText.h"
#include "printout/EventPictures.h"
#include "report/BRCtrls.h"

#include <QCoreApplication>
#include <QDateTime>
#include <memory>

namespace printout {
namespace {

// The layout is drawn in the report's design pixels (794 x 1123 to the A4 page).
double tenths(double pixels) { return pixels / BRLayoutPixelsPerTenth; }

constexpr int HeaderHeight = 200;
constexpr int DetailHeight = 30;
constexpr int FooterHeight = 149;

// Where the pictures go: 673 x 119 at (4, 4) of the header and of the footer, at their natural
// size and clipped to that box.
QRectF pictureBox() { return QRectF(tenths(4), tenths(4), tenths(673), tenths(119)); }

// A rule across the page, 660 wide, with the line at `top` (the shape draws its line through its
// middle, so it has no height).
QRectF ruleAt(double left, double top) { return QRectF(tenths(left), tenths(top), tenths(660), 0.0); }

TBRLabelSpec at(double left, double top, double points, TAlignment alignment = TAlignment::taLeftJustify,
    double width = 0.0)
{
    return { .left = tenths(left),
        .top = tenths(top),
        .width = tenths(width),
        .pointSize = points,
        .alignment = alignment };
}

using components::named;

} // namespace

QString printTimeCaption(bool english, const QDateTime& now)
{
    const QString d = shortDateText(now.date());
    const QString t = now.time().toString(QStringLiteral("H:mm:ss"));
    // The hour has one digit or two: the minutes follow the first colon.
    const bool shortHour = t.indexOf(u':') == 1;
    const QString h = shortHour ? t.mid(0, 1) : t.mid(0, 2);
    const QString mm = shortHour ? t.mid(2, 2) : t.mid(3, 2);
    if (english)
        return ReportPrintDatePrefix + QStringLiteral("  ") + h + u':' + mm + QStringLiteral("  ") + d;
    const QString dateText = d.mid(0, 4) + QStringLiteral("年") + d.mid(5, 2) + QStringLiteral("月")
        + d.mid(8, 2) + QStringLiteral("日  ");
    return QStringLiteral("印刷  ") + dateText + h + QStringLiteral("時") + mm + QStringLiteral("分");
}

TFbrmenu::TFbrmenu(TDM1& dm, QWidget* owner)
    : QWidget(owner)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("Fbrmenu"));
    setWindowTitle(QStringLiteral("Print"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック")));
    hide();
    build();
}

TFbrmenu::~TFbrmenu() = default;

void TFbrmenu::build()
{
    BandReport1 = named(new TBandReport(this), "BandReport1");
    BandReport1->setDataSet(m_dm.Qrmenu);
    BandReport1->Options = TBROptions { TBROption::FirstPageHeader, TBROption::LastPageFooter };
    BandReport1->setPrintIfEmpty(true);
    BandReport1->setUnits(TBRUnit::MM);
    BandReport1->BeforePrint = [this](TCustomBandReport* sender, bool& printReport) {
        BandReport1BeforePrint(sender, printReport);
    };

    TBRReportBuilder b(*BandReport1);
    b.Page(TBRPaperSize::A4, TPrinterOrientation::poPortrait, 150);
    b.Columns(1, 0);

    PageHeaderBand1 = named(b.band(TBRBandType::rbPageHeader, tenths(HeaderHeight)), "PageHeaderBand1");
    BRImg1 = named(b.image(PageHeaderBand1, pictureBox()), "BRImg1");
    BRtitle = named(
        b.label(PageHeaderBand1, QStringLiteral("BRtitle"),
            { .top = tenths(129), .pointSize = 18, .alignment = TAlignment::taCenter, .alignToBand = true }),
        "BRtitle");
    BRShape3 = named(b.Shape(PageHeaderBand1, TBRShapeType::brsHorLine, ruleAt(8, 157), 2), "BRShape3");
    BRLabel1 = named(
        b.label(PageHeaderBand1, QStringLiteral("開始時刻"), at(22, 174, 12, TAlignment::taCenter, 65)),
        "BRLabel1");
    BRLabel2 = named(
        b.label(PageHeaderBand1, QStringLiteral("終了時刻"), at(140, 174, 12, TAlignment::taCenter, 65)),
        "BRLabel2");
    BRLabel3 = named(b.label(PageHeaderBand1, QStringLiteral("内容"), at(248, 174, 12)), "BRLabel3");
    BRLabel5 = named(b.label(PageHeaderBand1, QStringLiteral("備考"), at(552, 174, 12)), "BRLabel5");
    BRShape2 = named(b.Shape(PageHeaderBand1, TBRShapeType::brsHorLine, ruleAt(8, 190), 2), "BRShape2");

    DetailBand1 = named(b.band(TBRBandType::rbDetail, tenths(40)), "DetailBand1");
    BRDBText1
        = named(b.dbText(DetailBand1, m_dm.Qrmenu, QStringLiteral("btime"), at(24, 2, 12)), "BRDBText1");
    BRLabel4 = named(b.label(DetailBand1, QStringLiteral("～"), at(103, 3, 12)), "BRLabel4");
    BRDBText2
        = named(b.dbText(DetailBand1, m_dm.Qrmenu, QStringLiteral("etime"), at(140, 2, 12)), "BRDBText2");
    BRDBText3
        = named(b.dbText(DetailBand1, m_dm.Qrmenu, QStringLiteral("rmenu"), at(248, 2, 12)), "BRDBText3");
    // A content stored with line breaks (by an older program) prints whole on its one line, as
    // the monitor shows it, not cut at its first break.
    BRDBText3->OnPrint = [](TBRCustomLabel*, QString& value) { value = platform::oneLineText(value); };
    BRShape1 = named(b.Shape(DetailBand1, TBRShapeType::brsHorLine, ruleAt(8, 19), 2), "BRShape1");

    PageFooterBand1 = named(b.band(TBRBandType::rbPageFooter, tenths(FooterHeight)), "PageFooterBand1");
    BRImg2 = named(b.image(PageFooterBand1, pictureBox()), "BRImg2");
    BRptime = named(b.label(PageFooterBand1, QStringLiteral("BRptime"), at(12, 127, 10)), "BRptime");
    BRpg = named(b.label(PageFooterBand1, QStringLiteral("BRpg"), at(616, 127, 9)), "BRpg");
    PageFooterBand1->BeforePrint
        = [this](TBRCustomBand* sender, bool& printBand) { PageFooterBand1BeforePrint(sender, printBand); };
    b.Finish();
}

void TFbrmenu::BandReport1BeforePrint(TCustomBandReport*, bool&)
{
    PageHeaderBand1->setPixelHeight(HeaderHeight);
    DetailBand1->setPixelHeight(DetailHeight);
    const EventPictures event = readEventPictures(*m_dm.Qimg, CurrentEventCode);
    loadPicture(BRImg1, event.header);
    loadPicture(BRImg2, event.footer);
    m_pageCounter = 0;
}

void TFbrmenu::loadPicture(TBRImage* image, const QString& path)
{
    const QString failure = loadEventPicture(image->Picture(), path);
    if (!failure.isEmpty() && OnPictureError)
        OnPictureError(failure);
}

void TFbrmenu::PageFooterBand1BeforePrint(TBRCustomBand*, bool&)
{
    ++m_pageCounter;
    BRpg->setCaption(QString::number(m_pageCounter) + u'/' + QString::number(ReportPageCount));
}

void printSchedule(TDM1& dm, const platform::Clock& clock, bool english, platform::Asker& asker)
{
    // Each picture that cannot be read is told once, although every run loads it again.
    QStringList told;
    QStringList pending;
    const auto collect = [&](const QString& message) {
        if (!told.contains(message) && !pending.contains(message))
            pending << message;
    };
    const auto tell = [&] {
        if (pending.isEmpty())
            return;
        told << pending;
        asker.error(std::exchange(pending, {}).join(QStringLiteral("\n\n")));
    };

    try {
        {
            // The counting pass: its form, page store and temporary file go as soon as the
            // pages are counted.
            TFbrmenu counting(dm);
            counting.OnPictureError = collect;
            counting.BandReport1->Prepare();
            const TBRPrinter* store = counting.BandReport1->BRPrinter();
            ReportPageCount = store ? store->PageCount() : 0;
        }
        tell();

        TFbrmenu preview(dm);
        preview.OnPictureError = collect;
        preview.BRtitle->setCaption(readEventPictures(*dm.Qimg, CurrentEventCode).title);
        if (english) {
            preview.BRLabel1->setCaption(ReportTitleStart);
            preview.BRLabel2->setCaption(ReportTitleEnd);
            preview.BRLabel3->setCaption(ReportTitleSchedule);
            preview.BRLabel5->setCaption(ReportTitleNote);
        }
        preview.BRptime->setCaption(printTimeCaption(english, clock.now()));
        preview.BandReport1->PreviewModal();
        // The closed preview's page store is released from the event loop: let it go now, with
        // its temporary file, before the form goes.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } catch (const platform::DatabaseError& e) {
        tell();
        asker.error(QStringLiteral("予定表を印刷できませんでした。\n") + e.message());
        return;
    } catch (const EBRError& e) {
        tell();
        asker.error(QStringLiteral("予定表を印刷できませんでした。\n") + e.message());
        return;
    }
    tell();
}

} // namespace printout
