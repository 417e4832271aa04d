// The report builder's entries for data-bound texts, expressions, shapes and pictures.

#include "report/BRCtrls.h"

TBRDBText* TBRReportBuilder::dbText(TBRBasePanel* panel, platform::DataSet* dataSet, const QString& field,
    const TBRLabelSpec& spec, const QString& mask)
{
    auto* text = new TBRDBText(panel);
    startLabel(text, QStringLiteral("BRDBText"), spec);
    text->SetDataSet(dataSet);
    text->Mask = mask;
    text->setDataField(field);
    endLabel(text, spec);
    return text;
}

TBRExpr* TBRReportBuilder::Expr(TBRBasePanel* panel, const QString& expression, const TBRLabelSpec& spec,
    const QString& mask, QObject* master)
{
    auto* expr = new TBRExpr(panel);
    startLabel(expr, QStringLiteral("BRExpr"), spec);
    expr->SetMaster(master);
    expr->SetMask(mask);
    expr->setExpression(expression);
    endLabel(expr, spec);
    return expr;
}

void TBRReportBuilder::placeBox(TBRPrintable* printable, const QRectF& box)
{
    TBRPrintableSize& size = printable->Size();
    const TBRUnit units = size.Units();
    size.SetUnits(TBRUnit::Native);
    size.SetLeft(box.left());
    size.SetTop(box.top());
    size.SetWidth(box.width());
    size.SetHeight(box.height());
    size.SetUnits(units);
}

TBRShape* TBRReportBuilder::Shape(TBRBasePanel* panel, TBRShapeType kind, const QRectF& box, int penWidth)
{
    auto* shape = new TBRShape(panel);
    shape->setObjectName(m_report.uniqueName(QStringLiteral("BRShape")));
    shape->SetShape(kind);
    shape->Pen.setWidth(penWidth);
    placeBox(shape, box);
    return shape;
}

TBRImage* TBRReportBuilder::Image(TBRBasePanel* panel, const QRectF& box)
{
    auto* image = new TBRImage(panel);
    image->setObjectName(m_report.uniqueName(QStringLiteral("BRImage")));
    placeBox(image, box);
    return image;
}
