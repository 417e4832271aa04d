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
    std::unique_ptr<TFimg> Picker()
    {
        auto picker = std::make_unique<TFimg>(*dm, platform::currentAsker());
        picker->show();
        return picker;
    }
    QString Stored(const char* column) { return Scalar(QStringLiteral("select %1 from taikai").arg(column)); }
    static bool Shows(QLabel* image) { return !image->pixmap().isNull(); }

    QString chosen; // the next file the open dialog gives; empty: cancelled

private:
    TFimg::PictureChooser m_previous;
};

TEST_F(Uimg, ChoosingStoresThePathIntactInItsSlotOnly)
{
    const auto p = Picker(); // a new event: both slots empty
    EXPECT_FALSE(Shows(p->Image1) || Shows(p->Image2));
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
        const QString other = Stored(c.column == std::string("img1") ? "img2" : "img1");
        chosen = Picture(QString::fromUtf8(c.name), Qt::darkCyan);
        c.button->Click();
        EXPECT_EQ(Stored(c.column), home.file(QString::fromUtf8(c.name)));
        EXPECT_EQ(Stored(c.column == std::string("img1") ? "img2" : "img1"), other);
    }
    EXPECT_TRUE(Shows(p->Image1) && Shows(p->Image2));
    p->CuteButton3->Click(); // cancelled: nothing changes
    EXPECT_EQ(Stored("img2"), home.file(QStringLiteral("O'Brien's footer.bmp")));
    testing_support::saveGrab(p.get(), QStringLiteral("Uimg_pictures"));
    EXPECT_TRUE(asker.errors().isEmpty());
}

TEST_F(Uimg, AFileThatIsNoPictureIsToldAndChangesNothing)
{
    setPictures(Picture("header.png", Qt::darkBlue), QString());
    const auto p = Picker();
    chosen = home.file(QStringLiteral("notes.png"));
    QFile(chosen).open(QIODevice::WriteOnly);
    p->CuteButton2->Click();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors()[0].contains(QStringLiteral("画像ファイルを読み込めません")));
    EXPECT_EQ(Stored("img1"), home.file(QStringLiteral("header.png")));
    EXPECT_TRUE(Shows(p->Image1));
}

TEST_F(Uimg, AMissingPictureIsToldAndTheOtherShowsAndItsPathCanBeRemoved)
{
    setPictures(home.file(QStringLiteral("gone.png")), Picture("footer.png", Qt::darkRed));
    auto p = Picker();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors()[0].contains(home.file(QStringLiteral("gone.png"))));
    EXPECT_TRUE(!Shows(p->Image1) && Shows(p->Image2));
    p->CuteButton4->Click();
    EXPECT_EQ(Stored("img1"), QString());
    EXPECT_EQ(Stored("img2"), home.file(QStringLiteral("footer.png")));
    p->CuteButton1->Click();
    EXPECT_FALSE(p->isVisible());
    p = Picker(); // reopened: told nothing more
    EXPECT_EQ(asker.errors().size(), 1);
    p->CuteButton5->Click();
    EXPECT_FALSE(Shows(p->Image2));
    EXPECT_EQ(Stored("img2"), QString());
}

TEST_F(Uimg, TheConsoleButtonOpensThePickerForTheEvent)
{
    setPictures(Picture("header.png", Qt::darkGreen), QString());
    const auto f = Open();
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* picker = dynamic_cast<TFimg*>(QApplication::activeModalWidget());
        shown = picker && Shows(picker->Image1) && !Shows(picker->Image2);
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
    const auto p = Picker();
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
    EXPECT_EQ(Stored("img1"), header);
}
