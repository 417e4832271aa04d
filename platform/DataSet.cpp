#include "platform/DataSet.h"

#include "platform/DataFolder.h"
#include "platform/DatabaseFailure.h"
#include "platform/SqlDialect.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace platform {

namespace {

// The rowid read after a live (or plain single-table) select's own columns.
const QString kRowidAlias = QStringLiteral("tavo_rowid_");
const QDate kZeroDate(1899, 12, 30); // the date of a time alone, as the original's date-times had it

[[noreturn]] void fail(const QString& message) { throw DatabaseError(message.toStdString()); }

// A prepared statement that is finalized whatever happens.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
        : m_db(db)
    {
        // SQLite stops reading at a NUL and reports the rest as a raw "unrecognized token".
        if (sql.contains(QChar(0)))
            fail(QStringLiteral("SQL文に NUL 文字が含まれているため実行できません。"));
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(databaseFailureText(db, rc));
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_stmt; }
    bool step() // true while rows come
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(databaseFailureText(m_db, rc));
    }
    void bind(int index, const QVariant& v)
    {
        int rc;
        switch (v.typeId()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(m_stmt, index);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob64(
                m_stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            if (v.isNull()) {
                rc = sqlite3_bind_null(m_stmt, index);
                break;
            }
            const QByteArray b = v.toString().toUtf8();
            rc = sqlite3_bind_text64(
                m_stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
        if (rc != SQLITE_OK)
            fail(databaseFailureText(m_db, rc));
    }
    QVariant column(int i) const
    {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_stmt, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, i));
        case SQLITE_BLOB: {
            const void* p = sqlite3_column_blob(m_stmt, i);
            return QVariant(QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(m_stmt, i)));
        }
        case SQLITE_NULL:
            return QVariant();
        default: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
            return QVariant(QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, i)));
        }
        }
    }
    static QString text(const char* p) { return p ? QString::fromUtf8(p) : QString(); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

struct Column {
    QString name; // as the result names it
    QString declType; // declared type of the table column; "" for expressions
    QString originTable; // table and column it comes from; "" for expressions
    QString originName;
    sql::Temporal kind = sql::Temporal::None;
    bool writable = false;
};

QString plainText(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return QString();
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

// The number a value holds: 0 for NULL and empty text, nothing for text that is no number.
std::optional<double> numberOf(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return 0.0;
    case QMetaType::LongLong:
    case QMetaType::Double:
        return v.toDouble();
    default:
        break;
    }
    const QString s = plainText(v).trimmed();
    if (s.isEmpty())
        return 0.0;
    bool ok = false;
    const double d = s.toDouble(&ok);
    if (ok && std::isfinite(d))
        return d;
    return std::nullopt;
}

// The text of a stored value as the program reads it: dates yyyy/mm/dd, times H:MM:SS.
QString textOf(const Column& c, const QVariant& v)
{
    if (v.isNull())
        return QString();
    const QString raw = plainText(v);
    switch (c.kind) {
    case sql::Temporal::Date:
        if (const auto d = sql::parseDate(raw))
            return sql::shownDate(*d);
        break;
    case sql::Temporal::Time:
        if (const auto t = sql::parseTime(raw))
            return sql::storedTime(*t);
        break;
    case sql::Temporal::Timestamp:
        if (const auto dt = sql::parseDateTime(raw)) {
            if (dt->time() == QTime(0, 0))
                return sql::shownDate(dt->date());
            return sql::shownDate(dt->date()) + u' ' + sql::storedTime(dt->time());
        }
        break;
    case sql::Temporal::None:
        break;
    }
    return raw;
}

// The typed value: QDate, QTime or QDateTime for date and time columns that parse.
QVariant typedOf(const Column& c, const QVariant& v)
{
    if (v.isNull() || c.kind == sql::Temporal::None)
        return v;
    const QString raw = plainText(v);
    switch (c.kind) {
    case sql::Temporal::Date:
        if (const auto d = sql::parseDate(raw))
            return *d;
        break;
    case sql::Temporal::Time:
        if (const auto t = sql::parseTime(raw))
            return *t;
        break;
    case sql::Temporal::Timestamp:
        if (const auto dt = sql::parseDateTime(raw))
            return *dt;
        break;
    case sql::Temporal::None:
        break;
    }
    return v;
}

// A value as it is stored in a column: dates as 'mm/dd/yyyy' and times as H:MM:SS, like the
// statements write them, so that stored values compare alike whoever wrote them.
QVariant storageOf(const Column& c, const QVariant& v)
{
    if (v.isNull())
        return QVariant();
    const int type = v.typeId();
    switch (c.kind) {
    case sql::Temporal::Date:
        if (type == QMetaType::QDate)
            return sql::storedDate(v.toDate());
        if (type == QMetaType::QDateTime)
            return sql::storedDate(v.toDateTime().date());
        break;
    case sql::Temporal::Time:
        if (type == QMetaType::QTime)
            return sql::storedTime(v.toTime());
        if (type == QMetaType::QDateTime)
            return sql::storedTime(v.toDateTime().time());
        break;
    case sql::Temporal::Timestamp:
        if (type == QMetaType::QDate)
            return sql::storedDateTime(QDateTime(v.toDate(), QTime(0, 0)));
        if (type == QMetaType::QDateTime)
            return sql::storedDateTime(v.toDateTime());
        break;
    case sql::Temporal::None:
        if (type == QMetaType::QDate)
            return sql::storedDate(v.toDate());
        if (type == QMetaType::QTime)
            return sql::storedTime(v.toTime());
        if (type == QMetaType::QDateTime)
            return sql::storedDateTime(v.toDateTime());
        // An emptied number field holds nothing rather than an empty text.
        if (type == QMetaType::QString && v.toString().trimmed().isEmpty()
            && !sql::hasTextAffinity(c.declType))
            return QVariant();
        return v;
    }
    if (type != QMetaType::QString)
        return v;
    const QString s = v.toString().trimmed();
    if (s.isEmpty())
        return QVariant(); // an emptied date or time field holds nothing
    switch (c.kind) {
    case sql::Temporal::Date:
        if (const auto d = sql::parseDate(s))
            return sql::storedDate(*d);
        fail(QStringLiteral("'%1' は有効な日付ではありません。").arg(s));
    case sql::Temporal::Time:
        if (const auto t = sql::parseTime(s))
            return sql::storedTime(*t);
        fail(QStringLiteral("'%1' は有効な時刻ではありません。").arg(s));
    case sql::Temporal::Timestamp:
        if (const auto dt = sql::parseDateTime(s))
            return sql::storedDateTime(*dt);
        if (const auto t = sql::parseTime(s))
            return sql::storedDateTime(QDateTime(kZeroDate, *t));
        fail(QStringLiteral("'%1' は有効な日付と時刻ではありません。").arg(s));
    case sql::Temporal::None:
        break;
    }
    return v;
}

} // namespace

// ---- Database ----------------------------------------------------------------------------------

struct Database::Impl {
    QString path;
    sqlite3* db = nullptr;

    ~Impl() { close(); }

    void open()
    {
        if (db)
            return;
        const QString file = path.isEmpty() ? dataFilePath(QStringLiteral("tavo.db")) : path;
        const int rc = sqlite3_open_v2(
            file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            const QString message = databaseFailureText(db, rc, file);
            sqlite3_close(db);
            db = nullptr;
            fail(message);
        }
        // Other programs use the file at the same time: wait for their locks instead of failing.
        sqlite3_busy_timeout(db, 5000);
        sql::registerCollations(db);
        try {
            Statement wal(db, QStringLiteral("PRAGMA journal_mode=WAL"));
            while (wal.step()) { }
        } catch (...) {
            close();
            throw;
        }
    }

    void close()
    {
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
    }

    sqlite3* handle()
    {
        open();
        return db;
    }

    // Runs one statement as SQLite takes it; returns the rows it changed.
    int run(const QString& statement, const std::vector<Database::Binding>& bindings = {})
    {
        const int before = sqlite3_total_changes(db);
        Statement st(db, statement);
        for (const Database::Binding& b : bindings) {
            const QByteArray name = b.name.toUtf8();
            if (const int index = sqlite3_bind_parameter_index(st.get(), name.constData()))
                st.bind(index, b.value);
        }
        while (st.step()) { }
        return sqlite3_total_changes(db) != before ? sqlite3_changes(db) : 0;
    }
};

Database::Database()
    : m_impl(std::make_unique<Impl>())
{
}
Database::~Database() = default;

void Database::setPath(const QString& path)
{
    if (path == m_impl->path)
        return;
    const bool wasOpen = connected();
    m_impl->close();
    m_impl->path = path;
    if (wasOpen)
        m_impl->open();
}

QString Database::path() const
{
    return m_impl->path.isEmpty() ? dataFilePath(QStringLiteral("tavo.db")) : m_impl->path;
}

void Database::setConnected(bool connected)
{
    if (connected)
        m_impl->open();
    else
        m_impl->close();
}

bool Database::connected() const { return m_impl->db != nullptr; }

int Database::execute(const QString& sql) { return execute(sql, {}); }

int Database::execute(const QString& sql, const std::vector<Binding>& bindings)
{
    m_impl->open();
    const QStringList statements = sql::splitStatements(sql);
    if (statements.isEmpty())
        fail(QStringLiteral("SQL文がありません。"));
    int changes = 0;
    for (const QString& s : statements) {
        const QStringList parts = sql::rewrite(s);
        if (parts.size() == 1) {
            changes = m_impl->run(parts.front(), bindings);
            continue;
        }
        // One statement of the program's SQL that SQLite takes as several: they run together or
        // not at all, and begin as a writer like every other write transaction.
        Transaction whole(*this);
        for (const QString& p : parts)
            changes = m_impl->run(p, bindings);
        whole.Commit();
    }
    return changes;
}

bool Database::inTransaction() const { return m_impl->db && !sqlite3_get_autocommit(m_impl->db); }

Transaction::Transaction(Database& db)
    : m_db(db)
{
    sqlite3* h = db.impl()->handle();
    if (sqlite3_get_autocommit(h)) {
        db.impl()->run(QStringLiteral("BEGIN IMMEDIATE"));
        return;
    }
    static int counter = 0;
    m_savepoint = QStringLiteral("tavo_tx_%1").arg(++counter);
    db.impl()->run(QStringLiteral("SAVEPOINT ") + m_savepoint);
}

Transaction::~Transaction()
{
    if (m_done)
        return;
    sqlite3* h = m_db.impl()->db;
    if (!h)
        return;
    // A rollback cannot be reported from a destructor; it only fails when the connection is gone.
    if (m_savepoint.isEmpty()) {
        if (!sqlite3_get_autocommit(h))
            sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        const QByteArray sp = m_savepoint.toUtf8();
        const QByteArray undo = "ROLLBACK TO " + sp + "; RELEASE " + sp;
        sqlite3_exec(h, undo.constData(), nullptr, nullptr, nullptr);
    }
}

void Transaction::Commit()
{
    if (m_done)
        return;
    m_db.impl()->run(
        m_savepoint.isEmpty() ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE ") + m_savepoint);
    m_done = true;
}

bool Database::tableExists(const QString& name) const
{
    Statement st(m_impl->handle(),
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type IN ('table','view') "
                       "AND name = ?1 COLLATE NOCASE"));
    st.bind(1, sql::plainTableName(name));
    return st.step();
}

QStringList Database::columnNames(const QString& table) const
{
    Statement st(m_impl->handle(), QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
    st.bind(1, sql::plainTableName(table));
    QStringList names;
    while (st.step())
        names << st.column(0).toString();
    return names;
}

QString Database::columnType(const QString& table, const QString& column) const
{
    Statement st(m_impl->handle(),
        QStringLiteral("SELECT type FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE"));
    st.bind(1, sql::plainTableName(table));
    st.bind(2, column);
    return st.step() ? st.column(0).toString() : QString();
}

// ---- DataSet -------------------------------------------------------------------------------------

struct DataSet::Rows {
    bool active = false;
    DataSetState state = DataSetState::Inactive;
    QString sql; // the select as opened
    quint64 version = 0;
    QString requested; // the live table asked for when opened
    QString table; // the table that changes go to; "" when read-only
    bool hasRowid = false;
    std::vector<Column> cols;
    std::vector<std::vector<QVariant>> data;
    std::vector<qint64> rowids;
    int cur = -1;
    bool bof = true, eof = true;
    std::vector<QVariant> buffer; // the current row while editing or inserting
    std::vector<bool> changed;
    std::vector<std::unique_ptr<Field>> fields; // kept across reopening: callers may hold them
    std::vector<Field*> byIndex;

    int count() const { return int(data.size()); }
    bool editing() const { return state == DataSetState::Edit || state == DataSetState::Insert; }
    const QVariant& value(int row, int col) const
    {
        if (editing() && row == cur)
            return buffer[size_t(col)];
        return data[size_t(row)][size_t(col)];
    }
};

DataSet::DataSet(Database* db, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_rows(std::make_unique<Rows>())
{
}

DataSet::~DataSet() = default;

namespace {

void requireActive(bool active)
{
    if (!active)
        fail(QStringLiteral("データセットが開かれていません。"));
}

} // namespace

namespace {

void requireLive(bool canModify)
{
    if (!canModify)
        fail(QStringLiteral("読み取り専用のデータセットは変更できません。"));
}

} // namespace

// What a field reads: its column and its value in the current row (or the edit buffer).
struct DataSetAccess {
    const Column& column;
    QVariant value;

    static DataSetAccess of(const DataSet* owner, int index, const QString& name)
    {
        const DataSet::Rows& r = *owner->m_rows;
        if (index < 0 || index >= int(r.cols.size()))
            fail(QStringLiteral("フィールド '%1' が見つかりません。").arg(name));
        return { r.cols[size_t(index)], r.cur >= 0 ? r.value(r.cur, index) : QVariant() };
    }
    static DataSet::Rows& rows(DataSet* owner) { return *owner->m_rows; }
    // Leaving a row that is being edited posts its changes; a row without changes is left as
    // it was (a new row that was never filled in is dropped, not written empty).
    static void leaveEdit(DataSet* owner)
    {
        if (owner->Modified())
            owner->Post();
        else
            owner->Cancel();
    }
    // The rows of an open data set with no edit pending: what moving the cursor needs.
    static DataSet::Rows& browse(DataSet* owner)
    {
        DataSet::Rows& r = *owner->m_rows;
        requireActive(r.active);
        if (r.editing())
            leaveEdit(owner);
        return r;
    }
    // One row forward or back; at either end the cursor stays and Eof or Bof is set.
    static void step(DataSet* owner, int delta)
    {
        DataSet::Rows& r = browse(owner);
        const int to = r.cur + delta;
        if (to >= 0 && to < r.count()) {
            r.cur = to;
            r.bof = r.eof = false;
        } else if (delta > 0) {
            r.eof = true;
        } else {
            r.bof = true;
        }
        emit owner->currentChanged();
    }
    // A blank row at the end (append) or before the current row (insert), in Insert state.
    static void startInsert(DataSet* owner, bool atEnd)
    {
        DataSet::Rows& r = browse(owner);
        requireLive(owner->CanModify());
        const int at = atEnd ? r.count() : std::max(r.cur, 0);
        r.data.insert(r.data.begin() + at, std::vector<QVariant>(r.cols.size()));
        r.rowids.insert(r.rowids.begin() + at, 0);
        r.cur = at;
        r.buffer.assign(r.cols.size(), QVariant());
        r.changed.assign(r.cols.size(), false);
        r.state = DataSetState::Insert;
        r.bof = r.eof = false;
        emit owner->rowsChanged();
        emit owner->currentChanged();
    }
};

void DataSet::Open()
{
    const QString sql = selectSql();
    const QString live = liveTable();
    Rows& r = *m_rows;
    if (r.active && sql == r.sql && textVersion() == r.version && live == r.requested)
        return; // already open on the same, untouched select
    if (r.active)
        Close();

    const QStringList statements = sql::splitStatements(sql);
    if (statements.isEmpty())
        fail(QStringLiteral("SQL文がありません。"));
    if (statements.size() > 1)
        fail(QStringLiteral("一度に開ける文は一つだけです。"));
    sqlite3* db = m_db->impl()->handle();

    const sql::SelectShape shape = sql::analyzeSelect(statements.front());
    std::unique_ptr<Statement> st;
    bool hasRowid = false;
    if (shape.rowidInsert >= 0) {
        try {
            st = std::make_unique<Statement>(db, sql::withRowid(statements.front(), shape, kRowidAlias));
            hasRowid = true;
        } catch (const DatabaseError&) {
            // A view has no rowid: read it as written (a real error shows up again below).
        }
    }
    if (!st)
        st = std::make_unique<Statement>(db, statements.front());
    for (const BoundValue& p : parameterValues()) {
        const QByteArray name = p.name.toUtf8();
        if (const int index = sqlite3_bind_parameter_index(st->get(), name.constData()))
            st->bind(index, p.value);
    }
    const int n = sqlite3_column_count(st->get());
    if (n == 0)
        fail(QStringLiteral("結果を返さない文は開けません。"));

    std::vector<Column> cols;
    const int last = hasRowid ? n - 1 : n; // the rowid comes after the select's own columns
    const QString table = hasRowid ? live : QString();
    for (int i = 0; i < last; ++i) {
        Column c;
        c.name = Statement::text(sqlite3_column_name(st->get(), i));
        c.declType = Statement::text(sqlite3_column_decltype(st->get(), i));
        c.originTable = Statement::text(sqlite3_column_table_name(st->get(), i));
        c.originName = Statement::text(sqlite3_column_origin_name(st->get(), i));
        c.kind = sql::temporalOf(c.declType);
        c.writable = !table.isEmpty() && !c.originName.isEmpty()
            && c.originTable.compare(table, Qt::CaseInsensitive) == 0;
        cols.push_back(c);
    }
    std::vector<std::vector<QVariant>> data;
    std::vector<qint64> rowids;
    while (st->step()) {
        std::vector<QVariant> row;
        row.reserve(size_t(last));
        for (int i = 0; i < last; ++i)
            row.push_back(st->column(i));
        data.push_back(std::move(row));
        if (hasRowid)
            rowids.push_back(sqlite3_column_int64(st->get(), last));
    }

    r.sql = sql;
    r.version = textVersion();
    r.requested = live;
    r.table = table;
    r.hasRowid = hasRowid;
    r.cols = std::move(cols);
    r.data = std::move(data);
    r.rowids = std::move(rowids);
    r.active = true;
    r.state = DataSetState::Browse;
    r.cur = r.data.empty() ? -1 : 0;
    r.bof = true;
    r.eof = r.data.empty();

    // Bind the field objects to the new columns, keeping those of earlier opens.
    r.byIndex.assign(r.cols.size(), nullptr);
    for (auto& f : r.fields)
        f->m_index = -1;
    for (size_t i = 0; i < r.cols.size(); ++i) {
        Field* field = nullptr;
        for (auto& f : r.fields) {
            if (f->m_index < 0 && f->m_name.compare(r.cols[i].name, Qt::CaseInsensitive) == 0) {
                field = f.get();
                break;
            }
        }
        if (!field) {
            r.fields.push_back(std::unique_ptr<Field>(new Field(this, int(i), r.cols[i].name)));
            field = r.fields.back().get();
        }
        field->m_index = int(i);
        field->m_name = r.cols[i].name;
        r.byIndex[i] = field;
    }
    emit opened();
    emit currentChanged();
}

void DataSet::Close()
{
    Rows& r = *m_rows;
    if (!r.active)
        return;
    r.active = false;
    r.state = DataSetState::Inactive;
    r.data.clear();
    r.rowids.clear();
    r.cols.clear();
    r.byIndex.clear();
    for (auto& f : r.fields)
        f->m_index = -1;
    r.cur = -1;
    r.bof = r.eof = true;
    r.sql.clear();
    r.table.clear();
    emit closed();
}

bool DataSet::Active() const { return m_rows->active; }

void DataSet::Refresh()
{
    Rows& r = DataSetAccess::browse(this);
    const bool hadRowid = r.hasRowid && r.cur >= 0;
    const qint64 rowid = hadRowid ? r.rowids[size_t(r.cur)] : 0;
    const int index = r.cur;
    {
        const QSignalBlocker block(this); // one rowsChanged instead of closed/opened
        r.active = false;
        Open();
        if (hadRowid && GotoBookmark(rowid)) {
            // the row is still there
        } else if (index >= 0 && r.count() > 0) {
            r.cur = std::min(index, r.count() - 1);
            r.bof = r.eof = false;
        }
    }
    emit rowsChanged();
    emit currentChanged();
}

void DataSet::First()
{
    Rows& r = DataSetAccess::browse(this);
    r.cur = r.data.empty() ? -1 : 0;
    r.bof = true;
    r.eof = r.data.empty();
    emit currentChanged();
}

void DataSet::Next() { DataSetAccess::step(this, +1); }
void DataSet::Prior() { DataSetAccess::step(this, -1); }

void DataSet::Last()
{
    Rows& r = DataSetAccess::browse(this);
    r.cur = r.count() - 1;
    r.eof = true;
    r.bof = r.data.empty();
    emit currentChanged();
}

bool DataSet::Eof() const { return m_rows->eof; }
bool DataSet::Bof() const { return m_rows->bof; }
int DataSet::RecordCount() const { return m_rows->active ? m_rows->count() : 0; }
int DataSet::RecNo() const { return m_rows->active ? m_rows->cur + 1 : 0; }

void DataSet::moveTo(int recNo)
{
    Rows& r = *m_rows;
    requireActive(r.active);
    if (r.data.empty())
        return;
    if (r.editing() && recNo != r.cur + 1)
        DataSetAccess::leaveEdit(this);
    if (r.data.empty())
        return;
    r.cur = std::clamp(recNo, 1, r.count()) - 1;
    r.bof = r.eof = false;
    emit currentChanged();
}

int DataSet::FieldCount() const { return int(m_rows->byIndex.size()); }

Field* DataSet::Fields(int index)
{
    if (index < 0 || index >= FieldCount())
        fail(QStringLiteral("フィールド番号 %1 は範囲外です。").arg(index));
    return m_rows->byIndex[size_t(index)];
}

Field* DataSet::FindField(const QString& name)
{
    for (Field* f : m_rows->byIndex)
        if (f->m_name.compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

Field* DataSet::FieldByName(const QString& name)
{
    if (Field* f = FindField(name))
        return f;
    fail(QStringLiteral("フィールド '%1' が見つかりません。").arg(name));
}

QStringList DataSet::fieldNames() const
{
    QStringList names;
    for (const Column& c : m_rows->cols)
        names << c.name;
    return names;
}

DataSetState DataSet::State() const { return m_rows->state; }

bool DataSet::CanModify() const { return m_rows->active && !m_rows->table.isEmpty(); }

bool DataSet::canModifyField(int column) const
{
    return CanModify() && column >= 0 && column < int(m_rows->cols.size())
        && m_rows->cols[size_t(column)].writable;
}

bool DataSet::Modified() const
{
    const Rows& r = *m_rows;
    return r.editing() && std::find(r.changed.begin(), r.changed.end(), true) != r.changed.end();
}

void DataSet::Edit()
{
    Rows& r = *m_rows;
    requireActive(r.active);
    if (r.editing())
        return;
    requireLive(CanModify());
    if (r.data.empty()) {
        Append(); // editing an empty result starts a new row, as data-aware controls expect
        return;
    }
    r.buffer = r.data[size_t(r.cur)];
    r.changed.assign(r.cols.size(), false);
    r.state = DataSetState::Edit;
}

void DataSet::Append() { DataSetAccess::startInsert(this, true); }
void DataSet::Insert() { DataSetAccess::startInsert(this, false); }

void DataSet::Post()
{
    Rows& r = *m_rows;
    if (!r.editing())
        return;
    sqlite3* db = m_db->impl()->handle();
    const QString table = sql::quoteIdentifier(r.table);
    std::vector<size_t> changed;
    for (size_t i = 0; i < r.cols.size(); ++i)
        if (r.changed[i])
            changed.push_back(i);

    qint64 rowid = r.rowids[size_t(r.cur)];
    if (r.state == DataSetState::Edit) {
        if (!changed.empty()) {
            QStringList sets;
            for (size_t k = 0; k < changed.size(); ++k)
                sets << QStringLiteral("%1=?%2")
                            .arg(sql::quoteIdentifier(r.cols[changed[k]].originName))
                            .arg(k + 1);
            Statement st(db,
                QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?%3")
                    .arg(table, sets.join(u','))
                    .arg(changed.size() + 1));
            for (size_t k = 0; k < changed.size(); ++k)
                st.bind(int(k + 1), r.buffer[changed[k]]);
            st.bind(int(changed.size() + 1), rowid);
            st.step();
            if (sqlite3_changes(db) == 0)
                fail(QStringLiteral("この行は他で削除されています。"));
        }
    } else {
        QStringList names, marks;
        for (size_t k = 0; k < changed.size(); ++k) {
            names << sql::quoteIdentifier(r.cols[changed[k]].originName);
            marks << QStringLiteral("?%1").arg(k + 1);
        }
        const QString text = changed.empty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                             : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                   .arg(table, names.join(u','), marks.join(u','));
        Statement st(db, text);
        for (size_t k = 0; k < changed.size(); ++k)
            st.bind(int(k + 1), r.buffer[changed[k]]);
        st.step();
        rowid = sqlite3_last_insert_rowid(db);
        r.rowids[size_t(r.cur)] = rowid;
    }

    // Read the row back as the table holds it (affinity may have changed what was written).
    std::vector<QVariant> row = r.buffer;
    QStringList names;
    std::vector<size_t> writable;
    for (size_t i = 0; i < r.cols.size(); ++i) {
        if (r.cols[i].writable) {
            names << sql::quoteIdentifier(r.cols[i].originName);
            writable.push_back(i);
        }
    }
    if (!names.isEmpty()) {
        Statement st(db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1").arg(names.join(u','), table));
        st.bind(1, rowid);
        if (st.step())
            for (size_t k = 0; k < writable.size(); ++k)
                row[writable[k]] = st.column(int(k));
    }
    r.data[size_t(r.cur)] = std::move(row);
    r.state = DataSetState::Browse;
    r.buffer.clear();
    r.changed.clear();
    emit currentChanged();
}

void DataSet::Cancel()
{
    Rows& r = *m_rows;
    if (!r.editing())
        return;
    const bool inserting = r.state == DataSetState::Insert;
    r.state = DataSetState::Browse;
    r.buffer.clear();
    r.changed.clear();
    if (inserting) {
        r.data.erase(r.data.begin() + r.cur);
        r.rowids.erase(r.rowids.begin() + r.cur);
        if (r.cur >= r.count())
            r.cur = r.count() - 1;
        r.bof = r.eof = r.data.empty();
        emit rowsChanged();
    }
    emit currentChanged();
}

void DataSet::Delete()
{
    Rows& r = *m_rows;
    requireActive(r.active);
    if (r.state == DataSetState::Insert) {
        Cancel();
        return;
    }
    requireLive(CanModify());
    if (r.data.empty())
        fail(QStringLiteral("空のデータセットでは実行できません。"));
    r.state = DataSetState::Browse;
    Statement st(m_db->impl()->handle(),
        QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(sql::quoteIdentifier(r.table)));
    st.bind(1, r.rowids[size_t(r.cur)]);
    st.step();
    const bool wasLast = r.cur == r.count() - 1;
    r.data.erase(r.data.begin() + r.cur);
    r.rowids.erase(r.rowids.begin() + r.cur);
    if (r.cur >= r.count())
        r.cur = r.count() - 1;
    r.eof = wasLast || r.data.empty();
    r.bof = r.data.empty();
    emit rowsChanged();
    emit currentChanged();
}

bool DataSet::Locate(const QStringList& fields, const QVariantList& values)
{
    Rows& r = DataSetAccess::browse(this);
    std::vector<int> cols;
    QStringList wanted;
    for (int k = 0; k < fields.size(); ++k) {
        const Field* f = FieldByName(fields[k]);
        const Column& c = r.cols[size_t(f->m_index)];
        cols.push_back(f->m_index);
        QVariant v = k < values.size() ? values[k] : QVariant();
        // Compare as the field reads: a date given as 'mm/dd/yyyy' finds the row showing yyyy/mm/dd.
        try {
            v = storageOf(c, v);
        } catch (const DatabaseError&) {
        }
        wanted << textOf(c, v);
    }
    for (int row = 0; row < r.count(); ++row) {
        bool all = true;
        for (size_t k = 0; k < cols.size() && all; ++k)
            all = textOf(r.cols[size_t(cols[k])], r.data[size_t(row)][size_t(cols[k])]) == wanted[int(k)];
        if (all) {
            r.cur = row;
            r.bof = r.eof = false;
            emit currentChanged();
            return true;
        }
    }
    return false;
}

DataSet::Bookmark DataSet::GetBookmark() const
{
    const Rows& r = *m_rows;
    if (!r.active || r.cur < 0)
        return 0;
    // Without a rowid (a grouped or joined select) the row number stands in.
    return r.hasRowid ? r.rowids[size_t(r.cur)] : r.cur + 1;
}

bool DataSet::GotoBookmark(Bookmark b)
{
    Rows& r = DataSetAccess::browse(this);
    int row = -1;
    if (r.hasRowid) {
        const auto it = std::find(r.rowids.begin(), r.rowids.end(), b);
        if (it != r.rowids.end())
            row = int(it - r.rowids.begin());
    } else if (b >= 1 && b <= r.count()) {
        row = int(b - 1);
    }
    if (row < 0)
        return false;
    r.cur = row;
    r.bof = r.eof = false;
    emit currentChanged();
    return true;
}

QVariant DataSet::cell(int row, int column) const
{
    const Rows& r = *m_rows;
    if (row < 0 || row >= r.count() || column < 0 || column >= int(r.cols.size()))
        return QVariant();
    return typedOf(r.cols[size_t(column)], r.value(row, column));
}

QString DataSet::cellText(int row, int column) const
{
    const Rows& r = *m_rows;
    if (row < 0 || row >= r.count() || column < 0 || column >= int(r.cols.size()))
        return QString();
    return textOf(r.cols[size_t(column)], r.value(row, column));
}

// ---- Field -----------------------------------------------------------------------------------------

bool Field::IsNull() const
{
    // An empty text counts as no value, as blank fields did in the original's tables.
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    return a.value.isNull() || (a.value.typeId() == QMetaType::QString && a.value.toString().isEmpty());
}

QString Field::AsString() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    return textOf(a.column, a.value);
}

int Field::AsInteger() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    if (a.value.typeId() == QMetaType::LongLong)
        return int(a.value.toLongLong());
    const auto n = numberOf(a.value);
    if (!n)
        fail(QStringLiteral("'%1' は有効な整数ではありません。").arg(plainText(a.value)));
    return int(std::llround(*n));
}

double Field::AsFloat() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    const auto n = numberOf(a.value);
    if (!n)
        fail(QStringLiteral("'%1' は有効な数値ではありません。").arg(plainText(a.value)));
    return *n;
}

QDateTime Field::AsDateTime() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    const QString s = plainText(a.value).trimmed();
    if (s.isEmpty())
        return QDateTime(kZeroDate, QTime(0, 0));
    if (a.column.kind != sql::Temporal::Time)
        if (const auto dt = sql::parseDateTime(s))
            return *dt;
    if (const auto t = sql::parseTime(s))
        return QDateTime(kZeroDate, *t);
    fail(QStringLiteral("'%1' は有効な日付と時刻ではありません。").arg(s));
}

QDate Field::AsDate() const { return AsDateTime().date(); }
QTime Field::AsTime() const { return AsDateTime().time(); }

QVariant Field::Value() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    return typedOf(a.column, a.value);
}

QString Field::declaredType() const
{
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    return a.column.declType;
}

void Field::SetValue(const QVariant& v)
{
    DataSet::Rows& r = DataSetAccess::rows(m_owner);
    const auto a = DataSetAccess::of(m_owner, m_index, m_name);
    if (!r.editing())
        fail(QStringLiteral("データセットが編集モードではありません。"));
    if (!a.column.writable)
        fail(QStringLiteral("フィールド '%1' は変更できません。").arg(m_name));
    r.buffer[size_t(m_index)] = storageOf(a.column, v);
    r.changed[size_t(m_index)] = true;
    emit m_owner->currentChanged();
}

void Field::SetAsString(const QString& v) { SetValue(QVariant(v)); }
void Field::SetAsInteger(int v) { SetValue(QVariant(qlonglong(v))); }
void Field::SetAsFloat(double v) { SetValue(QVariant(v)); }
void Field::Clear() { SetValue(QVariant()); }

// ---- Query and Table -------------------------------------------------------------------------------

QStringList parameterNames(const QString& sql)
{
    QStringList names;
    const qsizetype n = sql.size();
    const auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            const qsizetype end = sql.indexOf(close, i + 1);
            i = end < 0 ? n : end;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            i = end < 0 ? n : end;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 1;
        } else if (c == u':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == u'_')) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            if (!names.contains(name, Qt::CaseInsensitive))
                names << name;
            i = j - 1;
        }
    }
    return names;
}

namespace {

// A parameter's value as a date, time or date-time: typed values as they are, texts in the
// program's formats (yyyy/mm/dd, H:MM:SS) or as statements write them.
std::optional<QDate> dateOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime)
        return v.toDate();
    if (v.typeId() == QMetaType::QString)
        return sql::parseDate(v.toString().trimmed());
    return std::nullopt;
}

std::optional<QTime> timeOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QTime || v.typeId() == QMetaType::QDateTime)
        return v.toTime();
    if (v.typeId() == QMetaType::QString)
        return sql::parseTime(v.toString().trimmed());
    return std::nullopt;
}

std::optional<QDateTime> dateTimeOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    if (v.typeId() == QMetaType::QString)
        return sql::parseDateTime(v.toString().trimmed());
    return std::nullopt;
}

} // namespace

void Param::set(FieldType kind, const QVariant& v)
{
    if (m_type == FieldType::ftUnknown)
        m_type = kind;
    m_value = v;
    ++m_owner->m_paramChanges;
}

void Param::SetDataType(FieldType type)
{
    m_type = type;
    ++m_owner->m_paramChanges;
}

void Param::SetAsString(const QString& v) { set(FieldType::ftString, v); }
void Param::SetAsInteger(int v) { set(FieldType::ftInteger, v); }
void Param::SetAsFloat(double v) { set(FieldType::ftFloat, v); }
void Param::SetAsBoolean(bool v) { set(FieldType::ftBoolean, v); }
void Param::SetAsDate(const QDate& v) { set(FieldType::ftDate, v); }
void Param::SetAsTime(const QTime& v) { set(FieldType::ftTime, v); }
void Param::SetAsDateTime(const QDateTime& v) { set(FieldType::ftDateTime, v); }

void Param::Clear()
{
    m_value = QVariant();
    ++m_owner->m_paramChanges;
}

QString Param::AsString() const
{
    switch (m_value.typeId()) {
    case QMetaType::QDate:
        return sql::shownDate(m_value.toDate());
    case QMetaType::QTime:
        return sql::storedTime(m_value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = m_value.toDateTime();
        return sql::shownDate(dt.date()) + u' ' + sql::storedTime(dt.time());
    }
    default:
        return plainText(m_value);
    }
}

int Param::AsInteger() const { return m_value.toInt(); }
double Param::AsFloat() const { return m_value.toDouble(); }
bool Param::AsBoolean() const { return m_value.toBool(); }

QVariant Param::boundValue() const
{
    if (m_value.isNull())
        return QVariant();
    // A value is sent as the parameter's type asks, whatever kind it was given as.
    switch (m_type) {
    case FieldType::ftString:
        return AsString();
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
        return QVariant(qlonglong(m_value.toLongLong()));
    case FieldType::ftBoolean:
        return QVariant(qlonglong(m_value.toBool() ? 1 : 0));
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftBCD:
        return m_value.toDouble();
    case FieldType::ftDate:
        if (const auto d = dateOf(m_value))
            return sql::storedDate(*d);
        break;
    case FieldType::ftTime:
        if (const auto t = timeOf(m_value))
            return sql::storedTime(*t);
        break;
    case FieldType::ftDateTime:
        if (const auto dt = dateTimeOf(m_value))
            return dt->time() == QTime(0, 0) ? sql::storedDate(dt->date()) : sql::storedDateTime(*dt);
        break;
    case FieldType::ftUnknown:
        break;
    }
    return m_value;
}

Query::Query(Database* db, QObject* parent)
    : DataSet(db, parent)
{
}

Query::~Query() = default;

void Query::syncParams() const
{
    if (m_paramsVersion == SQL.changes())
        return;
    m_paramsVersion = SQL.changes();
    std::vector<std::unique_ptr<Param>> params;
    for (const QString& name : parameterNames(SQL.Text())) {
        auto same = std::find_if(m_params.begin(), m_params.end(), [&](const std::unique_ptr<Param>& p) {
            return p && p->m_name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (same != m_params.end()) {
            params.push_back(std::move(*same));
        } else {
            params.push_back(std::unique_ptr<Param>(new Param(const_cast<Query*>(this), name)));
        }
    }
    m_params = std::move(params);
}

int Query::ParamCount() const
{
    syncParams();
    return int(m_params.size());
}

Param* Query::Params(int index) const
{
    syncParams();
    return index >= 0 && index < int(m_params.size()) ? m_params[size_t(index)].get() : nullptr;
}

Param* Query::FindParam(const QString& name) const
{
    syncParams();
    for (const auto& p : m_params)
        if (p->m_name.compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

Param* Query::ParamByName(const QString& name) const
{
    if (Param* p = FindParam(name))
        return p;
    fail(QStringLiteral("パラメータ '%1' が見つかりません。").arg(name));
}

std::vector<DataSet::BoundValue> Query::parameterValues() const
{
    syncParams();
    std::vector<BoundValue> values;
    values.reserve(m_params.size());
    for (const auto& p : m_params)
        values.push_back({ u':' + p->m_name, p->boundValue() });
    return values;
}

QString Query::selectSql() const { return SQL.Text(); }

QString Query::liveTable() const
{
    if (!RequestLive)
        return QString();
    const QStringList statements = sql::splitStatements(selectSql());
    return statements.isEmpty() ? QString() : sql::analyzeSelect(statements.front()).table;
}

int Query::ExecSQL()
{
    // Changing a query's text closes it; executing is always on new text.
    Close();
    m_rowsAffected = 0;
    std::vector<Database::Binding> bindings;
    for (const BoundValue& p : parameterValues())
        bindings.push_back({ p.name, p.value });
    m_rowsAffected = database()->execute(selectSql(), bindings);
    return m_rowsAffected;
}

QString Table::selectSql() const
{
    return QStringLiteral("SELECT * FROM %1").arg(sql::quoteIdentifier(sql::plainTableName(TableName)));
}

QString Table::liveTable() const { return sql::plainTableName(TableName); }

} // namespace platform
