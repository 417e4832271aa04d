#include "PrintoutFixture.h"
#include "console/ConsoleWidgets.h"

#include <QDir>
#include <QFileInfo>

namespace {

using namespace testing_support;

class Ubrmenu : public PrintoutFixture { };

// The source folder as the build names it: __FILE__ can be a path relative to a compiler cache's
// base folder, which does not lead anywhere from the folder the tests run in.
QString golden(const QString& name)
{
    return QDir(QString::fromUtf8(QT_TESTCASE_SOURCEDIR)).filePath(QStringLiteral("printout/golden/") + name);
}

// Pixels whose colour differs by more than antialiasing does, compared with the golden picture.
int differingPixels(const QImage& page, const QString& golden)
{
    const QImage expected(golden);
    if (expected.size() != page.size())
        return page.width() * page.height();
    int differing = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb a = page.pixel(x, y), b = expected.pixel(x, y);
            if (std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                    std::abs(qBlue(a) - qBlue(b)) })
                > 64)
                ++differing;
        }
    return differing;
}

// The files of the folder this process holds open.
QStringList openFilesIn(const QString& folder)
{
    QStringList open;
    for (const QFileInfo& fd :
        QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget().startsWith(folder + u'/'))
            open << fd.symLinkTarget();
    return open;
}

TEST_F(Ubrmenu, TwentyTwoRowsFillAPageAndEveryFooterCountsThePages)
{
    const struct {
        int rows, pages;
    } cases[] = { { 0, 1 }, { 22, 1 }, { 23, 2 }, { 44, 2 }, { 45, 3 } };
    for (const auto& c : cases) {
        exec("delete from rmenu");
        addRows(c.rows);
        const auto f = Open(); // the console reads the schedule as it opens
        const PreviewShown shown = Print(*f);
        ASSERT_EQ(shown.texts.size(), c.pages) << c.rows;
        for (int n = 1; n <= c.pages; ++n) {
            const QStringList& texts = shown.texts[n - 1];
            EXPECT_TRUE(texts.contains(QStringLiteral("%1/%2").arg(n).arg(c.pages))) << c.rows << " " << n;
            EXPECT_TRUE(
                texts.contains(QStringLiteral("開始時刻")) && texts.contains(QStringLiteral("春季大会")));
            const int first = (n - 1) * 22 + 1;
            if (first <= c.rows) {
                EXPECT_TRUE(texts.contains(QStringLiteral("予選 %1").arg(first))) << c.rows << " " << n;
            }
        }
        EXPECT_EQ(ReportPageCount, c.pages);
    }
    EXPECT_TRUE(asker.errors().isEmpty()); // an event without pictures prints without them
}

// Also: contents an older program stored with line breaks print whole on their line.
TEST_F(Ubrmenu, TheFooterLineAndColumnTitlesFollowTheLanguageChoice)
{
    const struct {
        int language;
        QTime at;
        const char* line;
        const char* start;
        const char* note;
    } cases[] = {
        { 0, QTime(9, 5, 59), "印刷  2024年03月09日  9時05分", "開始時刻", "備考" },
        { 0, QTime(14, 30), "印刷  2024年03月09日  14時30分", "開始時刻", "備考" },
        { 1, QTime(9, 5), "Print /  9:05  2024/03/09", "Start", "Note" },
        { 1, QTime(23, 59), "Print /  23:59  2024/03/09", "Start", "Note" },
    };
    addRows(3);
    exec("update rmenu set rmenu='前半'||char(13)||char(10)||'後半' where rmenu='予選 2'");
    exec("update rmenu set rmenu='a'||char(13)||'b'||char(10)||'c' where rmenu='予選 3'");
    const auto f = Open();
    for (const auto& c : cases) {
        clock.setNow(QDateTime(QDate(2024, 3, 9), c.at));
        f->RGrang->setItemIndex(c.language);
        const QStringList texts = Print(*f).texts.value(0);
        EXPECT_TRUE(texts.contains(QString::fromUtf8(c.line))) << texts.join(u'|').toStdString();
        EXPECT_TRUE(texts.contains(QString::fromUtf8(c.start)) && texts.contains(QString::fromUtf8(c.note)));
        EXPECT_TRUE(texts.contains(QStringLiteral("前半 後半")) && texts.contains(QStringLiteral("a b c")))
            << texts.join(u'|').toStdString();
    }
}

TEST_F(Ubrmenu, ThePrintedPdfHasThePicturesTitlesAndTheJapaneseFont)
{
    addRows(23);
    setPictures(Picture("header.png", QColor(40, 90, 170)), Picture("footer.jpg", QColor(200, 120, 40)));
    clock.setNow(QDateTime(QDate(2024, 3, 9), QTime(9, 5)));
    const QString pdf = home.file(QStringLiteral("予定表.pdf"));
    const auto f = Open();
    const PreviewShown shown = Print(*f, printToPdf(pdf));

    ASSERT_EQ(shown.pages.size(), 2);
    for (int n = 0; n < 2; ++n) {
        const QString name = QStringLiteral("Ubrmenu_page%1.png").arg(n + 1);
        band_samples::savePage(shown.pages[n], name.chopped(4));
        EXPECT_LT(differingPixels(shown.pages[n], golden(name)), 200) << name.toStdString();
    }
    const QString text = printer_support::run("pdftotext", { "-layout", pdf, "-" });
    for (const char* expected : { "春季大会", "開始時刻", "終了時刻", "予選 1", "予選 23", "1/2", "2/2",
             "印刷  2024年03月09日  9時05分" })
        EXPECT_TRUE(text.simplified().contains(QString::fromUtf8(expected).simplified())) << expected;
    EXPECT_TRUE(printer_support::run("pdffonts", { pdf }).contains(QRegularExpression("IPAPGothic.*yes")));
    // Header and footer picture on each of the two pages.
    EXPECT_EQ(printer_support::run("pdfimages", { "-list", pdf })
                  .count(QRegularExpression("\\n +\\d+ +\\d+ image ")),
        4);
}

TEST_F(Ubrmenu, AnUnreadablePictureIsToldOnceAndTheScheduleStillPrintsAndNothingStaysBehind)
{
    addRows(45);
    const QString broken = home.file(QStringLiteral("broken.png"));
    QFile(broken).open(QIODevice::WriteOnly);
    setPictures(broken, Picture("footer.png", QColor(200, 120, 40), true));
    QTemporaryDir temp; // where page stores spill (into files that may have no name in the folder)
    const QByteArray previousTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    const auto f = Open();
    QStringList spilled;
    const PreviewShown shown = Print(*f, [&](TBRStandardPreview& preview) {
        spilled = openFilesIn(temp.path());
        printToPdf(home.file(QStringLiteral("schedule.pdf")))(preview); // a third run: told no more
    });
    const QStringList left = openFilesIn(temp.path());
    qputenv("TMPDIR", previousTemp);

    ASSERT_EQ(shown.pages.size(), 3);
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors()[0].contains(QStringLiteral("画像ファイルを読み込めません")));
    EXPECT_TRUE(asker.errors()[0].contains(broken));
    // No header picture, the footer picture all the same.
    EXPECT_EQ(band_samples::darkPixels(shown.pages[0], QRect(70, 70, 100, 100)), 0);
    EXPECT_GT(band_samples::darkPixels(shown.pages[0], QRect(70, 1000, 100, 60)), 1000);
    EXPECT_EQ(spilled.size(), 1); // only the preview's store: the counting pass's went with it
    EXPECT_TRUE(left.isEmpty());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(w->objectName(), QStringLiteral("Fbrmenu"));
}

} // namespace
