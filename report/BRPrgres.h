#pragma once

// The progress form the report printer shows while it sends pages to a printer.

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class TBRPrinter;

class TBRProgressForm : public QDialog {
    Q_OBJECT
public:
    // Shows the progress of `printer` (not owned) and cancels it on request.
    explicit TBRProgressForm(TBRPrinter* printer, QWidget* parent = nullptr);

    QProgressBar* Gauge;
    QLabel* Info;
    QPushButton* CancelButton;

    // A progress report of the printer, in percent.
    void updateProgress(int percent);
    // While the print server is being waited for, the form says so; then the progress again.
    void showServerWait(bool waiting);
    void CancelButtonClick();
    // The percentage the form shows; -1 before the first update.
    int shown() const { return m_shown; }
    // True once Cancel was asked for (also of a form that shows a wait without a printer).
    bool cancelRequested() const { return m_cancelRequested; }

    // Esc and the window's close ask for Cancel too; the form goes when the wait or print ends.
    void reject() override;

private:
    QPointer<TBRPrinter> m_printer;
    int m_shown = -1;
    bool m_cancelRequested = false;
    bool m_serverWait = false;
};

// The progress form's line while the print server is being waited for.
QString brServerWaitText();
