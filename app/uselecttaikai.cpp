#include "app/uselecttaikai.h"

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "components/FormParts.h"
#include "platform/Asker.h"
#include "platform/Clock.h"
#include "platform/DataSet.h"
#include "platform/SqlDialect.h"
#include "platform/TavoApplication.h"
#include "platform/TypedText.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <memory>
#include <optional>

std::function<void(QWidget* owner)> OpenRaceConsole;

namespace {

const int kClientWidth = 688;
const int kClientHeight = 400;

const QString kAdd = QStringLiteral("TIKIADD");
const QString kEdit = QStringLiteral("TIKIEDIT");
const QString kDel = QStringLiteral("TIKIDEL");
const QString kZeroTime = QStringLiteral("0:00:00");

// There is no database server to look for: the cause, with the file, follows on the next line.
const QString kConnectionFailure = QStringLiteral("データベースに接続できません。");
const QString kDuplicateCode = QStringLiteral("大会コードが重複しています。");
const QString kDateFull = QStringLiteral(
    "この開催日の大会は既に9件登録されています。\n一つの開催日に登録できる大会は9件までです。");
const QString kBadSequenceDigit = QStringLiteral("連番には1から9の数字を一文字で入力してください。");
const QString kTnowMissing = QStringLiteral("Tnowが見つかりません。");

struct ModeColors {
    platform::TColor rest;
    platform::TColor focused;
};

ModeColors colorsOf(const QString& mode)
{
    if (mode == kAdd)
        return { 0x00FF8080, 0x00FFFF80 };
    if (mode == kEdit)
        return { 0x0080FF80, 0x0007F80E };
    return { 0x008080FF, 0x008CDFFB };
}

components::TCuteButton* makeButton(QWidget* parent, const char* name, const QString& caption,
    platform::TColor face, platform::TColor text, const QRect& geometry, int pixelSize = 12)
{
    return components::makeButton(parent, name, caption, geometry,
        { face, text, components::resizedFont(parent->font(), pixelSize, pixelSize > 12) });
}

QFrame* makePanel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* panel = components::named(new QFrame(parent), name, geometry);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    return panel;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QPoint& at)
{
    auto* label = components::named(new QLabel(caption, parent), name);
    label->move(at);
    label->adjustSize();
    return label;
}

// A statement whose rows the maintenance panel shows rather than executes.
bool returnsRows(const QString& statement)
{
    const QString word = statement.trimmed().section(QRegularExpression(QStringLiteral("\\s")), 0, 0);
    return word.compare(QLatin1String("select"), Qt::CaseInsensitive) == 0
        || word.compare(QLatin1String("with"), Qt::CaseInsensitive) == 0;
}

// Date of a 'yyyy/mm/dd' text as statements write it, cut by position: mm/dd/yyyy.
QString statementDate(const QString& shortDateText)
{
    return shortDateText.mid(5, 5) + QLatin1Char('/') + shortDateText.mid(0, 4);
}

} // namespace

TFselecttaikai::TFselecttaikai(QWidget* owner, const platform::Clock& clock)
    : QDialog(owner)
    , m_clock(&clock)
{
    setObjectName(QStringLiteral("Fselecttaikai"));
    setWindowTitle(QStringLiteral("大会選択"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
    setFont(platform::formFont());
    setFixedSize(kClientWidth, kClientHeight);

    DataSource1 = new platform::DataSource(nullptr, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DBGrid1 = new TDBGrid(DataSource1, this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 8, 356, kClientHeight - 16);
    // 66 pixels hold a nine-digit code in the forms' own font; where the substitute font's digits
    // are wider, the column grows so that codes are never cut off.
    const int codeWidth
        = std::max(66, DBGrid1->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 8);
    DBGrid1->setColumns({ { QStringLiteral("TCODE"), QStringLiteral("大会コード"), codeWidth },
        { QStringLiteral("TNAME"), QStringLiteral("タイトル"), 180 },
        { QStringLiteral("TDATE"), QStringLiteral("開催日"), 80, Qt::AlignCenter } });
    DBGrid1->OnDblClick = [this] { DBGrid1DblClick(); };

    using namespace platform;
    CuteButton1
        = makeButton(this, "CuteButton1", QStringLiteral("選択"), clBlue, clWhite, { 368, 8, 145, 41 }, 16);
    CuteButton6
        = makeButton(this, "CuteButton6", QStringLiteral("×"), clBlack, clWhite, { 648, 8, 32, 32 }, 16);
    bAdd = makeButton(
        this, "bAdd", QStringLiteral("新規登録"), colorsOf(kAdd).rest, clBlack, { 368, 60, 96, 30 });
    bEdit = makeButton(
        this, "bEdit", QStringLiteral("修正"), colorsOf(kEdit).rest, clBlack, { 472, 60, 96, 30 });
    bDel
        = makeButton(this, "bDel", QStringLiteral("削除"), colorsOf(kDel).rest, clBlack, { 576, 60, 96, 30 });

    pTikiEdit = makePanel(this, "pTikiEdit", { 368, 100, 312, 184 });
    Panel1 = makePanel(pTikiEdit, "Panel1", { 8, 8, 296, 62 });
    lTCode = makeLabel(Panel1, "lTCode", QStringLiteral("開催日"), { 8, 8 });
    DTP1 = new QDateEdit(Panel1);
    DTP1->setObjectName(QStringLiteral("DTP1"));
    DTP1->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    DTP1->setCalendarPopup(true);
    DTP1->setGeometry(8, 28, 120, 24);
    Edit2 = new QLineEdit(Panel1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setMaxLength(1);
    Edit2->setAlignment(Qt::AlignCenter);
    Edit2->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[1-9]")), Edit2));
    Edit2->setGeometry(134, 28, 22, 24);

    Panel2 = makePanel(pTikiEdit, "Panel2", { 8, 76, 296, 62 });
    lTName = makeLabel(Panel2, "lTName", QStringLiteral("大会名"), { 8, 8 });
    eTName = new QLineEdit(Panel2);
    eTName->setObjectName(QStringLiteral("eTName"));
    eTName->setGeometry(8, 28, 280, 24);

    Btouroku = makeButton(
        pTikiEdit, "Btouroku", QStringLiteral("登録"), colorsOf(kAdd).rest, clBlack, { 48, 146, 100, 30 });
    CbCancel = makeButton(pTikiEdit, "CbCancel", QStringLiteral("キャンセル"), colorsOf(kAdd).rest, clBlack,
        { 164, 146, 100, 30 });
    pTikiEdit->hide();

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    Edit1->setGeometry(368, 292, 312, 22);
    Edit1->hide();

    Panel5 = new QLabel(QStringLiteral("フォームの読み込み中です。"), this);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel5->setLineWidth(2);
    Panel5->setAlignment(Qt::AlignCenter);
    Panel5->setAutoFillBackground(true);
    Panel5->setFont(platform::formFont(16, true));
    Panel5->setGeometry(144, 160, 400, 64);
    Panel5->hide();

    Panel6 = makePanel(this, "Panel6", { 32, 16, 592, 368 });
    DBGrid2 = new TDBGrid(DM1->DStemp, Panel6);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setGeometry(8, 8, 576, 200);
    DBNavigator1 = new TDBNavigator(DM1->DStemp,
        { TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext, TNavigateBtn::nbLast,
            TNavigateBtn::nbPost },
        Panel6);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(8, 214, 150, 25);
    Memo1 = new QPlainTextEdit(Panel6);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 246, 460, 114);
    CuteButton3 = makeButton(
        Panel6, "CuteButton3", QStringLiteral("開く"), clBtnFace, clBlack, { 476, 246, 108, 30 });
    CuteButton4 = makeButton(
        Panel6, "CuteButton4", QStringLiteral("実行"), clBtnFace, clBlack, { 476, 284, 108, 30 });
    Panel6->hide();

    CuteButton2
        = makeButton(this, "CuteButton2", QStringLiteral("Mente"), clGray, clWhite, { 632, 368, 48, 24 });

    CuteButton1->OnClick = [this] { CuteButton1Click(); };
    CuteButton6->OnClick = [this] { CuteButton6Click(); };
    bAdd->OnClick = [this] { bAddClick(); };
    bEdit->OnClick = [this] { bEditClick(); };
    bDel->OnClick = [this] { bDelClick(); };
    Btouroku->OnClick = [this] { BtourokuClick(); };
    CbCancel->OnClick = [this] { CbCancelClick(); };
    CuteButton2->OnClick = [this] { CuteButton2Click(); };
    CuteButton3->OnClick = [this] { CuteButton3Click(); };
    CuteButton4->OnClick = [this] { CuteButton4Click(); };

    for (QObject* watched : { static_cast<QObject*>(Btouroku), static_cast<QObject*>(CbCancel),
             static_cast<QObject*>(DTP1), static_cast<QObject*>(Edit2), static_cast<QObject*>(eTName) })
        watched->installEventFilter(this);
    // The date picker's own text box takes the keys while it has the focus.
    if (auto* dateText = DTP1->findChild<QLineEdit*>())
        dateText->installEventFilter(this);

    FormCreate();
}

TFselecttaikai::~TFselecttaikai()
{
    // The scratch query belongs to the data module: leave it read-only and closed for others.
    if (DM1 && !Panel6->isHidden()) {
        DM1->Qtemp->Close();
        DM1->Qtemp->RequestLive = false;
    }
}

void TFselecttaikai::FormCreate()
{
    DataSource1->setDataSet(DM1->Qtaikai);
    DTP1->setDate(m_clock->now().date());
}

void TFselecttaikai::FormShow()
{
    try {
        DM1->Qtaikai->Close();
        DM1->Qtaikai->SQL = QStringList { QStringLiteral("select * from taikai order by tdate desc") };
        DM1->Qtaikai->Open();
    } catch (const platform::DatabaseError& e) {
        platform::showError(kConnectionFailure + QLatin1Char('\n') + e.message());
    }
    Panel5->hide();
}

void TFselecttaikai::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFselecttaikai::keyPressEvent(QKeyEvent* event)
{
    // Esc would close the whole list and drop what is typed in the editor: the list closes by
    // "×" only.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFselecttaikai::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == Btouroku || watched == CbCancel) && !m_mode.isEmpty()) {
        if (event->type() == QEvent::FocusIn)
            static_cast<components::TCuteButton*>(watched)->setColor(m_focusColor);
        else if (event->type() == QEvent::FocusOut)
            static_cast<components::TCuteButton*>(watched)->setColor(m_restColor);
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == DTP1 || watched->parent() == DTP1) {
                DTP1KeyPress();
                return true;
            }
            if (watched == Edit2) {
                Edit2KeyPress();
                return true;
            }
            if (watched == eTName) {
                eTNameKeyPress();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Editor modes -----------------------------------------------------------------------------

void TFselecttaikai::applyEditorColor(platform::TColor color)
{
    for (QWidget* panel :
        { static_cast<QWidget*>(pTikiEdit), static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Panel2) })
        components::setPaletteColor(panel, QPalette::Window, color);
    Btouroku->setColor(color);
    CbCancel->setColor(color);
}

void TFselecttaikai::startMode(const QString& mode)
{
    m_mode = mode;
    const ModeColors colors = colorsOf(mode);
    m_restColor = colors.rest;
    m_focusColor = colors.focused;
    applyEditorColor(colors.rest);

    const bool adding = mode == kAdd;
    lTCode->setText(adding ? QStringLiteral("開催日") : QStringLiteral("大会コード"));
    lTName->setText(QStringLiteral("大会名"));
    lTCode->adjustSize();
    Btouroku->setCaption(mode == kDel ? QStringLiteral("削除") : QStringLiteral("登録"));
    eTName->setReadOnly(mode == kDel);
    DTP1->setReadOnly(mode == kDel);
    // An existing event keeps its code: its digit is shown, not edited.
    Edit2->setReadOnly(!adding);
    DTP1->show();
    pTikiEdit->show();
    pTikiEdit->raise();
}

void TFselecttaikai::endMode()
{
    m_mode.clear();
    m_rowCode.clear();
    pTikiEdit->hide();
}

void TFselecttaikai::bAddClick()
{
    if (!m_mode.isEmpty())
        return;
    eTName->clear();
    Edit2->clear();
    startMode(kAdd);
    DTP1->setFocus();
}

bool TFselecttaikai::fillEditorFromRow()
{
    platform::Query* list = DM1->Qtaikai;
    if (!m_mode.isEmpty() || !list->Active() || list->RecordCount() == 0)
        return false;
    m_rowCode = list->FieldByName(QStringLiteral("tcode"))->AsString();
    eTName->setText(list->FieldByName(QStringLiteral("TNAME"))->AsString());
    platform::Field* date = list->FieldByName(QStringLiteral("tdate"));
    DTP1->setDate(date->IsNull() ? m_clock->now().date() : date->AsDate());
    Edit2->setText(m_rowCode.right(1));
    return true;
}

void TFselecttaikai::bEditClick()
{
    if (!fillEditorFromRow())
        return;
    startMode(kEdit);
    eTName->setFocus();
}

void TFselecttaikai::bDelClick()
{
    if (!fillEditorFromRow())
        return;
    startMode(kDel);
    Btouroku->setFocus();
}

void TFselecttaikai::CbCancelClick() { endMode(); }

void TFselecttaikai::CuteButton6Click() { close(); }

// ---- Sequence digit and event code ------------------------------------------------------------

QString TFselecttaikai::newEventCode() const
{
    return eventCodeDateDigits(shortDateText(DTP1->date())) + Edit2->text().trimmed();
}

QList<int> TFselecttaikai::usedSequenceDigits(const QString& dateDigits)
{
    platform::Query* q = DM1->Qtemp;
    q->Close();
    q->SQL.clear();
    q->SQL << QStringLiteral("select * from taikai where tcode>='") + dateDigits + QStringLiteral("1'")
           << QStringLiteral("and tcode<='") + dateDigits + QStringLiteral("9' order by tcode");
    q->Open();
    QList<int> digits;
    for (q->First(); !q->Eof(); q->Next())
        digits << q->FieldByName(QStringLiteral("tcode"))->AsString().mid(8, 1).toInt();
    return digits;
}

void TFselecttaikai::DTP1KeyPress()
{
    if (m_mode != kAdd)
        return;
    QList<int> used;
    try {
        used = usedSequenceDigits(eventCodeDateDigits(shortDateText(DTP1->date())));
    } catch (const platform::DatabaseError& e) {
        platform::showError(e.message());
        return;
    }
    // One more than the highest digit of the date; past 9, the first digit still free.
    int proposal = used.isEmpty() ? 1 : used.last() + 1;
    for (int d = 1; proposal > 9 && d <= 9; ++d)
        if (!used.contains(d))
            proposal = d;
    if (proposal > 9) {
        Edit2->clear();
        platform::showMessage(kDateFull);
        DTP1->setFocus();
        return;
    }
    Edit2->setText(QString::number(proposal));
    Edit2->setFocus();
}

void TFselecttaikai::Edit2KeyPress() { eTName->setFocus(); }

void TFselecttaikai::eTNameKeyPress() { Btouroku->setFocus(); }

// ---- Commit -----------------------------------------------------------------------------------

void TFselecttaikai::BtourokuClick()
{
    platform::Query* list = DM1->Qtaikai;
    const platform::DataSet::Bookmark bookmark = list->Active() ? list->GetBookmark() : 0;
    const QString mode = m_mode;
    if ((mode == kAdd || mode == kEdit)
        && !platform::acceptTypedText(platform::currentAsker(), QStringLiteral("大会名"), eTName->text())) {
        eTName->setFocus();
        return;
    }
    try {
        if (mode == kAdd) {
            if (!commitAdd())
                return;
        } else if (mode == kEdit) {
            commitEdit();
        } else if (mode == kDel) {
            commitDelete();
        } else {
            return;
        }
    } catch (const platform::DatabaseError& e) {
        // The editor stays open with what the operator typed.
        platform::showError(e.message());
        return;
    }
    if (mode != kAdd && !list->GotoBookmark(bookmark))
        list->Last();
}

bool TFselecttaikai::commitAdd()
{
    const QString dateText = shortDateText(DTP1->date());
    const QString digits = eventCodeDateDigits(dateText);
    if (usedSequenceDigits(digits).size() >= 9) {
        platform::showMessage(kDateFull);
        DTP1->setFocus();
        return false;
    }
    const QString sequence = Edit2->text().trimmed();
    if (sequence.size() != 1 || sequence[0] < QLatin1Char('1') || sequence[0] > QLatin1Char('9')) {
        platform::showMessage(kBadSequenceDigit);
        Edit2->setFocus();
        return false;
    }
    const QString code = digits + sequence;

    platform::Query* temp = DM1->Qtemp;
    temp->Close();
    temp->SQL = QStringList { QStringLiteral("select * from taikai ") + eventWhere(code) };
    temp->Open();
    if (temp->RecordCount() > 0) {
        platform::showMessage(kDuplicateCode);
        return false;
    }

    // Each value between apostrophes and followed by a comma; the last line ends with ")".
    auto values = [](const QStringList& list) {
        QString line;
        for (const QString& v : list)
            line += QLatin1Char('\'') + v + QStringLiteral("',");
        return line;
    };
    QString last = values({ kZeroTime, QStringLiteral("0:00:30"), kZeroTime, QStringLiteral("0:00:20"),
        kZeroTime, QStringLiteral("0:00:10"), kZeroTime });
    last.back() = QLatin1Char(')');
    platform::Query* edit = DM1->Qedit;
    edit->SQL.clear();
    edit->SQL << QStringLiteral("insert into taikai (tcode,tname,tdate,status,on1,of1,on2,of2")
              << QStringLiteral(",on3,of3,on4,of4,on5,of5,ons)values(")
              << values(
                     { code, EscapeApostrophes(eTName->text()), statementDate(dateText), QStringLiteral("1"),
                         kZeroTime, QStringLiteral("0:00:50"), kZeroTime, QStringLiteral("0:00:40") })
              << last;
    Edit1->setText(edit->SQL.Text());
    edit->ExecSQL();

    endMode();
    reopenList();
    DM1->Qtaikai->Locate(QStringLiteral("tcode"), CurrentEventCode);
    return true;
}

void TFselecttaikai::commitEdit()
{
    const QString code = m_rowCode;
    platform::Query* edit = DM1->Qedit;
    edit->SQL.clear();
    edit->SQL << QStringLiteral("update taikai set tname='") + EscapeApostrophes(eTName->text())
            + QStringLiteral("',tdate='") + statementDate(shortDateText(DTP1->date())) + QLatin1Char('\'')
              << eventWhere(code);
    edit->ExecSQL();
    reopenList();
    DM1->Qtaikai->Locate(QStringLiteral("tcode"), code);
    endMode();
}

void TFselecttaikai::commitDelete()
{
    const QString code = m_rowCode;
    platform::Query* edit = DM1->Qedit;
    // The event's cues go with it: a later event of the same date and digit must start without them.
    platform::Transaction remove(*DM1->Database1);
    for (const char* table : { "taikai", "rmenu", "music" }) {
        edit->SQL.clear();
        edit->SQL << QStringLiteral("delete from ") + QLatin1String(table) + QLatin1Char(' ')
                + eventWhere(code);
        edit->ExecSQL();
    }
    remove.Commit();
    endMode();
    reopenList();
}

void TFselecttaikai::reopenList()
{
    DM1->Qtaikai->Close();
    DM1->Qtaikai->Open();
}

// ---- Opening an event -------------------------------------------------------------------------

void TFselecttaikai::opentaikai()
{
    platform::Query* list = DM1->Qtaikai;
    if (!list->Active() || list->RecordCount() == 0)
        return;
    Panel5->show();
    Panel5->raise();
    repaint();
    const std::unique_ptr<QLabel, void (*)(QLabel*)> hideLoading(Panel5, [](QLabel* p) { p->hide(); });

    CurrentEventCode = list->FieldByName(QStringLiteral("tcode"))->AsString();
    auto preset = [list](const char* field) {
        const QString value = list->FieldByName(QLatin1String(field))->AsString();
        return value.isEmpty() ? kZeroTime : value;
    };
    WarmUpTimePreset = preset("sq1");
    RaceTimePreset = preset("sq2");
    OverTimePreset = preset("sq3");
    BlankTimePreset = preset("sq4");
    AutoIntervalPreset = preset("sq5");

    // Outside programs read the open event from tnow's one row: make sure there is one.
    try {
        platform::Transaction mark(*DM1->Database1);
        platform::Query* resu = DM1->Qresu;
        resu->SQL = QStringList { QStringLiteral("update tnow set tcode='") + CurrentEventCode
            + QLatin1Char('\'') };
        if (resu->ExecSQL() == 0) {
            resu->SQL = QStringList { QStringLiteral("insert into tnow (tcode) values ('") + CurrentEventCode
                + QStringLiteral("')") };
            resu->ExecSQL();
        }
        mark.Commit();
    } catch (const platform::DatabaseError& e) {
        // A full disk is no missing table: the cause follows.
        platform::showMessage(kTnowMissing + QLatin1Char('\n') + e.message());
    }

    if (OpenRaceConsole) {
        OpenRaceConsole(this);
        QCoreApplication::processEvents();
    }
}

void TFselecttaikai::CuteButton1Click()
{
    try {
        opentaikai();
    } catch (const platform::DatabaseError& e) {
        // What the database said, so that a full disk or a missing table is told as such.
        platform::showMessage(kConnectionFailure + QLatin1Char('\n') + e.message());
        close();
    } catch (const std::exception& e) {
        platform::showError(QString::fromUtf8(e.what()));
    }
}

void TFselecttaikai::DBGrid1DblClick()
{
    try {
        opentaikai();
    } catch (const std::exception& e) {
        platform::showError(QString::fromUtf8(e.what()));
    }
}

// ---- Maintenance panel ------------------------------------------------------------------------

void TFselecttaikai::CuteButton2Click()
{
    platform::Query* temp = DM1->Qtemp;
    if (Panel6->isHidden()) {
        temp->Close();
        temp->SQL = QStringList { QStringLiteral("select * from checkv") };
        temp->RequestLive = true;
        try {
            temp->Open();
        } catch (const platform::DatabaseError& e) {
            platform::showError(e.message());
        }
        Panel6->move(32, 16);
        Panel6->show();
        Panel6->raise();
        CuteButton2->raise();
    } else {
        Panel6->hide();
        temp->Close();
        temp->RequestLive = false;
    }
}

void TFselecttaikai::CuteButton3Click() { runMaintenanceText(true); }

void TFselecttaikai::CuteButton4Click() { runMaintenanceText(false); }

// Runs every statement of the memo, all or nothing. The last one is opened in the grid when
// asked to ("開く") or when it is a select; the others are executed.
void TFselecttaikai::runMaintenanceText(bool openLast)
{
    // Statements span lines: only the SQL text keeps its line breaks.
    if (!platform::acceptTypedText(platform::currentAsker(), QStringLiteral("SQL文"), Memo1->toPlainText(),
            platform::TextLines::Many))
        return;
    const QStringList statements = platform::sql::splitStatements(Memo1->toPlainText());
    platform::Query* temp = DM1->Qtemp;
    temp->Close();
    if (statements.isEmpty())
        return;
    const bool showLast = openLast || returnsRows(statements.last());
    // Reads alone take no write lock, so that looking at the tables never waits for the results
    // program; anything that writes begins as a writer and waits for it instead of failing.
    const bool writes = !std::all_of(statements.begin(), statements.end(), returnsRows);
    try {
        std::optional<platform::Transaction> all;
        if (writes)
            all.emplace(*DM1->Database1);
        for (int i = 0; i < statements.size(); ++i) {
            temp->SQL = QStringList { statements[i] };
            if (i == statements.size() - 1 && showLast) {
                temp->RequestLive = true;
                temp->Open();
            } else {
                temp->ExecSQL();
            }
        }
        if (all)
            all->Commit();
    } catch (const std::exception& e) {
        temp->Close();
        platform::showError(QString::fromUtf8(e.what()));
    }
}

void runEventList(QWidget* owner)
{
    auto list = std::make_unique<TFselecttaikai>(owner);
    list->exec();
}
