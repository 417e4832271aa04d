#pragma once

// The program's small data-set layer over SQLite: the stand-in for the original's database
// engine and its table, query and data-source components. Callers build SQL as text (quoted
// integers, 'mm/dd/yyyy' dates and H:MM:SS times as written) and read fields by name; the layer
// makes SQLite compare and sort those literals by value.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <stdexcept>
#include <vector>

namespace platform {

// Raised for every failure of the database. A failure SQLite reports is said in Japanese,
// naming the database file and the cause, with SQLite's own message as a detail under it
// (platform/DatabaseFailure.h); the layer's own refusals are said in Japanese as they are.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString message() const { return QString::fromUtf8(what()); }
};

// One database file. Opened in WAL mode with a busy time-out so that the outside programs
// (the monitor, the results program) can read and write the same file at the same time.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Path of the database file; by default "tavo.db" in the data folder.
    void setPath(const QString& path);
    QString path() const;

    void setConnected(bool connected); // Connected := true opens, false closes
    bool connected() const;

    // Runs one statement (or several separated by ';') that returns no rows.
    // Returns the number of rows changed by the last statement (0 for an UPDATE that matched
    // nothing, which is no error). "create table" and "alter table ... add" declare date, time
    // and timestamp columns with the collations of platform/SqlDialect.h, and an alter with
    // several add/drop clauses runs clause by clause, all or nothing.
    int execute(const QString& sql);
    // The same, with values for the statements' named parameters (":name", the name given with
    // its colon); a value is bound wherever a statement names it, so text such as a file path
    // reaches the table intact, whatever quotes it holds.
    struct Binding {
        QString name;
        QVariant value;
    };
    int execute(const QString& sql, const std::vector<Binding>& bindings);
    // True when the table exists in the database ("taikai" or "taikai.DB", any case).
    bool tableExists(const QString& name) const;
    // Column names of a table as declared, in order; empty when the table does not exist.
    QStringList columnNames(const QString& table) const;
    // A column's declared type as the table was created ("integer", "varchar(10)"); empty when
    // the table or the column does not exist.
    QString columnType(const QString& table, const QString& column) const;

    // True while a transaction (or savepoint) of this connection is open.
    bool inTransaction() const;

    struct Impl;
    Impl* impl() const { return m_impl.get(); }

private:
    std::unique_ptr<Impl> m_impl;
};

// A write transaction on a database: every statement run on the connection while it lives is
// part of it, and they all take effect at Commit or none does. The outermost one begins as a
// writer (BEGIN IMMEDIATE), so that it waits out another program's write lock for the busy
// time-out instead of failing when a read would have to turn into a write; one opened inside
// another is a savepoint of it. Rolled back when destroyed uncommitted (an exception, an early
// return).
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

private:
    Database& m_db;
    QString m_savepoint; // empty for the outermost transaction
    bool m_done = false;
};

class DataSet;

// A column of the current row, read and written by name. NULL reads as 0 or empty text.
class Field {
public:
    QString FieldName() const { return m_name; }
    bool IsNull() const;
    QString AsString() const;
    int AsInteger() const;
    double AsFloat() const;
    QDateTime AsDateTime() const; // a time alone comes on 1899/12/30, NULL as 1899/12/30 0:00:00
    QDate AsDate() const;
    QTime AsTime() const;
    QVariant Value() const;
    // The column's declared type as the database gives it ("" for computed columns).
    QString declaredType() const;

    // Writing needs the data set in Edit or Insert state.
    void SetAsString(const QString& v);
    void SetAsInteger(int v);
    void SetAsFloat(double v);
    void SetValue(const QVariant& v);
    void Clear();

private:
    friend class DataSet;
    Field(DataSet* owner, int index, QString name)
        : m_owner(owner)
        , m_index(index)
        , m_name(std::move(name))
    {
    }
    DataSet* m_owner;
    int m_index;
    QString m_name;
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

// Rows of a select held in memory with a cursor, like the original's data sets. A live result
// (RequestLive on a query, always on a table) can be changed with Edit/Append/Post/Delete; the
// changes are written to the underlying table by its rowid.
class DataSet : public QObject {
    Q_OBJECT
public:
    explicit DataSet(Database* db, QObject* parent = nullptr);
    ~DataSet() override;

    Database* database() const { return m_db; }

    void Open();
    void Close();
    bool Active() const;
    void SetActive(bool active) { active ? Open() : Close(); }
    // Re-runs the select and keeps the cursor on the same row where it still exists.
    void Refresh();

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    int RecordCount() const;
    int RecNo() const; // 1-based; 0 when there is no row
    void moveTo(int recNo); // 1-based

    int FieldCount() const;
    Field* Fields(int index);
    Field* FieldByName(const QString& name); // raises DatabaseError when missing (case-insensitive)
    Field* FindField(const QString& name); // nullptr when missing
    QStringList fieldNames() const;

    DataSetState State() const;
    void Edit();
    void Append();
    void Insert();
    void Post();
    void Cancel();
    void Delete();

    // Moves to the first row whose fields equal the values (compared as text); false when none.
    bool Locate(const QStringList& fields, const QVariantList& values);
    bool Locate(const QString& field, const QVariant& value)
    {
        return Locate(QStringList { field }, { value });
    }

    using Bookmark = qint64; // the row's rowid
    Bookmark GetBookmark() const;
    bool GotoBookmark(Bookmark b);

    // The value of a cell as Field::Value gives it, and its text as Field::AsString, for models.
    // row and column count from 0.
    QVariant cell(int row, int column) const;
    QString cellText(int row, int column) const;
    // True when the result is live (changes go to its table) and the column is one of the table's.
    bool CanModify() const;
    bool canModifyField(int column) const;
    // Field values changed since Edit/Append/Insert and not yet posted.
    bool Modified() const;

signals:
    void opened();
    void closed();
    void rowsChanged(); // rows re-read, added or removed
    void currentChanged(); // the cursor moved or the current row's values changed

protected:
    // The select that fills the data set, and the table that live changes go to ("" when read-only).
    virtual QString selectSql() const = 0;
    virtual QString liveTable() const = 0;
    // Counts changes of the select's text; Open re-reads an open data set when it moved.
    virtual quint64 textVersion() const { return 0; }
    // Values for the select's named parameters (":name" as written in the text).
    struct BoundValue {
        QString name; // with its leading ':'
        QVariant value;
    };
    virtual std::vector<BoundValue> parameterValues() const { return {}; }

private:
    friend class Field;
    friend struct DataSetAccess;
    struct Rows;
    Database* m_db;
    std::unique_ptr<Rows> m_rows;
};

// The SQL lines of a query. Every change is counted, so that a query whose lines were cleared
// and added again reads its rows afresh at the next Open, even when the text came out the same.
class SqlLines : public QStringList {
public:
    using QStringList::QStringList;
    SqlLines& operator=(const QStringList& lines)
    {
        QStringList::operator=(lines);
        ++m_changes;
        return *this;
    }
    void clear()
    {
        QStringList::clear();
        ++m_changes;
    }
    void append(const QString& line)
    {
        QStringList::append(line);
        ++m_changes;
    }
    SqlLines& operator<<(const QString& line)
    {
        append(line);
        return *this;
    }
    SqlLines& operator<<(const QStringList& lines)
    {
        QStringList::append(lines);
        ++m_changes;
        return *this;
    }
    void Clear() { clear(); }
    void Add(const QString& line) { append(line); }
    QString Text() const { return join(u'\n'); }
    quint64 changes() const { return m_changes; }

private:
    quint64 m_changes = 0;
};

// The types a query parameter can be given, as the original's field types name them.
enum class FieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime
};

class Query;

// A named parameter of a query's select (":name" in its text). Setting a value by kind also
// gives the parameter that type when it has none yet. Dates, times and date-times are bound as
// the tables store them ('mm/dd/yyyy', H:MM:SS), so that they compare with stored values.
class Param {
public:
    QString Name() const { return m_name; }
    FieldType DataType() const { return m_type; }
    void SetDataType(FieldType type);
    bool IsNull() const { return m_value.isNull(); }
    QVariant Value() const { return m_value; }

    void SetAsString(const QString& v);
    void SetAsInteger(int v);
    void SetAsFloat(double v);
    void SetAsBoolean(bool v);
    void SetAsDate(const QDate& v);
    void SetAsTime(const QTime& v);
    void SetAsDateTime(const QDateTime& v);
    void Clear();

    QString AsString() const;
    int AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;

    // The value as the statement receives it.
    QVariant boundValue() const;

private:
    friend class Query;
    Param(Query* owner, QString name)
        : m_owner(owner)
        , m_name(std::move(name))
    {
    }
    void set(FieldType kind, const QVariant& v);

    Query* m_owner;
    QString m_name;
    FieldType m_type = FieldType::ftUnknown;
    QVariant m_value;
};

// The original's TQuery: SQL lines cleared, added, opened or executed.
class Query : public DataSet {
    Q_OBJECT
public:
    explicit Query(Database* db, QObject* parent = nullptr);
    ~Query() override;

    SqlLines SQL; // SQL.clear(); SQL << "..."; or the helpers below
    void clearSQL() { SQL.clear(); }
    void addSQL(const QString& line) { SQL << line; }
    bool RequestLive = false;

    // The parameters named in the select's text, in the order they first appear. A parameter
    // keeps its type and value while the text names it; the next Open binds the values (a
    // parameter without value binds NULL) and re-reads the rows when a value changed.
    int ParamCount() const;
    Param* Params(int index) const;
    Param* FindParam(const QString& name) const; // case-insensitive; nullptr when missing
    Param* ParamByName(const QString& name) const; // raises DatabaseError when missing

    // Runs the statement(s) that return no rows, with the parameters' values bound. Returns rows
    // changed by the last one.
    int ExecSQL();
    int RowsAffected() const { return m_rowsAffected; }

protected:
    QString selectSql() const override;
    QString liveTable() const override;
    quint64 textVersion() const override { return SQL.changes() + m_paramChanges; }
    std::vector<BoundValue> parameterValues() const override;

private:
    friend class Param;
    void syncParams() const;

    int m_rowsAffected = 0;
    quint64 m_paramChanges = 0;
    mutable quint64 m_paramsVersion = ~quint64(0);
    mutable std::vector<std::unique_ptr<Param>> m_params;
};

// The parameter names in a statement text (":name", outside quotes and comments), in order of
// first appearance, without the colon.
QStringList parameterNames(const QString& sql);

// The original's TTable: every row of one table, always live.
class Table : public DataSet {
    Q_OBJECT
public:
    explicit Table(Database* db, QObject* parent = nullptr)
        : DataSet(db, parent)
    {
    }
    QString TableName; // "taikai" or "taikai.DB": the extension is dropped

protected:
    QString selectSql() const override;
    QString liveTable() const override;
};

// The original's TDataSource: what data-aware controls attach to.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(DataSet* dataSet = nullptr, QObject* parent = nullptr)
        : QObject(parent)
        , m_dataSet(dataSet)
    {
    }
    DataSet* dataSet() const { return m_dataSet; }
    void setDataSet(DataSet* ds)
    {
        if (ds == m_dataSet)
            return;
        m_dataSet = ds;
        emit dataSetChanged();
    }

signals:
    void dataSetChanged();

private:
    DataSet* m_dataSet;
};

} // namespace platform
