// The report builder's entries for data-bound texts, expressions, shapes and pictures.

#include "report/BRCtrls.h"

TBRDBText* TBRReportBuilder::DBText(TBRBasePanel* panel, platform::DataSet* dataSet, const QString& field,
    const TBRLabelSpec& spec, const QString& mask)
{
    auto* text = new TBRDBText(panel);
    StartLabel(text, QStringLiteral("BRDBText"), spec);
    text->SetDataSet(dataSet);
    text->Mask = mask;
    text->SetDataField(field);
    EndLabel(text, spec);
    return text;
}

TBRExpr* TBRReportBuilder::Expr(TBRBasePanel* panel, const QString& expression, const TBRLabelSpec& spec,
    const QString& mask, QObject* master)
{
    auto* expr = new TBRExpr(panel);
    StartLabel(expr, QStringLiteral("BRExpr"), spec);
    expr->SetMaster(master);
    expr->SetMask(mask);
    expr->SetExpression(expression);
    EndLabel(expr, spec);
    return expr;
}

void TBRReportBuilder::PlaceBox(TBRPrintable* printable, const QRectF& box)
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
    shape->setObjectName(m_report.UniqueName(QStringLiteral("BRShape")));
    shape->SetShape(kind);
    shape->Pen.setWidth(penWidth);
    PlaceBox(shape, box);
    return shape;
}

TBRImage* TBRReportBuilder::Image(TBRBasePanel* panel, const QRectF& box)
{
    auto* image = new TBRImage(panel);
    image->setObjectName(m_report.UniqueName(QStringLiteral("BRImage")));
    PlaceBox(image, box);
    return image;
}
