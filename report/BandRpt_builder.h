#pragma once

// Building a banded report in code (BandRpt_builder.cpp).

#include "platform/DataSet.h"
#include "report/BandRpt_band.h"
#include "report/BandRpt_controller.h"
#include "report/BandRpt_report.h"
#include "report/BandRpt_subdetail.h"
#include "report/BandRpt_units.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// 9. Building a report in code
// ---------------------------------------------------------------------------------------------

class TBRLabel;
class TBRCustomLabel;
class TBRDBText;
class TBRExpr;
class TBRShape;
class TBRImage;
enum class TBRShapeType : std::uint8_t;

// Where a label stands on its band and how it looks: positions in tenths of a millimetre, the
// font size in points.
struct TBRLabelSpec {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0; // 0: as wide as the caption (with AutoSize)
    double height = 0.0; // 0: one line high
    double pointSize = 0.0; // 0: the report's font size
    bool bold = false;
    TAlignment alignment = TAlignment::taLeftJustify;
    bool alignToBand = false;
    bool autoSize = true;
    bool autoStretch = false;
    bool wordWrap = true;
    bool transparent = false;
};

// Builds a report in code the way loading its form did: bands and labels are made while the
// report is loading, sizes are set in tenths of a millimetre and fonts in points, and Finish
// settles the band list, formats every label's lines and aligns what is aligned to its band.
class TBRReportBuilder {
public:
    explicit TBRReportBuilder(TCustomBandReport& report);
    ~TBRReportBuilder();
    TBRReportBuilder(const TBRReportBuilder&) = delete;
    TBRReportBuilder& operator=(const TBRReportBuilder&) = delete;

    // The page: paper, orientation and the four margins in tenths of a millimetre.
    TBRReportBuilder& Page(TBRPaperSize paper, TPrinterOrientation orientation, double margin);
    TBRReportBuilder& Columns(int columns, double columnSpace);
    // The report's font in points ("ＭＳ Ｐゴシック").
    TBRReportBuilder& fontSize(double points);

    TBRBand* band(TBRBandType type, double height);
    TBRChildBand* child(TBRCustomBand* parent, double height);
    TBRGroup* group(const QString& expression, double height, TBRBand* footer = nullptr);
    TBRLabel* label(TBRBasePanel* panel, const QString& caption, const TBRLabelSpec& spec);
    // A field of a data set, shown with the mask (empty: the field's display text).
    TBRDBText* dbText(TBRBasePanel* panel, platform::DataSet* dataSet, const QString& field,
        const TBRLabelSpec& spec, const QString& mask = QString());
    // An expression's value, shown with the mask; its aggregates take the records of `master`
    // (nullptr: the report's, when it has any).
    TBRExpr* expr(TBRBasePanel* panel, const QString& expression, const TBRLabelSpec& spec,
        const QString& mask = QString(), QObject* master = nullptr);
    // A shape in the box (tenths of a millimetre) with a pen `penWidth` reference pixels wide.
    TBRShape* Shape(TBRBasePanel* panel, TBRShapeType kind, const QRectF& box, int penWidth = 1);
    // A picture in the box (tenths of a millimetre); it is given its picture later.
    TBRImage* image(TBRBasePanel* panel, const QRectF& box);
    // A sub-detail band under `master` (the report, a controller or a controller band) over the
    // data set (nullptr: records from OnNeedData).
    TBRSubDetail* subDetail(QObject* master, platform::DataSet* dataSet, double height);

    // Ends loading; the report is ready to run.
    void Finish();

private:
    // A label's name, font, switches and place, before its text; and, after it, its height
    // and alignment in the band.
    void startLabel(TBRCustomLabel* label, const QString& nameBase, const TBRLabelSpec& spec);
    void endLabel(TBRCustomLabel* label, const TBRLabelSpec& spec);
    // Places a printable in the box, in tenths of a millimetre.
    static void placeBox(TBRPrintable* printable, const QRectF& box);

    TCustomBandReport& m_report;
    QList<TBRCustomLabel*> m_labels;
    bool m_finished = false;
};
