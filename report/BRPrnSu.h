#pragma once

// The print dialog component: runs Qt's print dialog on a printer object and reads the choices
// back into its properties. The dialog offers the system's queues and PDF output.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QPrinter;
class QWidget;

// Base of the engine's dialogs.
class TBRCommonDialog : public QObject {
    Q_OBJECT
public:
    explicit TBRCommonDialog(QObject* parent = nullptr);

    bool Ctl3D = true; // kept for stored forms; Qt draws its own frames
    int HelpContext = 0;
    std::function<void()> OnShow; // before the dialog opens
    std::function<void()> OnClose; // after it has closed
};

// A dialog working on a printer object: the program's shared printer until another is set.
class TBRBasePrintDialog : public TBRCommonDialog {
    Q_OBJECT
public:
    explicit TBRBasePrintDialog(QObject* parent = nullptr);
    QPrinter* printer() const { return m_printer; }
    void SetPrinter(QPrinter* printer);

private:
    QPrinter* m_printer;
};

enum class TBRPrintRange { prAllPages, prSelection, prPageNums };

// What the dialog offers (Options).
enum TBRPrintDialogOption : unsigned {
    poPrintToFile = 1u << 0,
    poPageNums = 1u << 1,
    poSelection = 1u << 2,
    poWarning = 1u << 3,
    poHelp = 1u << 4,
    poDisablePrintToFile = 1u << 5,
};

class TBRPrintDialog : public TBRBasePrintDialog {
    Q_OBJECT
public:
    explicit TBRPrintDialog(QObject* parent = nullptr);

    bool Collate = false;
    int FromPage = 0;
    int ToPage = 0;
    int MinPage = 0;
    int MaxPage = 0;
    unsigned Options = 0;
    bool PrintToFile = false;
    TBRPrintRange PrintRange = TBRPrintRange::prAllPages;
    // Read back from the printer after the dialog, in the numbers Windows drivers used.
    int PrintQuality = 0; // dots per inch
    int ColorOption = 0; // 1 monochrome, 2 colour
    int OutputBin = 0; // the dialog offers no bins: kept as set
    int PaperSize = 0; // paper code; 256 for a size of its own
    double Paperwidth = 0; // tenths of a millimetre, the paper upright
    double Paperlength = 0;
    int Orientation = 0; // 1 portrait, 2 landscape
    int DuplexCode = 0; // 1 simplex, 2 long edge, 3 short edge
    bool Duplex = false;
    // The print server's queues, in its order, as the caller listed them (the dialog asks the
    // server nothing more for it).
    QStringList QueueNames;
    // The queue chosen, as its place in QueueNames; -1 for PDF output or a queue not listed.
    int PrinterIndex = -1;
    QString FileName; // the PDF file chosen with PrintToFile

    int Copies() const { return m_copies; }
    // Also sets the printer object's copies.
    void setCopies(int copies);

    // Runs the dialog; true when confirmed: the properties hold the choices and the printer
    // object has taken them. A cancelled dialog changes neither.
    bool Execute(QWidget* parent = nullptr);

private:
    int m_copies = 1;
};
