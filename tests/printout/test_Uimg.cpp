#include "PrintoutFixture.h"
#include "platform/Asker.h"
#include "platform/DataFolder.h"
#include "printout/Uimg.h"
#include "support/WindowInput.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

namespace {

using printout::TFimg;

class Uimg : public testing_support::PrintoutFixture {
protected:
    void SetUp() override
    {
        PrintoutFixture::SetUp();
        m_previous = TFimg::setPictureChooser([this](QWidget*) { return std::exchange(chosen, QString()); });
    }
    void TearDown() override
    {
        TFimg::setPictureChooser(m_previous);
        PrintoutFixture::TearDown();
    }
    std::unique_ptr<TFimg> picker()
    {
        auto picker = std::make_unique<TFimg>(*dm, platform::currentAsker());
        picker->show();
        return picker;
    }
    QString stored(const char* column) { return scalar(QStringLiteral("select %1 from taikai").arg(column)); }
    static bool shows(QLabel* image) { return !image->pixmap().isNull(); }

    QString chosen; // the next file the open dialog gives; empty: cancelled

private:
    TFimg::PictureChooser m_previous;
};

TEST_F(Uimg, ChoosingStoresThePathIntactInItsSlotOnly)
{
    const auto p = picker(); // a new event: both slots empty
    EXPECT_FALSE(shows(p->Image1) || shows(p->Image2));
    // A path is stored as chosen, apostrophes and all; one crafted as SQL touches nothing else.
    const struct {
        components::TCuteButton* button;
        const char* name;
        const char* column;
    } cases[] = {
        { p->CuteButton2, "header.png", "img1" },
        { p->CuteButton3, "O'Brien's footer.bmp", "img2" },
        { p->CuteButton2, "x', img2='evil.jpg", "img1" },
    };
    for (const auto& c : cases) {
        const QString other = stored(c.column == std::string("img1") ? "img2" : "img1");
        chosen = Picture(QString::fromUtf8(c.name), Qt::darkCyan);
        c.button->Click();
        EXPECT_EQ(stored(c.column), home.file(QString::fromUtf8(c.name)));
        EXPECT_EQ(stored(c.column == std::string("img1") ? "img2" : "img1"), other);
    }
    EXPECT_TRUE(shows(p->Image1) && shows(p->Image2));
    p->CuteButton3->Click(); // cancelled: nothing changes
    EXPECT_EQ(stored("img2"), home.file(QStringLiteral("O'Brien's footer.bmp")));
    testing_support::saveGrab(p.get(), QStringLiteral("Uimg_pictures"));
    EXPECT_TRUE(asker.errors().isEmpty());
}

TEST_F(Uimg, AFileThatIsNoPictureIsToldAndChangesNothing)
{
    setPictures(Picture("header.png", Qt::darkBlue), QString());
    const auto p = picker();
    chosen = home.file(QStringLiteral("notes.png"));
    QFile(chosen).open(QIODevice::WriteOnly);
    p->CuteButton2->Click();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors()[0].contains(QStringLiteral("画像ファイルを読み込めません")));
    EXPECT_EQ(stored("img1"), home.file(QStringLiteral("header.png")));
    EXPECT_TRUE(shows(p->Image1));
}

TEST_F(Uimg, AMissingPictureIsToldAndTheOtherShowsAndItsPathCanBeRemoved)
{
    setPictures(home.file(QStringLiteral("gone.png")), Picture("footer.png", Qt::darkRed));
    auto p = picker();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors()[0].contains(home.file(QStringLiteral("gone.png"))));
    EXPECT_TRUE(!shows(p->Image1) && shows(p->Image2));
    p->CuteButton4->Click();
    EXPECT_EQ(stored("img1"), QString());
    EXPECT_EQ(stored("img2"), home.file(QStringLiteral("footer.png")));
    p->CuteButton1->Click();
    EXPECT_FALSE(p->isVisible());
    p = picker(); // reopened: told nothing more
    EXPECT_EQ(asker.errors().size(), 1);
    p->CuteButton5->Click();
    EXPECT_FALSE(shows(p->Image2));
    EXPECT_EQ(stored("img2"), QString());
}

TEST_F(Uimg, TheConsoleButtonOpensThePickerForTheEvent)
{
    setPictures(Picture("header.png", Qt::darkGreen), QString());
    const auto f = Open();
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* picker = dynamic_cast<TFimg*>(QApplication::activeModalWidget());
        shown = picker && shows(picker->Image1) && !shows(picker->Image2);
        if (picker)
            picker->CuteButton1->Click();
    });
    f->CuteButton16->Click();
    EXPECT_TRUE(shown);
}

} // namespace

TEST_F(Uimg, TheFileDialogOpensInTheDataFolderThenWhereTheLastPictureWasChosen)
{
    TFimg::setPictureChooser({}); // the program's own dialog; TearDown puts the test's back
    QDir(home.path()).mkdir(QStringLiteral("pictures"));
    const QString header = Picture(QStringLiteral("pictures/header.png"), Qt::darkCyan);
    const auto p = picker();
    QStringList openedIn;
    for (const QString& pick : { header, QString() }) {
        testing_support::WhenShown<QFileDialog> dialog([&](QFileDialog& d) {
            openedIn << d.directory().absolutePath();
            if (pick.isEmpty()) {
                testing_support::userKey(&d, Qt::Key_Escape);
                return;
            }
            // The name as typed into the dialog's file name field (selecting a file in another
            // folder waits for that folder to be read).
            d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(pick);
            static_cast<QDialog&>(d).accept();
        });
        testing_support::userClick(p->CuteButton2);
        EXPECT_TRUE(dialog.done());
    }
    EXPECT_EQ(openedIn, QStringList({ platform::dataFolder(), QFileInfo(header).absolutePath() }));
    EXPECT_EQ(stored("img1"), header);
}
