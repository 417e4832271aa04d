#include "report/BRPrgres.h"

#include "report/BRConst.h"
#include "report/BRPrntr.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int Step = 5; // percent between two updates of the form

// Two blanks between the percent sign and the word: " Completed" brings its own.
QString progressText(int percent)
{
    return QString::number(percent) + QStringLiteral("% ") + QString::fromUtf8(SBRCompleted);
}
} // namespace

TBRProgressForm::TBRProgressForm(TBRPrinter* printer, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint)
    , Gauge(new QProgressBar(this))
    , Info(new QLabel(this))
    , CancelButton(new QPushButton(QString::fromUtf8(SBRCancel), this))
    , m_printer(printer)
{
    setWindowTitle(QString::fromUtf8(SBRPrintingProgress));
    // Printing is often started from a window that runs modally (the preview above the race
    // console): only a modal form of its own takes the click on Cancel. It also keeps the
    // preview from starting a second print or loading pages while this one runs.
    setWindowModality(Qt::ApplicationModal);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);
    Info->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Gauge);
    layout->addWidget(Info);
    layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
    resize(320, sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(CancelButton, &QPushButton::clicked, this, &TBRProgressForm::CancelButtonClick);
    if (printer) {
        connect(printer, &TBRPrinter::progressUpdate, this, &TBRProgressForm::updateProgress);
        connect(printer, &TBRPrinter::serverWaiting, this, &TBRProgressForm::showServerWait);
    }
}

QString brServerWaitText() { return QStringLiteral("プリントサーバーの応答を待っています…"); }

void TBRProgressForm::updateProgress(int percent)
{
    // Every 5 percent gained since the last update shows, whatever the steps the page count
    // makes; the end always shows.
    if (percent < 100 && percent - std::max(m_shown, 0) < Step)
        return;
    m_shown = percent;
    Gauge->setValue(percent);
    // The report of the last page arrives while the job waits for its queue: the wait is said.
    if (!m_serverWait)
        Info->setText(progressText(percent));
    Gauge->repaint();
    Info->repaint();
}

void TBRProgressForm::showServerWait(bool waiting)
{
    m_serverWait = waiting;
    if (waiting)
        Info->setText(brServerWaitText());
    else if (m_shown >= 0)
        Info->setText(progressText(m_shown));
    else
        Info->clear();
}

void TBRProgressForm::CancelButtonClick()
{
    m_cancelRequested = true;
    if (m_printer)
        m_printer->Cancel();
}

void TBRProgressForm::reject() { CancelButtonClick(); }
