// The report builder's entries for data-bound texts, expressions, shapes and pictures.

#include "report/BRCtrls.h"

TBRDBText* TBRReportBuilder::dbText(TBRBasePanel* panel, platform::DataSet* dataSet, const QString& field,
    const TBRLabelSpec& spec, const QString& mask)
{
    auto* text = new TBRDBText(panel);
    startLabel(text, QStringLiteral("BRDBText"), spec);
    text->setDataSet(dataSet);
    text->Mask = mask;
    text->setDataField(field);
    endLabel(text, spec);
    return text;
}

TBRExpr* TBRReportBuilder::expr(TBRBasePanel* panel, const QString& expression, const TBRLabelSpec& spec,
    const QString& mask, QObject* master)
{
    auto* expr = new TBRExpr(panel);
    startLabel(expr, QStringLiteral("BRExpr"), spec);
    expr->SetMaster(master);
    expr->setMask(mask);
    expr->setExpression(expression);
    endLabel(expr, spec);
    return expr;
}

void TBRReportBuilder::placeBox(TBRPrintable* printable, const QRectF& box)
{
    TBRPrintableSize& size = printable->Size();
    const TBRUnit units = size.Units();
    size.setUnits(TBRUnit::Native);
    size.setLeft(box.left());
    size.setTop(box.top());
    size.setWidth(box.width());
    size.setHeight(box.height());
    size.setUnits(units);
}

TBRShape* TBRReportBuilder::Shape(TBRBasePanel* panel, TBRShapeType kind, const QRectF& box, int penWidth)
{
    auto* shape = new TBRShape(panel);
    shape->setObjectName(m_report.uniqueName(QStringLiteral("BRShape")));
    shape->setShape(kind);
    shape->Pen.setWidth(penWidth);
    placeBox(shape, box);
    return shape;
}

TBRImage* TBRReportBuilder::image(TBRBasePanel* panel, const QRectF& box)
{
    auto* image = new TBRImage(panel);
    image->setObjectName(m_report.uniqueName(QStringLiteral("BRImage")));
    placeBox(image, box);
    return image;
}
