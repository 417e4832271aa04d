// The texts a report supplies at print time: a field of a data set, and the value of an
// expression with its aggregates. Layout and printing are the label's.

#include "report/BRConst.h"
#include "report/BRCtrls.h"

#include <QDateTime>
#include <QRegularExpression>

// ---------------------------------------------------------------------------------------------
// Field classes
// ---------------------------------------------------------------------------------------------

TBRFieldClass brFieldClass(platform::Field& field)
{
    const QString t = field.declaredType().toUpper();
    const auto has = [&t](const char* part) { return t.contains(QLatin1String(part)); };
    // The database keeps memo columns as "text"; short texts are "char" or "varchar".
    if (has("MEMO") || has("TEXT") || has("CLOB"))
        return TBRFieldClass::Memo;
    if (has("BLOB") || has("BINARY") || has("GRAPHIC") || has("BYTES"))
        return TBRFieldClass::Blob;
    if (has("DATE") || has("TIME"))
        return TBRFieldClass::DateTime;
    if (has("BOOL"))
        return TBRFieldClass::Boolean;
    if (has("INT"))
        return TBRFieldClass::Integer;
    if (has("CHAR"))
        return TBRFieldClass::String;
    if (has("CURR") || has("MONEY"))
        return TBRFieldClass::Currency;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC"))
        return TBRFieldClass::Float;
    // A computed column declares nothing: its value tells.
    switch (field.Value().typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return TBRFieldClass::Integer;
    case QMetaType::Double:
        return TBRFieldClass::Float;
    case QMetaType::QByteArray:
        return TBRFieldClass::Blob;
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return TBRFieldClass::DateTime;
    default:
        return TBRFieldClass::String;
    }
}

namespace {

// The field's own display text: numbers as the general number text, money in yen, booleans as
// True and False, dates and times in the program's formats; NULL shows nothing.
QString DisplayText(platform::Field& field, TBRFieldClass kind)
{
    if (field.IsNull())
        return QString();
    switch (kind) {
    case TBRFieldClass::Float:
        return brFloatToText(field.AsFloat());
    case TBRFieldClass::Currency:
        return brMoneyText(field.AsFloat());
    case TBRFieldClass::Boolean:
        return QString::fromUtf8(field.AsInteger() != 0 ? SBRTrue : SBRFalse);
    default:
        return field.AsString();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TBRDBText
// ---------------------------------------------------------------------------------------------

TBRDBText::TBRDBText(TBRBasePanel* parent)
    : TBRCustomLabel(parent)
{
}

void TBRDBText::setDataField(const QString& name)
{
    m_dataField = name;
    setCaption(name);
}

void TBRDBText::bindField()
{
    m_field = nullptr;
    m_fieldNo = -1;
    m_fieldOK = false;
    m_isMemo = false;
    m_bindAtPrint = false;
    if (!m_dataSet)
        return;
    // A data set that is still closed is opened by the run (or its parameters) later: its
    // field is looked up when there is one to print.
    if (!m_dataSet->Active()) {
        m_bindAtPrint = !m_dataField.isEmpty();
        return;
    }
    m_field = m_dataSet->FindField(m_dataField);
    if (!m_field)
        return;
    m_fieldNo = int(m_dataSet->fieldNames().indexOf(m_field->FieldName()));
    m_fieldOK = true;
    m_fieldClass = brFieldClass(*m_field);
    m_isMemo = m_fieldClass == TBRFieldClass::Memo || m_fieldClass == TBRFieldClass::Blob;
}

void TBRDBText::Prepare()
{
    TBRCustomLabel::Prepare();
    bindField();
    if (m_isMemo)
        PrintCaption.clear();
}

platform::Field* TBRDBText::currentField()
{
    if (m_bindAtPrint && m_dataSet && m_dataSet->Active())
        bindField();
    if (!m_fieldOK || !m_dataSet || !m_dataSet->Active() || m_fieldNo >= m_dataSet->FieldCount()) {
        m_field = nullptr;
        return nullptr;
    }
    // Taken again each time: a data set opened again since has new field objects.
    m_field = m_dataSet->Fields(m_fieldNo);
    return m_field;
}

void TBRDBText::produceText(QString& text)
{
    try {
        platform::Field* field = currentField();
        if (!field) {
            text.clear();
            return;
        }
        if (m_isMemo) {
            // Built once: a memo is split on every record.
            static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
            Lines = field->AsString().split(lineBreak);
            if (!Lines.isEmpty() && Lines.last().isEmpty())
                Lines.removeLast();
            return;
        }
        if (Mask.isEmpty() || m_fieldClass == TBRFieldClass::String || field->IsNull()) {
            text = DisplayText(*field, m_fieldClass);
            return;
        }
        bool ok = true;
        switch (m_fieldClass) {
        case TBRFieldClass::Integer:
            ok = brFormatFloat(Mask, field->AsInteger(), text);
            break;
        case TBRFieldClass::Float:
        case TBRFieldClass::Currency:
            ok = brFormatFloat(Mask, field->AsFloat(), text);
            break;
        case TBRFieldClass::DateTime:
            text = brFormatDateTime(Mask, field->AsDateTime());
            break;
        default:
            // A mask means nothing to other fields: they show their display text.
            text = DisplayText(*field, m_fieldClass);
            break;
        }
        if (!ok)
            text.clear();
    } catch (...) {
        // A value the data layer cannot read prints nothing rather than stopping the report.
        text.clear();
    }
}

void TBRDBText::Print(int ofsX, int ofsY)
{
    if (!IsEnabled())
        return;
    produceText(PrintCaption);
    TBRCustomLabel::Print(ofsX, ofsY);
}

void TBRDBText::GetFieldText(QString& text) { produceText(text); }

void TBRDBText::GetExpandedHeight(double& height)
{
    produceText(PrintCaption);
    FormatLines();
    height = FormattedLines().size() * linePixels(Font()) * Size().Zoom() / 100.0;
}

void TBRDBText::Unprepare()
{
    m_field = nullptr;
    TBRCustomLabel::Unprepare();
    // Back to the design caption: the field name, or the component's name when there is none.
    setCaption(m_dataField.isEmpty() ? Name() : m_dataField);
}

bool TBRDBText::useRightToLeftAlignment() const
{
    if (BiDiMode != TBiDiMode::bdRightToLeft)
        return false;
    if (!m_fieldOK)
        return true; // the label keeps a centred text centred
    // Numbers and dates stay where they are; texts follow the reading order.
    switch (m_fieldClass) {
    case TBRFieldClass::Integer:
    case TBRFieldClass::Float:
    case TBRFieldClass::Currency:
    case TBRFieldClass::DateTime:
        return false;
    default:
        return true;
    }
}

// ---------------------------------------------------------------------------------------------
// TBRExpr
// ---------------------------------------------------------------------------------------------

TBRExpr::TBRExpr(TBRBasePanel* parent)
    : TBRCustomLabel(parent)
    , m_evaluator(std::make_unique<TBREvaluator>())
{
    setExpression(QString());
}

TBRExpr::~TBRExpr() = default;

void TBRExpr::setExpression(const QString& expression)
{
    m_expression = expression;
    setCaption(expression.isEmpty() ? u'(' + QString::fromUtf8(SBRNone) + u')' : expression);
}

void TBRExpr::setMask(const QString& mask)
{
    m_mask = mask;
    setExpression(m_expression);
}

void TBRExpr::Prepare()
{
    TBRCustomLabel::Prepare();
    setPrintFinished(true);
    TCustomBandReport* report = ParentReport();
    if (report) {
        m_evaluator->SetDataSets(report->DataSets());
        m_evaluator->setEnvironment(&report->Functions());
    }
    m_evaluator->Prepare(m_expression);
    // Aggregates take the records of the master they were given; without one, an aggregating
    // expression takes the report's details. A master that is gone counts as none.
    QObject* master = m_master.data();
    if (auto* masterReport = dynamic_cast<TCustomBandReport*>(master))
        masterReport->AddNotifyClient(this);
    else if (auto* band = dynamic_cast<TBRControllerBand*>(master))
        band->AddNotifyClient(this);
    else if (!master && report && m_evaluator->HasAggregate())
        report->AddNotifyClient(this);
    m_evaluator->Reset();
}

void TBRExpr::ReportNotify(QObject* sender, int operation)
{
    TBRCustomLabel::ReportNotify(sender, operation);
    if (operation == 0 && m_evaluator->Prepared())
        m_evaluator->Accumulate();
}

QString TBRExpr::valueText(const EvResult& value) const
{
    QString text;
    bool ok = true;
    switch (value.Kind) {
    case EvResultKind::Integer:
    case EvResultKind::Float:
        // "%m" asks for money whatever the kind of the total.
        if (m_mask.contains(QStringLiteral("%m"), Qt::CaseInsensitive))
            ok = brFormatNumberArgument(m_mask, value.asDouble(), text);
        else
            ok = brFormatFloat(m_mask, value.asDouble(), text);
        break;
    case EvResultKind::String:
        text = brCutText(value.StrResult);
        break;
    case EvResultKind::Error:
        text = value.StrResult;
        break;
    case EvResultKind::Boolean:
        text = QString::fromUtf8(value.BoolResult ? SBRTrue : SBRFalse);
        break;
    }
    return ok ? text : QString();
}

void TBRExpr::Print(int ofsX, int ofsY)
{
    if (!IsEnabled())
        return;
    // Lines continued in a new column or page keep the value that began printing: the
    // aggregates may have been reset since.
    const bool fresh = PrintFinished();
    if (fresh && m_evaluator->Prepared())
        PrintCaption = valueText(m_evaluator->Value());
    TBRCustomLabel::Print(ofsX, ofsY);
    if (fresh && ResetAfterPrint && m_evaluator->Prepared())
        m_evaluator->Reset();
}

void TBRExpr::Unprepare()
{
    m_evaluator->SetDataSets({});
    if (m_evaluator->Prepared())
        m_evaluator->Unprepare();
    TBRCustomLabel::Unprepare();
    setExpression(m_expression);
}
