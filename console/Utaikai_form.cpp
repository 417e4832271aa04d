// Layout of the race console: its five pages, every control under its name, and the components.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "components/CommX.h"
#include "components/CuteBtn.h"
#include "components/FormParts.h"
#include "components/LED7Seg.h"
#include "components/rs232c.h"
#include "console/ConsoleRealDevices.h"
#include "console/ConsoleWidgets.h"
#include "console/CuePlayerView.h"
#include "console/MonitorFiles.h"
#include "console/TimePicker.h"
#include "console/Utaikai.h"
#include "platform/DataSetModel.h"
#include "platform/SoundOutput.h"
#include "platform/TavoApplication.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>

namespace console {
namespace {

// The window's outer size, frame and title bar included, as the event list sets it.
constexpr QSize kWindowSize(997, 696);
// The tabs' row; the "×" takes its height.
constexpr int TabHeight = 24;
constexpr int CloseButtonWidth = 34;
// The status line lies under the pages: the message's time (H:MM:SS), then the message.
constexpr int StatusTop = 635;
constexpr int StatusTimeWidth = 60;
constexpr int StatusTextLeft = 4 + StatusTimeWidth + 4;

using components::named;
using components::TCuteButton;
using components::TLED7Seg;
using platform::TColor;

QFont consoleFont(int pixels, bool bold = false) { return platform::formFont(pixels, bold); }

// The colour of a control's caption. The indicator marks of check boxes and radio buttons keep
// the dark text colour, so that they stay visible on their white boxes.
void setTextColor(QWidget* w, TColor color) { components::setPaletteColor(w, QPalette::WindowText, color); }

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& r,
    TColor color = platform::clWhite, int pixels = 12)
{
    auto* label = named(new QLabel(text, parent), name, r);
    label->setFont(consoleFont(pixels));
    setTextColor(label, color);
    return label;
}

// A caption without a name of its own (the form's unnamed static texts).
QLabel* Caption(
    QWidget* parent, const QString& text, const QRect& r, TColor color = platform::clWhite, int pixels = 12)
{
    return makeLabel(parent, "", text, r, color, pixels);
}

TCuteButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& r,
    TColor face = platform::clBtnFace, TColor fontColor = platform::clBlack, int pixels = 12)
{
    return components::makeButton(
        parent, name, caption, r, { face, fontColor, consoleFont(pixels, pixels >= 16) });
}

QTimeEdit* makeTime(QWidget* parent, const char* name, const QRect& r, int pixels = 12)
{
    auto* t = named(new TimePicker(parent), name, r);
    // The pickers show H:mm:ss whatever the locale says: the console's clock texts never follow it.
    t->setDisplayFormat(QStringLiteral("H:mm:ss"));
    t->setFont(consoleFont(pixels));
    return t;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, const QRect& r)
{
    auto* e = named(new QLineEdit(text, parent), name, r);
    e->setFont(consoleFont(12));
    return e;
}

TPanel* makePanel(QWidget* parent, const char* name, const QString& caption, const QRect& r,
    TColor face = platform::clGray, TColor fontColor = platform::clBlack)
{
    auto* p = named(new TPanel(parent), name, r);
    p->setFont(consoleFont(12));
    p->setCaption(caption);
    p->setColor(face);
    p->setFontColor(fontColor);
    return p;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text, const QRect& r)
{
    auto* c = named(new QCheckBox(text, parent), name, r);
    c->setFont(consoleFont(12));
    setTextColor(c, platform::clWhite);
    return c;
}

TRadioGroup* makeRadio(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
    const QRect& r, int columns)
{
    auto* g = named(new TRadioGroup(caption, items, parent, columns), name, r);
    g->setFont(consoleFont(12));
    setTextColor(g, platform::clWhite);
    for (int i = 0; i < g->count(); ++i)
        setTextColor(g->Button(i), platform::clWhite);
    return g;
}

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, const QRect& r)
{
    auto* m = named(new QPlainTextEdit(parent), name, r);
    m->setFont(consoleFont(12));
    return m;
}

QWidget* makePage(QTabWidget* tabs, const char* name, const QString& caption)
{
    auto* page = named(new QWidget, name);
    page->setAutoFillBackground(true);
    components::setPaletteColor(page, QPalette::Window, platform::clBlack);
    tabs->addTab(page, caption);
    return page;
}

// The six digits of one phase row with the colons and the decimal point between them. The row
// shows the hour units, minute tens and units, second tens and units, and the tenths.
std::array<TLED7Seg*, 6> makeLedRow(QWidget* parent, const std::array<const char*, 6>& names, int x, int y)
{
    constexpr int w = 54, h = 90, step = 58, colon = 22;
    const int xs[6] = { x, x + step + colon, x + 2 * step + colon, x + 3 * step + 2 * colon,
        x + 4 * step + 2 * colon, x + 5 * step + 2 * colon + 8 };
    std::array<TLED7Seg*, 6> row {};
    for (int i = 0; i < 6; ++i) {
        auto* seg = named(new TLED7Seg(parent), names[static_cast<size_t>(i)], QRect(xs[i], y, w, h));
        seg->setSegClear(0x00202020);
        seg->setBdrColor(0x00202020);
        seg->setPeriod(i == 4);
        seg->Loaded();
        row[static_cast<size_t>(i)] = seg;
    }
    for (int c : { xs[0] + step - 2, xs[2] + step - 2 }) {
        auto* dot = Caption(parent, QStringLiteral(":"), QRect(c, y + 10, colon, h - 20), 0x00404040, 60);
        dot->setAlignment(Qt::AlignCenter);
    }
    return row;
}

} // namespace

void TFtaikai::buildForm()
{
    setObjectName(QStringLiteral("Ftaikai"));
    setWindowTitle(QStringLiteral("大会コントロール"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);
    setFont(consoleFont(12));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    resize(kWindowSize);

    PageControl1 = named(new QTabWidget(this), "PageControl1", QRect(0, 0, 997, 633));
    PageControl1->setFont(consoleFont(12));
    PageControl1->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { width: 116px; height: %1px; background: #303030; color: white;"
                       " border: 1px solid #808080; border-bottom: none; margin-right: 2px; }"
                       "QTabBar::tab:selected { background: black; color: yellow; }")
            .arg(TabHeight - 1));
    PageControl1->setStyleSheet(QStringLiteral("QTabWidget::pane { border: 1px solid #808080; }"));

    TabSheet1 = makePage(PageControl1, "TabSheet1", QStringLiteral("コントロール"));
    TabSheet2 = makePage(PageControl1, "TabSheet2", QStringLiteral("音声セット"));
    TabSheet4 = makePage(PageControl1, "TabSheet4", QStringLiteral("ﾚｰｽｲﾝﾌｫﾒｰｼｮﾝ"));
    TabSheet5 = makePage(PageControl1, "TabSheet5", QStringLiteral("設定"));
    TabSheet3 = makePage(PageControl1, "TabSheet3", QStringLiteral("音声チェック"));
    // The sound check page stays out of sight until the operator asks for it.
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), false);

    buildControlPage();
    buildSoundSetPage();
    buildRaceInfoPage();
    buildSettingsPage();
    buildSoundCheckPage();

    // The "×" sits in the row of the tabs, right of them, above the pages' frame (placed by
    // resizeEvent).
    CuteButton13 = makeButton(this, "CuteButton13", QStringLiteral("×"),
        QRect(0, 0, CloseButtonWidth, TabHeight), platform::clBlack, platform::clYellow, 27);
    CuteButton13->raise();

    // Problems met while the console runs (a port that does not open, a board that takes no data,
    // a cue that fails) are said here, never in a box that would stop the count-down. The time in
    // front tells news from a message left over from an earlier race.
    StatusTime = makeLabel(
        this, "StatusTime", QString(), QRect(4, StatusTop, StatusTimeWidth, 20), platform::clYellow, 13);
    StatusTime->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StatusLine = makeLabel(this, "StatusLine", QString(),
        QRect(StatusTextLeft, StatusTop, 993 - StatusTextLeft, 20), platform::clYellow, 13);
    StatusLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Tm1.setObjectName(QStringLiteral("Tm1"));
    Tm1.setInterval(100);
    tmr2.setObjectName(QStringLiteral("tmr2"));
    tmr2.setInterval(100);
    Tmr3.setObjectName(QStringLiteral("Tmr3"));
    Tmr3.setInterval(250);
    Tms.setObjectName(QStringLiteral("Tms"));
    Tms.setInterval(250);
}

void TFtaikai::fitToFrame()
{
    // The window manager adds its frame around the inside: once the frame is known, the inside
    // shrinks so that the window as a whole keeps its size.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize inside = kWindowSize - frame;
    if (!frame.isNull() && size() != inside)
        resize(inside);
}

void TFtaikai::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (!PageControl1 || !StatusLine || !CuteButton13)
        return;
    PageControl1->resize(width(), PageControl1->height());
    CuteButton13->move(width() - CloseButtonWidth - 2, 0);
    StatusLine->resize(width() - 4 - StatusTextLeft, StatusLine->height());
    fitToFrame();
}

void TFtaikai::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    fitToFrame();
}

void TFtaikai::buildControlPage()
{
    QWidget* p = TabSheet1;
    const TColor phaseColor = platform::clWhite;
    struct Row {
        const char* title;
        std::array<const char*, 6> segs;
        const char* picker;
    };
    const Row rows[3] = {
        { "ウォームアップ", { "Seg1", "Seg2", "Seg3", "Seg4", "Seg5", "Seg6" }, "DTP1" },
        { "レース", { "Seg21", "Seg22", "Seg23", "Seg24", "Seg25", "Seg26" }, "DTP2" },
        { "オーバータイム", { "Seg31", "Seg32", "Seg33", "Seg34", "Seg35", "Seg36" }, "DTP3" },
    };
    std::array<QTimeEdit*, 3> pickers {};
    for (int i = 0; i < 3; ++i) {
        const int y = 10 + i * 112;
        Caption(p, QString::fromUtf8(rows[i].title), QRect(10, y + 4, 150, 24), phaseColor, 20);
        Caption(p, QStringLiteral("設定時間"), QRect(10, y + 40, 60, 20));
        pickers[static_cast<size_t>(i)] = makeTime(p, rows[i].picker, QRect(10, y + 60, 110, 26), 14);
        const auto row = makeLedRow(p, rows[i].segs, 170, y);
        (i == 0 ? SegWarm : i == 1 ? SegRace : SegOver) = row;
    }
    DTP1 = pickers[0];
    DTP2 = pickers[1];
    DTP3 = pickers[2];

    CuteButton1 = makeButton(p, "CuteButton1", QStringLiteral("スタート"), QRect(600, 10, 180, 62),
        platform::clLime, platform::clBlack, 22);
    CuteButton2 = makeButton(p, "CuteButton2", QStringLiteral("ストップ"), QRect(600, 80, 180, 62),
        platform::clRed, platform::clWhite, 22);
    CuteButton5 = makeButton(p, "CuteButton5", QStringLiteral("リセット"), QRect(600, 150, 180, 62),
        platform::clSilver, platform::clBlack, 22);

    RGgaz = makeRadio(p, "RGgaz", QStringLiteral("表示ボード"),
        { QStringLiteral("ON"), QStringLiteral("OFF") }, QRect(800, 10, 184, 48), 2);
    RGgaz->setItemIndex(1);
    CTBa = makeButton(p, "CTBa", QStringLiteral("オート"), QRect(800, 66, 88, 34), platform::clBlack,
        platform::clWhite, 14);
    CTBm = makeButton(p, "CTBm", QStringLiteral("マニュアル"), QRect(896, 66, 88, 34), platform::clYellow,
        platform::clBlue, 14);
    DTPauto = makeTime(p, "DTPauto", QRect(800, 106, 110, 26), 14);
    DTPauto->setToolTip(QStringLiteral("インターバル"));
    DTPauto->hide();
    Label31 = makeLabel(
        p, "Label31", QStringLiteral("00:00:00"), QRect(800, 136, 120, 30), platform::clYellow, 22);
    Label31->hide();
    CuteButton22 = makeButton(p, "CuteButton22", QStringLiteral("Reset"), QRect(926, 138, 58, 26));
    CuteButton22->hide();

    Caption(p, QStringLiteral("ランダムスタート"), QRect(600, 224, 180, 18));
    DTP4 = makeTime(p, "DTP4", QRect(600, 244, 100, 26), 14);
    Edit1 = makeEdit(p, "Edit1", QStringLiteral("0"), QRect(708, 244, 72, 26));
    Edit1->setReadOnly(true);
    Edit1->setAlignment(Qt::AlignRight);

    Caption(p, QStringLiteral("シグナル"), QRect(800, 224, 180, 18));
    const char* lampNames[6] = { "PLd1", "PLd2", "PLd3", "PLd4", "PLd5", "PLds" };
    const QString lampCaptions[6] = { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
        QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("S") };
    for (int i = 0; i < 6; ++i)
        PLd[static_cast<size_t>(i)]
            = makePanel(p, lampNames[i], lampCaptions[i], QRect(800 + i * 31, 244, 29, 26), platform::clGray);

    // Hidden read-outs and diagnostics.
    const char* lbNames[5] = { "Lb1", "Lb2", "Lb3", "Lb4", "Lb5" };
    for (int i = 0; i < 5; ++i) {
        Lb[static_cast<size_t>(i)]
            = makeLabel(p, lbNames[i], QStringLiteral("0:00"), QRect(600 + i * 40, 276, 38, 16));
        Lb[static_cast<size_t>(i)]->hide();
    }
    Edit6 = makeEdit(p, "Edit6", QString(), QRect(600, 296, 120, 22));
    Edit7 = makeEdit(p, "Edit7", QString(), QRect(724, 296, 120, 22));
    Edit8 = makeEdit(p, "Edit8", QString(), QRect(848, 296, 120, 22));
    Label30 = makeLabel(p, "Label30", QString(), QRect(600, 322, 120, 18));
    CkBauto = makeCheck(p, "CkBauto", QStringLiteral("自動運用"), QRect(724, 322, 100, 18));
    Button1 = named(new QPushButton(QStringLiteral("Reset"), p), "Button1", QRect(848, 322, 60, 22));
    CuteButton23 = makeButton(p, "CuteButton23", QStringLiteral("Pre"), QRect(912, 322, 60, 22));
    for (QWidget* w :
        std::initializer_list<QWidget*> { Edit6, Edit7, Edit8, Label30, CkBauto, Button1, CuteButton23 })
        w->hide();

    // Current and next schedule item.
    Panel15 = makePanel(p, "Panel15", QString(), QRect(10, 350, 770, 246), platform::clBlack);
    Caption(Panel15, QStringLiteral("現在"), QRect(12, 10, 60, 26), platform::clWhite, 20);
    Label11 = makeLabel(
        Panel15, "Label11", QStringLiteral("0:00:00"), QRect(80, 4, 260, 46), platform::clLime, 40);
    Label33 = makeLabel(Panel15, "Label33", QString(), QRect(12, 60, 746, 40), platform::clYellow, 30);
    Caption(Panel15, QStringLiteral("次の予定"), QRect(12, 116, 120, 24), platform::clWhite, 20);
    Label15 = makeLabel(Panel15, "Label15", QString(), QRect(140, 116, 300, 24), platform::clWhite, 20);
    Label14 = makeLabel(Panel15, "Label14", QString(), QRect(12, 150, 746, 40), platform::clAqua, 30);
    for (QLabel* l : { Label33, Label14, Label15 })
        l->setAutoFillBackground(true);

    Caption(p, QStringLiteral("受信データ"), QRect(792, 350, 190, 16));
    Memo2 = makeMemo(p, "Memo2", QRect(792, 368, 192, 104));
    Memo2->setReadOnly(true);
    Caption(p, QStringLiteral("音声キュー"), QRect(792, 476, 190, 16));
    Memo1 = makeMemo(p, "Memo1", QRect(792, 494, 192, 102));
    Memo1->setReadOnly(true);
}

void TFtaikai::buildSoundSetPage()
{
    QWidget* p = TabSheet2;
    struct Column {
        const char* title;
        const char* grid;
        const char* picker;
        const char* box;
        const char* set;
        const char* test;
        const char* gridMenu;
        const char* gridItem;
        const char* boxItem;
        platform::DataSource* source;
    };
    TDM1* dm = m_dev.dm;
    const Column cols[4] = {
        { "ウォームアップタイム", "DBGrid1", "DTP21", "Ed21", "CuteButton3", "CuteButton7", "PopupMenu4",
            "MenuItem1", "Open1", dm ? dm->DSwarm : nullptr },
        { "レースタイム", "DBGrid2", "DTP22", "Ed22", "CuteButton4", "CuteButton8", "PopupMenu5", "MenuItem2",
            "Open2", dm ? dm->DSrace : nullptr },
        { "オーバータイム", "DBGrid3", "DTP23", "Ed23", "CuteButton6", "CuteButton9", "PopupMenu6",
            "MenuItem3", "Open3", dm ? dm->DSover : nullptr },
        { "インターバルタイム", "DBGrid5", "DTP24", "Ed24", "CuteButton24", "CuteButton25", "PopupMenu8",
            "N1", "N2", dm ? dm->DSint : nullptr },
    };
    Caption(p, QStringLiteral("－＞ 現在の設定 －＞"), QRect(10, 92, 300, 18), platform::clYellow);
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<size_t>(i);
        const int x = 10 + i * 245;
        Caption(p, QString::fromUtf8(cols[i].title), QRect(x, 8, 236, 20), platform::clYellow, 16);
        CueTimes[k] = makeTime(p, cols[i].picker, QRect(x, 34, 92, 24));
        CueSetButtons[k] = makeButton(p, cols[i].set, QStringLiteral("セット"), QRect(x + 98, 34, 66, 24));
        CueTestButtons[k] = makeButton(p, cols[i].test, QStringLiteral("再生"), QRect(x + 170, 34, 66, 24));
        CueFiles[k] = makeEdit(p, cols[i].box, QString(), QRect(x, 62, 236, 24));
        // The grid's row is its query's cursor: the double-click and the delete read that row.
        CueGrids[k] = named(new TDBGrid(cols[i].source, p), cols[i].grid, QRect(x, 112, 236, 420));
        CueGrids[k]->setFont(consoleFont(12));
        CueGrids[k]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        CueGrids[k]->setColumns({ { QStringLiteral("tno"), QStringLiteral("時刻"), 64 },
            { QStringLiteral("mname"), QStringLiteral("ファイル"), 160 } });
        CueGrids[k]->horizontalHeader()->setStretchLastSection(true);
        CueGrids[k]->setContextMenuPolicy(Qt::CustomContextMenu);
        CueFiles[k]->setContextMenuPolicy(Qt::CustomContextMenu);

        CueGridMenus[k] = named(new QMenu(p), cols[i].gridMenu);
        named(CueGridMenus[k]->addAction(QStringLiteral("削除")), cols[i].gridItem);
        CueFileMenus[k] = new QMenu(p);
        named(CueFileMenus[k]->addAction(QStringLiteral("開く")), cols[i].boxItem);
    }
    CuteButton10 = makeButton(p, "CuteButton10", QStringLiteral("サウンドSTOP"), QRect(10, 546, 150, 40),
        platform::clRed, platform::clWhite, 14);
    CuteButton21 = makeButton(p, "CuteButton21", QStringLiteral("を標準設定に"), QRect(690, 546, 140, 40));
    CuteButton20 = makeButton(p, "CuteButton20", QStringLiteral("標準設定から"), QRect(838, 546, 140, 40));
    // The delay box is there for the service technician only: black on black, without a frame.
    Eddelay = makeEdit(p, "Eddelay", QStringLiteral("1"), QRect(400, 554, 40, 24));
    Eddelay->setFrame(false);
    Eddelay->setStyleSheet(QStringLiteral("QLineEdit { background: black; color: black; }"));
    Panel14 = makePanel(p, "Panel14", QStringLiteral("タイマー カウント中はこの画面の処理は出来ません。"),
        QRect(0, 0, 640, 60), platform::clBlack, platform::clYellow);
    Panel14->setFont(consoleFont(20, true));
    Panel14->hide();
}

void TFtaikai::buildRaceInfoPage()
{
    QWidget* p = TabSheet4;
    TDM1* dm = m_dev.dm;
    Caption(p, QStringLiteral("表内データを右クリックすると「設定」ボタンが表示され変更する事が出来ます。"),
        QRect(10, 6, 560, 16), platform::clYellow);
    // The grid's row is Qrmenu's current row: the commands act on the row the operator selected.
    DBGrid4 = named(new TDBGrid(dm ? dm->DSrmenu : nullptr, p), "DBGrid4", QRect(10, 26, 560, 474));
    DBGrid4->setFont(consoleFont(12));
    DBGrid4->horizontalHeader()->setFont(consoleFont(12));
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    DBGrid4->setColumns({ { QStringLiteral("btime"), QStringLiteral("開始"), 70, right },
        { QStringLiteral("kara"), QStringLiteral("～"), 24, Qt::AlignCenter },
        { QStringLiteral("etime"), QStringLiteral("終了"), 70, right }, { QString(), QString(), 8 },
        { QStringLiteral("rmenu"), QStringLiteral("内容"), 300 } });
    DBGrid4->dataModel()->setAlignment(0, right);
    DBGrid4->dataModel()->setAlignment(1, Qt::AlignCenter);
    DBGrid4->dataModel()->setAlignment(2, right);
    DBGrid4->horizontalHeader()->setStretchLastSection(true);
    DBGrid4->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu7 = new QMenu(p);
    PopupMenu7->setObjectName(QStringLiteral("PopupMenu7"));
    edt = PopupMenu7->addAction(QStringLiteral("変更"));
    N7 = PopupMenu7->addSeparator();
    N3 = PopupMenu7->addAction(QStringLiteral("ヒート順序変更"));
    N4 = PopupMenu7->addAction(QStringLiteral("ラウンド削除"));
    N5 = PopupMenu7->addAction(QStringLiteral("ヒートの追加"));
    N6 = PopupMenu7->addAction(QStringLiteral("ヒートの削除"));
    for (auto [a, n] :
        { std::pair { edt, "edt" }, { N7, "N7" }, { N3, "N3" }, { N4, "N4" }, { N5, "N5" }, { N6, "N6" } })
        named(a, n);
    Edit4 = makeEdit(p, "Edit4", QString(), QRect(10, 506, 560, 22));
    Edit4->hide();

    Caption(p, QStringLiteral("開始時刻"), QRect(584, 30, 64, 20));
    DTPb = makeTime(p, "DTPb", QRect(652, 26, 100, 26), 14);
    Caption(p, QStringLiteral("時間"), QRect(584, 62, 64, 20));
    DTPe = makeTime(p, "DTPe", QRect(652, 58, 100, 26), 14);
    Caption(p, QStringLiteral("内容"), QRect(584, 94, 64, 20));
    Edit2 = makeEdit(p, "Edit2", QString(), QRect(652, 90, 328, 26));
    Edit2->setMaxLength(24);
    CkBround = makeCheck(p, "CkBround", QStringLiteral("ラウンドとして登録"), QRect(584, 124, 170, 22));
    Panel16 = makePanel(p, "Panel16", QString(), QRect(760, 120, 220, 34), platform::clBlack);
    CTBedi = makeButton(Panel16, "CTBedi", QStringLiteral("設定"), QRect(4, 3, 100, 28), platform::clYellow,
        platform::clBlue, 14);
    CTBedi->hide();
    CTBins = makeButton(Panel16, "CTBins", QStringLiteral("挿入"), QRect(114, 3, 100, 28), platform::clSilver,
        platform::clBlack, 14);
    CTBins->hide();

    Panel13 = makePanel(p, "Panel13", QString(), QRect(584, 154, 396, 66), platform::clBlack);
    Caption(Panel13, QStringLiteral("ラウンド"), QRect(8, 8, 64, 20));
    SEdround = named(new QSpinBox(Panel13), "SEdround", QRect(74, 6, 60, 24));
    SEdround->setRange(0, 100);
    Caption(Panel13, QStringLiteral("表記"), QRect(144, 8, 40, 20));
    CBxround = named(new QComboBox(Panel13), "CBxround", QRect(186, 6, 200, 24));
    CBxround->setEditable(true);
    Caption(Panel13, QStringLiteral("ヒート数"), QRect(8, 38, 64, 20));
    SEdheat = named(new QSpinBox(Panel13), "SEdheat", QRect(74, 36, 60, 24));
    SEdheat->setRange(-999, 999);
    Caption(Panel13, QStringLiteral("表記"), QRect(144, 38, 40, 20));
    CBxheat = named(new QComboBox(Panel13), "CBxheat", QRect(186, 36, 200, 24));
    CBxheat->setEditable(true);
    Panel13->hide();

    CTBadd = makeButton(p, "CTBadd", QStringLiteral("追加"), QRect(584, 228, 120, 32), platform::clLime,
        platform::clBlack, 14);
    CTBdel = makeButton(p, "CTBdel", QStringLiteral("削除"), QRect(860, 228, 120, 32), platform::clRed,
        platform::clWhite, 14);
    CTBdel->hide();
    CuteButton17
        = makeButton(p, "CuteButton17", QStringLiteral("標準データに登録"), QRect(584, 272, 194, 30));
    CuteButton18
        = makeButton(p, "CuteButton18", QStringLiteral("標準データ呼び出し"), QRect(786, 272, 194, 30));
    CuteButton15 = makeButton(p, "CuteButton15", QStringLiteral("印刷"), QRect(584, 314, 90, 34));
    CuteButton16 = makeButton(p, "CuteButton16", QStringLiteral("ﾍｯﾀﾞｰ･ﾌｯﾀｰ"), QRect(680, 314, 110, 34));
    RGrang = makeRadio(p, "RGrang", QString(), { QStringLiteral("JPN"), QStringLiteral("ENG.") },
        QRect(800, 308, 180, 42), 2);
    RGrang->setItemIndex(0);

    Caption(p, QStringLiteral("インフォメーション"), QRect(584, 360, 200, 18), platform::clYellow);
    DBMemo1 = named(new TDBMemo(m_dev.dm ? m_dev.dm->DStaikai : nullptr, QStringLiteral("tmem"), p),
        "DBMemo1", QRect(584, 380, 396, 150));
    DBMemo1->setFont(consoleFont(12));
    CuteButton14
        = makeButton(p, "CuteButton14", QStringLiteral("ｲﾝﾌｫﾒｰｼｮﾝ 表示切り替え"), QRect(584, 538, 220, 34));
    Lbdp = makeLabel(p, "Lbdp", QStringLiteral("*** 外部モニタへ表示中 ***"), QRect(584, 578, 396, 20),
        platform::clYellow, 14);
    Lbdp->hide();
}

void TFtaikai::buildSettingsPage()
{
    QWidget* p = TabSheet5;
    Caption(p, QStringLiteral("On 時刻"), QRect(84, 8, 90, 18));
    Caption(p, QStringLiteral("OFF 時刻"), QRect(264, 8, 90, 18));
    const char* onPickers[6]
        = { "DTPsigon1", "DTPsigon2", "DTPsigon3", "DTPsigon4", "DTPsigon5", "DTPsigons" };
    const char* offPickers[5] = { "DTPsigoff1", "DTPsigoff2", "DTPsigoff3", "DTPsigoff4", "DTPsigoff5" };
    const char* onButtons[6] = { "CBrson1", "CBrson2", "CBrson3", "CBrson4", "CBrson5", "CBrsonS" };
    const char* offButtons[6] = { "CBrsof1", "CBrsof2", "CBrsof3", "CBrsof4", "CBrsof5", "CBrsofS" };
    const char* lamps[6] = { "Pnl1", "Pnl2", "Pnl3", "Pnl4", "Pnl5", "Pnl6" };
    for (int i = 0; i < 6; ++i) {
        const auto k = static_cast<size_t>(i);
        const int y = 28 + i * 34;
        const bool start = i == 5;
        Caption(p, start ? QStringLiteral("スタート") : QStringLiteral("シグナル %1").arg(i + 1),
            QRect(10, y + 4, 70, 18));
        DTPsig[static_cast<size_t>(start ? SlotOnStart : SlotOn1 + i)]
            = makeTime(p, onPickers[i], QRect(84, y, 92, 26));
        CBrson[k] = makeButton(p, onButtons[i], start ? QStringLiteral("START") : QStringLiteral("ON"),
            QRect(182, y, 70, 26), platform::clYellow, platform::clBlue);
        if (start)
            DTPsigoffs = makeTime(p, "DTPsigoffs", QRect(264, y, 92, 26));
        else
            DTPsig[static_cast<size_t>(SlotOff1 + i)] = makeTime(p, offPickers[i], QRect(264, y, 92, 26));
        CBrsof[k] = makeButton(p, offButtons[i], start ? QStringLiteral("ALL  OFF") : QStringLiteral("OFF"),
            QRect(362, y, 70, 26), platform::clGray, platform::clWhite);
        Pnl[k] = makePanel(p, lamps[i], QString(), QRect(440, y, 36, 26), platform::clGray);
    }
    Caption(p, QStringLiteral("Start 時刻"), QRect(84, 232, 92, 16));
    Caption(p, QStringLiteral("ALL OFF 時刻"), QRect(264, 232, 92, 16));

    CuteButton19 = makeButton(p, "CuteButton19", QStringLiteral("初期化"), QRect(10, 262, 110, 40));
    RGcont = makeRadio(p, "RGcont", QStringLiteral("OFF のコントロール"),
        { QStringLiteral("スタート前"), QStringLiteral("スタート後") }, QRect(132, 256, 344, 48), 2);
    Caption(p, QStringLiteral("ブラインドタイム"), QRect(10, 322, 110, 18));
    DTP = makeTime(p, "DTP", QRect(132, 318, 92, 26));

    RGbrate = makeRadio(p, "RGbrate", QStringLiteral("D-Line ﾎﾞｰﾚｲﾄ"),
        { QStringLiteral("2400"), QStringLiteral("9600") }, QRect(500, 8, 220, 48), 2);
    Caption(p, QStringLiteral("明るさ"), QRect(500, 70, 50, 18));
    TBarbright = named(new QSlider(Qt::Horizontal, p), "TBarbright", QRect(552, 66, 200, 26));
    TBarbright->setRange(1, 9);
    TBarbright->setValue(1);
    TBarbright->setTickPosition(QSlider::TicksBelow);
    // One mark per level: left to the style, a range starting at 1 gets only its first mark.
    TBarbright->setTickInterval(1);
    // The marks take a shade of the window and highlight colours, dark on this black page.
    QPalette sliderPalette = TBarbright->palette();
    for (QPalette::ColorRole role : { QPalette::Window, QPalette::Highlight })
        sliderPalette.setColor(role, platform::colorFromRef(platform::clSilver));
    TBarbright->setPalette(sliderPalette);
    CuteButton26 = makeButton(p, "CuteButton26", QStringLiteral("Set"), QRect(762, 64, 64, 28));
    const char* tests[5] = { "CuteButton27", "CuteButton28", "CuteButton29", "CuteButton30", "CuteButton31" };
    const QString testCaptions[5] = { QStringLiteral("All Null"), QStringLiteral("All 8"),
        QStringLiteral("1 to 0"), QStringLiteral("All 1 to 0"), QStringLiteral("A to Z") };
    std::array<TCuteButton*, 5> testButtons {};
    for (int i = 0; i < 5; ++i)
        testButtons[static_cast<size_t>(i)]
            = makeButton(p, tests[i], testCaptions[i], QRect(500 + i * 96, 104, 90, 28));
    CuteButton27 = testButtons[0];
    CuteButton28 = testButtons[1];
    CuteButton29 = testButtons[2];
    CuteButton30 = testButtons[3];
    CuteButton31 = testButtons[4];
    CuteButton11 = makeButton(p, "CuteButton11", QStringLiteral("Test1"), QRect(836, 64, 60, 28));
    CuteButton12 = makeButton(p, "CuteButton12", QStringLiteral("Test2"), QRect(900, 64, 60, 28));
    CuteButton11->hide();
    CuteButton12->hide();
    Caption(p, QStringLiteral("表示ボード 先頭文字"), QRect(500, 146, 130, 18));
    Edit11 = makeEdit(p, "Edit11", QString(), QRect(636, 142, 60, 24));

    Caption(p, QStringLiteral("タイマーストップ中は時刻を表示"), QRect(500, 180, 300, 18));
    CkBwup = makeCheck(p, "CkBwup", QStringLiteral("ウォームアップ中"), QRect(500, 202, 130, 22));
    CkBrace = makeCheck(p, "CkBrace", QStringLiteral("レース中"), QRect(636, 202, 100, 22));
    CkBover = makeCheck(p, "CkBover", QStringLiteral("オーバータイム中"), QRect(742, 202, 140, 22));

    Panel17
        = makePanel(p, "Panel17", QString(), QRect(500, 240, 484, 96), platform::clBlack, platform::clYellow);
    Panel17->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    Panel17->setMargin(6);
    Caption(Panel17, QStringLiteral("サーバ名"), QRect(10, 14, 60, 18));
    Edit9 = makeEdit(Panel17, "Edit9", QString(), QRect(72, 10, 190, 26));
    Caption(Panel17, QStringLiteral("ポート"), QRect(272, 14, 44, 18));
    Edit10 = makeEdit(Panel17, "Edit10", QString(), QRect(318, 10, 70, 26));
    Button2 = named(new QPushButton(QStringLiteral("接続"), Panel17), "Button2", QRect(398, 10, 76, 26));
    Button2->setFont(consoleFont(12));

    Edit3 = makeEdit(p, "Edit3", QStringLiteral("100"), QRect(10, 360, 50, 22));
    Edit5 = makeEdit(p, "Edit5", QStringLiteral("3"), QRect(70, 360, 50, 22));
    Edit3->hide();
    Edit5->hide();
}

void TFtaikai::buildSoundCheckPage()
{
    QWidget* p = TabSheet3;
    struct Bank {
        const char* title;
        const char* prefix;
        int count;
    };
    const Bank banks[4] = { { "ウォームアップ", "MP", 13 }, { "レース", "MPt", 14 },
        { "オーバータイム", "MPo", 9 }, { "インターバル", "MPi", 3 } };
    // The players are made after the pages; the sound handlers give each view its player.
    for (int b = 0; b < 4; ++b) {
        const int y = 10 + b * 90;
        Caption(p, QString::fromUtf8(banks[b].title), QRect(10, y, 200, 18), platform::clYellow);
        for (int i = 0; i < banks[b].count; ++i) {
            const QString name = QLatin1String(banks[b].prefix) + QString::number(i + 1);
            auto* view = new CuePlayerView(name, nullptr, p);
            view->setGeometry(10 + i * 69, y + 22, 64, 56);
            PlayerViews.push_back(view);
        }
    }
}

void TFtaikai::buildDevices()
{
    CommX1 = new TCommX(this);
    CommX1->setObjectName(QStringLiteral("CommX1"));
    std::array<Trs232c*, 3> ports {};
    for (int i = 0; i < 3; ++i) {
        auto* port = new Trs232c(this);
        port->setObjectName(QStringLiteral("rs232c%1").arg(i + 1));
        ports[static_cast<size_t>(i)] = port;
    }
    rs232c1 = ports[0];
    rs232c2 = ports[1];
    rs232c3 = ports[2];

    if (!m_dev.signalLines) {
        m_ownSignals = std::make_unique<Rs232cSignalLines>(ports);
        m_dev.signalLines = m_ownSignals.get();
    }
    if (!m_dev.monitor) {
        m_ownMonitor = std::make_unique<MonitorFileWriter>();
        m_dev.monitor = m_ownMonitor.get();
    }
    if (!m_dev.random) {
        m_ownRandom = std::make_unique<SystemRandomSource>();
        m_dev.random = m_ownRandom.get();
    }
    if (!m_dev.sleeper) {
        m_ownSleeper = std::make_unique<ThreadSleeper>();
        m_dev.sleeper = m_ownSleeper.get();
    }
    if (!m_dev.scheduler) {
        m_ownScheduler = std::make_unique<QtScheduler>(*this);
        m_dev.scheduler = m_ownScheduler.get();
    }
    if (!m_dev.board) {
        m_ownBoard = std::make_unique<CommXBoardPort>(*CommX1, *m_dev.scheduler);
        m_dev.board = m_ownBoard.get();
    }
    if (!m_dev.makeCuePlayer) {
        m_dev.makeCuePlayer = [](const QString&) { return std::make_unique<MediaCuePlayer>(); };
        // The first cue of the day then starts as promptly as the rest.
        platform::prepareSound();
    }
    auto fill = [this](auto& bank, const char* prefix) {
        for (size_t i = 0; i < bank.size(); ++i)
            bank[i] = m_dev.makeCuePlayer(QLatin1String(prefix) + QString::number(i + 1));
    };
    fill(MP, "MP");
    fill(MPt, "MPt");
    fill(MPo, "MPo");
    fill(MPi, "MPi");
}

} // namespace console
