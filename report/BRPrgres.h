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
    void CancelButtonClick();
    // The percentage the form shows; -1 before the first update.
    int shown() const { return m_shown; }

private:
    QPointer<TBRPrinter> m_printer;
    int m_shown = -1;
};
