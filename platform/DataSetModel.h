#pragma once

#include <QAbstractTableModel>
#include <QPointer>

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
    explicit DataSetModel(DataSource *source, QObject *parent = nullptr);

    // Shows only these fields, in this order, with these titles (empty: every field, by name).
    void setColumns(const QStringList &fields, const QStringList &titles = {});

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    DataSet *dataSet() const;

private:
    void reset();
    QPointer<DataSource> m_source;
    QStringList m_fields, m_titles;
};

} // namespace platform
