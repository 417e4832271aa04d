#pragma once

// The start window: the program's main window. It reconnects the database and loads the
// settings when created, brings the tables to the current layout when shown, opens the event
// list on "大会実行" and saves the settings and ends the program on "ＣＬＯＳＥ".

#include "app/Umain_upgrade.h"

#include <QPixmap>
#include <QWidget>
#include <functional>

class QLabel;

namespace components {
class TCuteButton;
}

class TFmain : public QWidget {
    Q_OBJECT
public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    QLabel* Image1;
    QLabel* Label1; // version
    components::TCuteButton* CuteButton1; // "大会実行"
    components::TCuteButton* CuteButton2; // "ＣＬＯＳＥ"

    // Opens the event list modally, owned by the start window: a fresh one on each press
    // (runEventList unless replaced).
    std::function<void(QWidget* owner)> OpenEventList;

    void FormCreate();
    void FormShow();
    void CuteButton1Click();
    void CuteButton2Click();

    // What the last layout upgrade did (for the start's diagnostics and tests).
    const LayoutUpgradeResult& lastUpgrade() const { return m_lastUpgrade; }
    // True from the showing of the window until its layout upgrade has ended: the window shows
    // the step being run under a wait cursor and refuses input meanwhile.
    bool upgradeWaiting() const { return m_upgradeWaiting; }

    QLabel* LabelUpgrade; // the step of the layout upgrade being run

    // The title picture shown in Image1 (457 x 153).
    static QPixmap titlePicture();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The upgrade runs once the window is on the screen, not in its show event, so that a long
    // one is seen: from the show until it ends the window waits, with a wait cursor.
    void beginUpgradeWait();
    void runWaitingUpgrade();
    void endUpgradeWait();
    void showUpgradeStep(const QString& text);

    // Saves the settings; false when they could not be saved (never read at start, or the
    // write failed) and the operator chose not to end.
    bool saveBeforeEnd();

    bool m_ending = false;
    bool m_upgradeWaiting = false;
    bool m_upgradeRunning = false;
    QString m_settingsFailure; // why the settings file could not be read at start
    LayoutUpgradeResult m_lastUpgrade;
};

// The start window, created second by the main block.
extern TFmain* Fmain;

// The program's version as the start window shows it.
QString programVersionText();
