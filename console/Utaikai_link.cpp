// The console's link to the timing server: the connect button, the link's status on the
// settings page, and what each received line leads to.

#include "app/uComm.h"
#include "console/BoardControl.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/TimeServerLink.h"
#include "console/Utaikai.h"
#include "platform/TextCodec.h"
#include "platform/WholeFile.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace console {
namespace {

// Memo2 shows the latest lines only: the server sends one a second or more for hours.
constexpr int Memo2Lines = 200;

} // namespace

void TFtaikai::connectLinkHandlers()
{
    TimeServerLink::Handlers handlers;
    handlers.status = [this](const QString& text) { Panel17->setCaption(text); };
    handlers.stateChanged = [this](LinkState state) {
        Button2->setText(state == LinkState::Connected ? QStringLiteral("切断")
                : state == LinkState::Connecting       ? QStringLiteral("中止")
                                                       : QStringLiteral("接続"));
        Button1->setEnabled(state == LinkState::Connected);
        // The console stays usable while connecting; the cursor only tells that work goes on.
        if (state == LinkState::Connecting)
            setCursor(Qt::BusyCursor);
        else
            unsetCursor();
    };
    handlers.line = [this](const QByteArray& line) { timeServerLineReceived(line); };
    handlers.problem = [this](const QString& text) { showStatus(text); };
    m_link = std::make_unique<TimeServerLink>(std::move(handlers));

    Memo2->setMaximumBlockCount(Memo2Lines);
    Button1->setEnabled(false);
    connect(Button2, &QPushButton::clicked, this, &TFtaikai::Button2Click);
}

void TFtaikai::Button2Click()
{
    TimeServerAddress = Edit9->text();
    TimeServerPort = Edit10->text();
    m_link->Button2Click(Edit9->text(), Edit10->text());
}

void TFtaikai::timeServerLineReceived(const QByteArray& line)
{
    // The line itself is shown, logged and read, never its echo in the memo, which may wrap it.
    // Shown as the track PC's programs write text; the feed itself is ASCII.
    Memo2->appendPlainText(platform::fromCp932(line));
    // Flushed line by line, so that the log is complete whenever someone reads it.
    if (!TcpLogFile.isOpen())
        showStatus(QStringLiteral("TCPDATA.txt に書き込めません")
            + (TcpLogOpenFailure.isEmpty() ? QString() : QStringLiteral(": ") + TcpLogOpenFailure));
    else if (const std::optional<QString> reason = platform::writeFlushed(TcpLogFile, line + "\r\n"))
        showStatus(QStringLiteral("TCPDATA.txt に書き込めません: ") + *reason);
    if (BoardFromNetwork != 1)
        return;
    // While the warm-up runs, a time within the blind seconds of Edit5 shows blank; an Edit5 that
    // holds no number blanks nothing.
    std::optional<int> blindSeconds;
    bool isNumber = false;
    const int seconds = Edit5->text().trimmed().toInt(&isNumber);
    if (isNumber && m_countdown->StateWarm() == PhaseState::On)
        blindSeconds = seconds;
    QString problem;
    if (const std::optional<QByteArray> board = networkBoardLine(line, &problem, blindSeconds))
        m_boardControl->sendTimeLine(*board);
    else if (!problem.isEmpty())
        showStatus(problem);
}

} // namespace console
