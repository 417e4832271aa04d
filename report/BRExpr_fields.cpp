// Fields of data sets as values of the expression language.

#include "platform/DataSet.h"
#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <QDate>
#include <QTime>
#include <limits>

std::unique_ptr<TBREvElementDataField> brFindDataField(const TBRDataSetList& dataSets, const QString& name)
{
    const qsizetype dot = name.indexOf(u'.');
    const QString table = dot >= 0 ? name.left(dot) : QString();
    const QString field = dot >= 0 ? name.mid(dot + 1) : name;
    for (platform::DataSet* ds : dataSets) {
        if (!ds)
            continue;
        if (dot >= 0 && ds->objectName().compare(table, Qt::CaseInsensitive) != 0)
            continue;
        const QStringList names = ds->fieldNames();
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(field, Qt::CaseInsensitive) == 0)
                return std::make_unique<TBREvElementDataField>(ds, i, names[i]);
        if (dot >= 0)
            break; // the first data set of that name is the one asked
    }
    return nullptr;
}

namespace {

EvResult wholeNumber(std::int64_t v)
{
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return EvResult::fromFloat(double(v));
    return EvResult::fromInteger(std::int32_t(v));
}

} // namespace

namespace {
// Built once: a field is read once per record and expression.
const QString& dateFormat()
{
    static const QString format = QString::fromUtf8(BRShortDateFormat);
    return format;
}
const QString& timeFormat()
{
    static const QString format = QString::fromUtf8(BRLongTimeFormat);
    return format;
}
} // namespace

EvResult brFieldValueToResult(const QVariant& value, const QString& fieldName)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
        return EvResult::fromString(value.toString());
    case QMetaType::LongLong: // what the database gives for whole numbers
        return wholeNumber(*static_cast<const qlonglong*>(value.constData()));
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UInt:
    case QMetaType::Long:
        return wholeNumber(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        return u > qulonglong(std::numeric_limits<std::int64_t>::max()) ? EvResult::fromFloat(double(u))
                                                                        : wholeNumber(std::int64_t(u));
    }
    case QMetaType::Double:
        return EvResult::fromFloat(*static_cast<const double*>(value.constData()));
    case QMetaType::Float:
        return EvResult::fromFloat(value.toDouble());
    case QMetaType::Bool:
        return EvResult::fromBoolean(value.toBool());
    case QMetaType::QDate:
        return EvResult::fromString(value.toDate().toString(dateFormat()));
    case QMetaType::QTime:
        return EvResult::fromString(value.toTime().toString(timeFormat()));
    case QMetaType::QDateTime: {
        // A date-time at midnight shows as its date alone.
        const QDateTime dt = value.toDateTime();
        QString text = dt.date().toString(dateFormat());
        if (dt.time() != QTime(0, 0))
            text += u' ' + dt.time().toString(timeFormat());
        return EvResult::fromString(text);
    }
    default:
        return EvResult::fromError(brErrorText(SBRFieldUnknownType, fieldName));
    }
}

namespace {

// The kind of values a column declares, by the database's own affinity rules (plus booleans and
// the original's currency and memo types); Error when the declaration does not tell.
EvResultKind declaredKind(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    auto has = [&t](const char* part) { return t.contains(QLatin1String(part)); };
    if (has("BOOL"))
        return EvResultKind::Boolean;
    if (has("INT"))
        return EvResultKind::Integer;
    if (has("CHAR") || has("CLOB") || has("TEXT") || has("MEMO") || has("DATE") || has("TIME"))
        return EvResultKind::String;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC") || has("CURR") || has("MONEY"))
        return EvResultKind::Float;
    return EvResultKind::Error;
}

EvResult emptyValue(EvResultKind kind)
{
    switch (kind) {
    case EvResultKind::Integer:
        return EvResult::fromInteger(0);
    case EvResultKind::Float:
        return EvResult::fromFloat(0.0);
    case EvResultKind::Boolean:
        return EvResult::fromBoolean(false);
    default:
        return EvResult::fromString(QString());
    }
}

} // namespace

EvResultKind TBREvElementDataField::columnKind()
{
    if (m_columnKind == EvResultKind::Error) {
        // Undeclared (a computed column): learn the kind from the column's first value.
        const int rows = DataSet->RecordCount();
        for (int row = 0; row < rows; ++row) {
            const QVariant v = DataSet->cell(row, FieldIndex);
            if (!v.isNull() && !(v.typeId() == QMetaType::QString && v.toString().isEmpty())) {
                m_columnKind = brFieldValueToResult(v, FieldName).Kind;
                return m_columnKind;
            }
        }
        m_columnKind = EvResultKind::String; // nothing tells: NULL reads as empty text
    }
    return m_columnKind;
}

TBREvElementDataField::TBREvElementDataField(platform::DataSet* dataSet, int index, const QString& name)
    : DataSet(dataSet)
    , FieldIndex(index)
    , FieldName(name)
{
}

EvResult TBREvElementDataField::Value(TBRFiFo&)
{
    platform::DataSet* const ds = DataSet.data();
    if (!ds)
        return EvResult::fromError(brErrorText(SBRUnknownFunction, FieldName));
    // The field object is fetched afresh by position at every read, so that a data set reopened
    // since the expression was prepared is read correctly. A field object keeps its name (give or
    // take case) for as long as it lives, so the name is checked only when another one stands there.
    platform::Field* field = FieldIndex < ds->FieldCount() ? ds->Fields(FieldIndex) : nullptr;
    if (!field || field != m_field) {
        if (field && field->FieldName().compare(FieldName, Qt::CaseInsensitive) != 0)
            field = nullptr;
        if (!field) {
            field = ds->FindField(FieldName);
            if (!field)
                return EvResult::fromError(brErrorText(SBRUnknownFunction, FieldName));
            FieldIndex = int(ds->fieldNames().indexOf(field->FieldName()));
            m_columnKind = EvResultKind::Error;
        }
        m_field = field;
    }
    if (m_columnKind == EvResultKind::Error)
        m_columnKind = declaredKind(field->declaredType());
    // The current row's cell, read once (as the field would give it).
    const QVariant value = ds->cell(ds->RecNo() - 1, FieldIndex);
    if (value.isNull()
        || (value.typeId() == QMetaType::QString
            && static_cast<const QString*>(value.constData())->isEmpty()))
        return emptyValue(
            columnKind()); // NULL (or an empty text) reads as the empty value of the column's kind
    EvResult r = brFieldValueToResult(value, FieldName);
    if (m_columnKind == EvResultKind::Boolean && r.Kind == EvResultKind::Integer)
        return EvResult::fromBoolean(r.IntResult != 0); // booleans are stored as 0 and 1
    if (m_columnKind == EvResultKind::Float && r.Kind == EvResultKind::Integer)
        return EvResult::fromFloat(r.IntResult); // a whole amount in a float column stays a float
    return r;
}
