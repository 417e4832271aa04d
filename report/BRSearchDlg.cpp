#include "report/BRSearchDlg.h"

#include "report/BRConst.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TSearchDlg::TSearchDlg(QWidget* parent)
    // A dialog without border icons: only the title remains.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , Label1(new QLabel(QString::fromUtf8(SBRSearchText), this))
    , Edit1(new QLineEdit(this))
    , CheckBox1(new QCheckBox(QString::fromUtf8(SBRMatchCase), this))
    , SpeedButton2(new QPushButton(QString::fromUtf8(SBRSearch), this))
    , SpeedButton1(new QPushButton(QString::fromUtf8(SBRCancel), this))
{
    setWindowTitle(QString::fromUtf8(SBRSearchForText));
    Label1->setBuddy(Edit1);
    Edit1->setMinimumWidth(220);
    SpeedButton2->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(CheckBox1, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SpeedButton2);
    buttons->addWidget(SpeedButton1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(SpeedButton1, &QPushButton::clicked, this, &TSearchDlg::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TSearchDlg::SpeedButton2Click);
}

void TSearchDlg::SpeedButton1Click()
{
    m_cancelled = true;
    reject();
}

void TSearchDlg::SpeedButton2Click()
{
    m_cancelled = false;
    accept();
}

QString TSearchDlg::searchText() const { return Edit1->text(); }

bool TSearchDlg::matchCase() const { return CheckBox1->isChecked(); }
