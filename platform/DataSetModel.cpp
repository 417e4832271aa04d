#include "platform/DataSetModel.h"

#include "platform/Asker.h"
#include "platform/DataSet.h"

namespace platform {

DataSetModel::DataSetModel(DataSource* source, QObject* parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
    if (source)
        connect(source, &DataSource::dataSetChanged, this, [this] {
            bind();
            reset();
        });
    bind();
    reset();
}

DataSet* DataSetModel::dataSet() const { return m_source ? m_source->dataSet() : nullptr; }

void DataSetModel::bind()
{
    if (m_bound)
        disconnect(m_bound, nullptr, this, nullptr);
    m_bound = dataSet();
    if (!m_bound)
        return;
    connect(m_bound, &DataSet::opened, this, &DataSetModel::reset);
    connect(m_bound, &DataSet::closed, this, &DataSetModel::reset);
    connect(m_bound, &DataSet::rowsChanged, this, &DataSetModel::reset);
    connect(m_bound, &DataSet::currentChanged, this, [this] {
        const int row = currentRow();
        if (row >= 0 && row < rowCount() && columnCount() > 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        emit currentRowChanged(row);
    });
    connect(m_bound, &QObject::destroyed, this, [this] {
        m_bound = nullptr;
        reset();
    });
}

void DataSetModel::reset()
{
    beginResetModel();
    m_columns.clear();
    DataSet* ds = m_bound;
    if (ds && ds->Active()) {
        if (m_fields.isEmpty()) {
            for (int i = 0; i < ds->FieldCount(); ++i)
                m_columns.push_back(i);
        } else {
            const QStringList names = ds->fieldNames();
            for (const QString& f : m_fields) {
                int found = -1;
                for (int i = 0; i < names.size(); ++i)
                    if (names[i].compare(f, Qt::CaseInsensitive) == 0)
                        found = i;
                m_columns.push_back(found);
            }
        }
    } else if (!m_fields.isEmpty()) {
        m_columns.assign(size_t(m_fields.size()), -1); // the columns stand while the data set is closed
    }
    endResetModel();
}

void DataSetModel::setColumns(const QStringList& fields, const QStringList& titles)
{
    m_fields = fields;
    m_titles = titles;
    reset();
}

void DataSetModel::setAlignment(int column, Qt::Alignment alignment)
{
    m_alignment[column] = alignment;
    if (rowCount() > 0 && column >= 0 && column < columnCount())
        emit dataChanged(index(0, column), index(rowCount() - 1, column), { Qt::TextAlignmentRole });
}

int DataSetModel::fieldIndex(int column) const
{
    return column >= 0 && column < int(m_columns.size()) ? m_columns[size_t(column)] : -1;
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_bound || !m_bound->Active())
        return 0;
    return m_bound->RecordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_bound)
        return QVariant();
    const int field = fieldIndex(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return field < 0 ? QString() : m_bound->cellText(index.row(), field);
    case Qt::TextAlignmentRole: {
        const auto it = m_alignment.find(index.column());
        if (it != m_alignment.end())
            return QVariant::fromValue(it->second);
        const int type = m_bound->cell(index.row(), field).typeId();
        if (type == QMetaType::LongLong || type == QMetaType::Double)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    default:
        return QVariant();
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, o, role);
    if (section < m_titles.size() && !m_titles[section].isEmpty())
        return m_titles[section];
    if (section < m_fields.size())
        return m_fields[section];
    const int field = fieldIndex(section);
    if (m_bound && field >= 0 && field < m_bound->FieldCount())
        return m_bound->fieldNames().value(field);
    return QVariant();
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_bound && m_bound->canModifyField(fieldIndex(index.column())))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int field = fieldIndex(index.column());
    if (role != Qt::EditRole || !index.isValid() || !m_bound || !m_bound->canModifyField(field))
        return false;
    // Called from inside the view's event handling: report failures here instead of throwing
    // through Qt, and leave the row as it was.
    try {
        m_bound->moveTo(index.row() + 1);
        m_bound->Edit();
        m_bound->Fields(field)->SetValue(value);
        m_bound->Post();
        return true;
    } catch (const DatabaseError& e) {
        m_bound->Cancel();
        showError(e.message());
        return false;
    }
}

void DataSetModel::setCurrentRow(int row)
{
    if (m_bound && m_bound->Active() && row >= 0 && row < rowCount() && row != currentRow())
        m_bound->moveTo(row + 1);
}

int DataSetModel::currentRow() const { return m_bound && m_bound->Active() ? m_bound->RecNo() - 1 : -1; }

} // namespace platform
