#include "printout/Uimg.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "components/FormParts.h"
#include "platform/Asker.h"
#include "platform/ColorRef.h"
#include "platform/DataSet.h"
#include "platform/FileDialogFolder.h"
#include "platform/TavoApplication.h"
#include "printout/EventPictures.h"
#include "report/BRCtrls.h"

#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <tuple>

namespace printout {
namespace {

constexpr platform::TColor kFormColor = 0x00C4FDC8;

// The picture files the report prints; Linux file names keep their case, so both are offered.
// The next choice opens where the last picture was chosen.
QString standardChooser(QWidget* parent)
{
    static platform::FileDialogFolder pictureFolder;
    const QString chosen = QFileDialog::getOpenFileName(parent, QString(), pictureFolder.folder(),
        QStringLiteral("画像ファイル (*.png *.jpg *.jpeg *.bmp *.PNG *.JPG *.JPEG *.BMP);;"
                       "PNG (*.png *.PNG);;JPEG (*.jpg *.jpeg *.JPG *.JPEG);;BMP (*.bmp *.BMP)"));
    pictureFolder.remember(chosen);
    return chosen;
}

TFimg::PictureChooser& chooserOverride()
{
    static TFimg::PictureChooser chooser;
    return chooser;
}

} // namespace

TFimg::PictureChooser TFimg::setPictureChooser(PictureChooser chooser)
{
    return std::exchange(chooserOverride(), std::move(chooser));
}

TFimg::TFimg(TDM1& dm, platform::Asker& asker, QWidget* owner)
    : QDialog(owner)
    , m_dm(dm)
    , m_asker(asker)
{
    build();
}

TFimg::~TFimg() = default;

void TFimg::build()
{
    setObjectName(QStringLiteral("Fimg"));
    setWindowTitle(QStringLiteral("イメージ"));
    setFixedSize(718, 454);
    setFont(platform::formFont(12));
    components::setPaletteColor(this, QPalette::Window, kFormColor);
    setAutoFillBackground(true);

    // Each slot: its heading, the picture on a white panel, "登録" and "削除", the hidden path.
    struct Slot {
        QLabel* heading;
        QFrame* panel;
        QLabel* image;
        components::TCuteButton *choose, *remove;
        QLineEdit* path;
    };
    const auto slot = [this](int top, const QString& heading, int n, const char* choose, const char* remove) {
        Slot s;
        s.heading = new QLabel(heading, this);
        s.heading->setObjectName(QStringLiteral("Label%1").arg(n));
        s.heading->setGeometry(20, top, 300, 20);
        s.heading->setFont(platform::formFont(14));
        s.panel = new QFrame(this);
        s.panel->setObjectName(QStringLiteral("Panel%1").arg(n));
        s.panel->setGeometry(20, top + 24, 677, 123);
        s.panel->setFrameShape(QFrame::Panel);
        s.panel->setFrameShadow(QFrame::Sunken);
        QPalette white = s.panel->palette();
        white.setColor(QPalette::Window, Qt::white);
        s.panel->setPalette(white);
        s.panel->setAutoFillBackground(true);
        // The picture at its natural size from the top left corner, clipped to the box, as the
        // report prints it.
        s.image = new QLabel(s.panel);
        s.image->setObjectName(QStringLiteral("Image%1").arg(n));
        s.image->setGeometry(2, 2, 673, 119);
        s.image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const components::ButtonLook look { .font = platform::formFont(14) };
        s.choose = components::makeButton(
            this, choose, QStringLiteral("登録"), QRect(20, top + 154, 100, 30), look);
        s.remove = components::makeButton(
            this, remove, QStringLiteral("削除"), QRect(130, top + 154, 100, 30), look);
        s.path = new QLineEdit(this);
        s.path->setObjectName(QStringLiteral("EPic%1").arg(n));
        s.path->hide();
        return s;
    };
    const Slot header = slot(16, QStringLiteral("ヘッダー イメージ"), 1, "CuteButton2", "CuteButton4");
    std::tie(Label1, Panel1, Image1, CuteButton2, CuteButton4, EPic1)
        = std::tie(header.heading, header.panel, header.image, header.choose, header.remove, header.path);
    const Slot footer = slot(224, QStringLiteral("フッター イメージ"), 2, "CuteButton3", "CuteButton5");
    std::tie(Label2, Panel2, Image2, CuteButton3, CuteButton5, EPic2)
        = std::tie(footer.heading, footer.panel, footer.image, footer.choose, footer.remove, footer.path);

    CuteButton1 = components::makeButton(this, "CuteButton1", QStringLiteral("×"), QRect(682, 4, 30, 30),
        { platform::clBlack, platform::clYellow, platform::formFont(20) });

    CuteButton1->OnClick = [this] { CuteButton1Click(); };
    CuteButton2->OnClick = [this] { CuteButton2Click(); };
    CuteButton3->OnClick = [this] { CuteButton3Click(); };
    CuteButton4->OnClick = [this] { CuteButton4Click(); };
    CuteButton5->OnClick = [this] { CuteButton5Click(); };
}

void TFimg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    FormShow();
}

QLabel* TFimg::imageOf(PictureSlot slot) const { return slot == PictureSlot::Header ? Image1 : Image2; }

QString TFimg::showPicture(PictureSlot slot, const QString& path)
{
    TBRPicture picture;
    const QString failure = loadEventPicture(picture, path);
    if (picture.isEmpty())
        imageOf(slot)->clear();
    else
        imageOf(slot)->setPixmap(QPixmap::fromImage(picture.image()));
    return failure;
}

void TFimg::FormShow()
{
    // Each slot on its own: a picture whose file has gone is told, and the other one still
    // shows, so that the broken path can be removed here.
    try {
        const EventPictures event = readEventPictures(*m_dm.Qimg, CurrentEventCode);
        QStringList failures;
        for (PictureSlot slot : { PictureSlot::Header, PictureSlot::Footer }) {
            const QString failure = showPicture(slot, event.path(slot));
            if (!failure.isEmpty())
                failures << failure;
        }
        if (!failures.isEmpty())
            m_asker.error(failures.join(QStringLiteral("\n\n")));
    } catch (const platform::DatabaseError& e) {
        m_asker.error(QStringLiteral("イメージを読み込めませんでした。\n") + e.message());
    }
}

void TFimg::CuteButton1Click() { close(); }

void TFimg::CuteButton2Click() { choose(PictureSlot::Header); }

void TFimg::CuteButton3Click() { choose(PictureSlot::Footer); }

void TFimg::CuteButton4Click() { remove(PictureSlot::Header); }

void TFimg::CuteButton5Click() { remove(PictureSlot::Footer); }

void TFimg::choose(PictureSlot slot)
{
    const QString path = chooserOverride() ? chooserOverride()(this) : standardChooser(this);
    if (path.isEmpty())
        return;
    // A file that is no readable picture is told and changes nothing: the stored path and the
    // picture shown stay.
    TBRPicture picture;
    const QString failure = loadEventPicture(picture, path);
    if (!failure.isEmpty()) {
        m_asker.error(failure);
        return;
    }
    try {
        storeEventPicture(*m_dm.Qimg, CurrentEventCode, slot, path);
    } catch (const platform::DatabaseError& e) {
        m_asker.error(QStringLiteral("イメージを登録できませんでした。\n") + e.message());
        return;
    }
    (slot == PictureSlot::Header ? EPic1 : EPic2)->setText(path);
    imageOf(slot)->setPixmap(QPixmap::fromImage(picture.image()));
}

void TFimg::remove(PictureSlot slot)
{
    try {
        storeEventPicture(*m_dm.Qimg, CurrentEventCode, slot, QStringLiteral(""));
    } catch (const platform::DatabaseError& e) {
        m_asker.error(QStringLiteral("イメージを削除できませんでした。\n") + e.message());
        return;
    }
    (slot == PictureSlot::Header ? EPic1 : EPic2)->clear();
    imageOf(slot)->clear();
}

void runPicturePicker(QWidget* owner, TDM1& dm, platform::Asker& asker)
{
    TFimg picker(dm, asker, owner);
    picker.exec();
}

} // namespace printout
