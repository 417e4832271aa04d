#pragma once

// The event list "大会選択": the events of table taikai, newest first, an editor panel that adds,
// edits and deletes events, and opentaikai, which opens the chosen event in the race console.
// A hidden maintenance panel ("Mente") runs statements a technician types.
//
// The start window makes a fresh list on each "大会実行" (runEventList) and frees it when it
// closes. The console is reached through OpenRaceConsole, which the main block sets, so that
// this library does not depend on the console's.

#include "platform/Clock.h"
#include "platform/ColorRef.h"

#include <QDialog>
#include <QString>
#include <functional>

class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TDBGrid;
class TDBNavigator;

namespace components {
class TCuteButton;
}
namespace platform {
class DataSource;
}

// Opens the race console for CurrentEventCode modally, owned by the given window, and returns
// when it has closed. Empty: opening an event ends after the event's own steps.
extern std::function<void(QWidget* owner)> OpenRaceConsole;

class TFselecttaikai : public QDialog {
public:
    // The clock gives the editor's first date (today).
    explicit TFselecttaikai(
        QWidget* owner = nullptr, const platform::Clock& clock = platform::defaultClock());
    ~TFselecttaikai() override;

    platform::DataSource* DataSource1; // on DM1->Qtaikai
    TDBGrid* DBGrid1;
    components::TCuteButton* CuteButton1; // "選択"
    components::TCuteButton* bAdd; // "新規登録"
    components::TCuteButton* bEdit; // "修正"
    components::TCuteButton* bDel; // "削除"
    components::TCuteButton* CuteButton6; // "×"

    QFrame* pTikiEdit; // the editor
    QFrame* Panel1; // editor: date and sequence digit
    QFrame* Panel2; // editor: title
    QLabel* lTCode;
    QDateEdit* DTP1;
    QLineEdit* Edit2; // sequence digit
    QLabel* lTName;
    QLineEdit* eTName;
    components::TCuteButton* Btouroku; // "登録" / "削除"
    components::TCuteButton* CbCancel; // "キャンセル"

    QLabel* Panel5; // "フォームの読み込み中です。"
    QLineEdit* Edit1; // the last insert statement

    components::TCuteButton* CuteButton2; // "Mente"
    QFrame* Panel6; // maintenance panel
    TDBGrid* DBGrid2; // on DM1->DStemp
    TDBNavigator* DBNavigator1;
    QPlainTextEdit* Memo1;
    components::TCuteButton* CuteButton3; // "開く"
    components::TCuteButton* CuteButton4; // "実行"

    // Editor mode: "" (none), "TIKIADD", "TIKIEDIT" or "TIKIDEL".
    QString tikiMode() const { return m_mode; }

    void FormCreate();
    void FormShow();
    void CuteButton1Click(); // "選択"
    void DBGrid1DblClick();
    void bAddClick();
    void bEditClick();
    void bDelClick();
    void CbCancelClick();
    void BtourokuClick();
    void CuteButton6Click();
    void DTP1KeyPress(); // Enter: proposes the sequence digit
    void Edit2KeyPress(); // Enter: on to the title
    void eTNameKeyPress(); // Enter: on to "登録"
    void CuteButton2Click(); // "Mente"
    void CuteButton3Click(); // "開く"
    void CuteButton4Click(); // "実行"

    // Opens the event of the list's current row: globals, tnow, then the console.
    void opentaikai();

    // The event code the editor's date and sequence digit make (nine digits when complete).
    QString newEventCode() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Fills the editor from the list's current row; false when no mode may start or no row is there.
    bool fillEditorFromRow();
    void startMode(const QString& mode);
    void endMode();
    void applyEditorColor(platform::TColor color);
    void reopenList();
    // Sequence digits in use on the date whose code digits are given (yyyymmdd).
    QList<int> usedSequenceDigits(const QString& dateDigits);
    bool commitAdd();
    void commitEdit();
    void commitDelete();
    void runMaintenanceText(bool openLast);

    const platform::Clock* m_clock;
    QString m_mode;
    QString m_rowCode; // tcode of the row the edit or delete mode started on
    platform::TColor m_restColor = 0;
    platform::TColor m_focusColor = 0;
};

// Makes a fresh event list owned by the given window, shows it modally and frees it.
void runEventList(QWidget* owner);
