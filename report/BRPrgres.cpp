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
}

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
    if (printer)
        connect(printer, &TBRPrinter::progressUpdate, this, &TBRProgressForm::updateProgress);
}

void TBRProgressForm::updateProgress(int percent)
{
    // Every 5 percent gained since the last update shows, whatever the steps the page count
    // makes; the end always shows.
    if (percent < 100 && percent - std::max(m_shown, 0) < Step)
        return;
    m_shown = percent;
    Gauge->setValue(percent);
    Info->setText(QString::number(percent) + QStringLiteral("% ") + QString::fromUtf8(SBRCompleted));
    Gauge->repaint();
    Info->repaint();
}

void TBRProgressForm::CancelButtonClick()
{
    if (m_printer)
        m_printer->Cancel();
}
