#pragma once

// Data-aware controls of the windows: a grid and a navigator that show and move a data source's
// data set, and a memo that edits one text field of its current row. The grid's current row is the data set's
// cursor, both ways: selecting a row moves the cursor, and code that moves the cursor (Locate, GotoBookmark,
// a navigator button) moves the selection.
//
//   auto *DBGrid1 = new TDBGrid(DataSource1, this);
//   DBGrid1->setColumns({ { "TCODE", "大会コード", 66 }, { "TNAME", "タイトル", 180 } });
//   DBGrid1->OnDblClick = [this] { DBGrid1DblClick(); };

#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <vector>

namespace platform {
class DataSet;
class DataSetModel;
class DataSource;
} // namespace platform

class QToolButton;

// One column of a grid: the field it shows, its title and its width in pixels.
struct TColumn {
    QString FieldName;
    QString Title;
    int Width = 64;
    Qt::Alignment TitleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};

class TDBGrid : public QTableView {
public:
    explicit TDBGrid(platform::DataSource* source, QWidget* parent = nullptr);
    ~TDBGrid() override;

    // The columns shown; without any, every field of the data set under its name.
    void setColumns(const std::vector<TColumn>& columns);

    platform::DataSetModel* dataModel() const { return m_model; }
    platform::DataSet* DataSet() const;

    // A double-click on a row (the cursor is on that row by then).
    std::function<void()> OnDblClick;

private:
    void followCursor();

    platform::DataSetModel* m_model;
    std::vector<TColumn> m_columns;
};

// The navigator buttons a window shows, in their fixed order.
enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbPost };

class TDBNavigator : public QWidget {
public:
    TDBNavigator(
        platform::DataSource* source, const std::vector<TNavigateBtn>& buttons, QWidget* parent = nullptr);

    // Does what the button does; a database failure is reported to the operator, never thrown.
    void BtnClick(TNavigateBtn button);
    QToolButton* Button(TNavigateBtn button) const;

private:
    void updateButtons();

    platform::DataSource* m_source;
    std::vector<std::pair<TNavigateBtn, QToolButton*>> m_buttons;
};

// A memo bound to one text field of a data source's current row: it shows the field whenever the
// row, the rows or the data set change, and what the operator types goes into the row's edit
// buffer at once. The data set posts the edit when its cursor moves or it is refreshed; post()
// posts it at any other moment (before the data set closes, which would drop it). Without a
// current row the memo is empty and takes no typing, so no typed text is left without a row.
class TDBMemo : public QPlainTextEdit {
public:
    TDBMemo(platform::DataSource* source, QString fieldName, QWidget* parent = nullptr);

    // Posts a pending edit of the row. Raises platform::DatabaseError when it cannot be written.
    void post();

private:
    void follow();
    void Load();
    void store();
    platform::DataSet* boundRow() const;

    platform::DataSource* m_source;
    QString m_field;
    QPointer<platform::DataSet> m_followed;
    bool m_loading = false;
};
