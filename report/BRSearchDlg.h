#pragma once

// The dialog that asks the preview for the text to find.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSearchDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QCheckBox* CheckBox1; // "Match case"
    QPushButton* SpeedButton2; // "Search"
    QPushButton* SpeedButton1; // "Cancel"

    void SpeedButton1Click();
    void SpeedButton2Click();
    // True unless the dialog was closed with "Search".
    bool Cancelled() const { return m_cancelled; }
    QString searchText() const;
    bool matchCase() const;

private:
    bool m_cancelled = true;
};
