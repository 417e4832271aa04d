#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <map>
#include <vector>

namespace platform {

class DataSource;
class DataSet;

// A table model over a data source's data set, for the data-aware grids: one column per field
// (or the columns chosen), rows as the data set holds them. Selecting a row moves the data
// set's cursor; the model follows the data set's signals. Editing writes through Edit/Post
// when the data set is live.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(DataSource* source, QObject* parent = nullptr);

    // Shows only these fields, in this order, with these titles (empty: every field, by name).
    void setColumns(const QStringList& fields, const QStringList& titles = {});

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    DataSet* dataSet() const;

    // Aligns the cells of one column (by default numbers right, texts left).
    void setAlignment(int column, Qt::Alignment alignment);

    // The grid's row and the data set's cursor: a view calls setCurrentRow when the operator
    // selects a row and follows currentRowChanged when code moves the cursor. -1: no row.
    void setCurrentRow(int row);
    int currentRow() const;

signals:
    void currentRowChanged(int row);

private:
    void reset();
    void bind();
    int fieldIndex(int column) const;
    QPointer<DataSource> m_source;
    QPointer<DataSet> m_bound;
    QStringList m_fields, m_titles;
    std::vector<int> m_columns; // data set field index per model column (-1: not in the result)
    std::map<int, Qt::Alignment> m_alignment;
};

} // namespace platform
