// The console's lines to the display board.

#include "console/BoardLine.h"
#include "console/ConsoleWidgets.h"
#include "console/Utaikai.h"
#include "platform/Clock.h"

#include <QLineEdit>

namespace console {

void TFtaikai::ConnectBoardHandlers() { }

void TFtaikai::TmsTimer()
{
    // The board shows the time of day while no count-down runs and the board is switched on.
    if (Tm1.isActive() || tmr2.isActive())
        return;
    BoardLineInput line;
    line.kind = BoardLineKind::Clock;
    line.tenths = SecondOfDay(*m_dev.clock) * 10;
    line.boardOn = RGgaz->ItemIndex() == 0;
    SendBoardLine(*m_dev.board, line);
}

void TFtaikai::dpgaz(QChar letter, const QString& clockText)
{
    Edit8->setText(clockText);
    BoardLineInput line;
    line.kind = letter == QLatin1Char('O') ? BoardLineKind::OverTime : BoardLineKind::Race;
    // The clock text of a remaining time converts back to the same tenths; an empty text is zero.
    line.tenths = TimeStrToTenths(clockText);
    line.prefix = Edit11->text();
    line.boardOn = RGgaz->ItemIndex() == 0;
    SendBoardLine(*m_dev.board, line);
}

} // namespace console
