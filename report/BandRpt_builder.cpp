#include "report/BRCtrls.h"

TBRReportBuilder::TBRReportBuilder(TCustomBandReport& report)
    : m_report(report)
{
    m_report.beginLoading();
}

TBRReportBuilder::~TBRReportBuilder()
{
    if (!m_finished)
        Finish();
}

TBRReportBuilder& TBRReportBuilder::Page(TBRPaperSize paper, TPrinterOrientation orientation, double margin)
{
    TBRPage& page = m_report.Page();
    const TBRUnit units = page.Units();
    page.setUnits(TBRUnit::Native);
    page.setOrientation(orientation);
    page.setPaperSize(paper);
    page.setTopMargin(margin);
    page.setBottomMargin(margin);
    page.setLeftMargin(margin);
    page.setRightMargin(margin);
    page.setUnits(units);
    return *this;
}

TBRReportBuilder& TBRReportBuilder::Columns(int columns, double columnSpace)
{
    TBRPage& page = m_report.Page();
    page.setColumns(columns);
    const TBRUnit units = page.Units();
    page.setUnits(TBRUnit::Native);
    page.setColumnSpace(columnSpace);
    page.setUnits(units);
    return *this;
}

TBRReportBuilder& TBRReportBuilder::fontSize(double points)
{
    QFont font = m_report.Font();
    font.setPointSizeF(points);
    m_report.setFont(font);
    return *this;
}

namespace {

// Writes a band's height and width in tenths of a millimetre; the width is the page's between
// its margins.
void sizeBand(TCustomBandReport& report, TBRCustomBand* band, double height)
{
    const TBRPage& page = report.Page();
    TBRBandSize& size = band->Size();
    const TBRUnit units = size.Units();
    size.setUnits(TBRUnit::Native);
    size.setHeight(height);
    size.setWidth(page.nativeValue(TBRPage::WidthIndex) - page.nativeValue(TBRPage::LeftMarginIndex)
        - page.nativeValue(TBRPage::RightMarginIndex));
    size.setUnits(units);
}

} // namespace

TBRBand* TBRReportBuilder::band(TBRBandType type, double height)
{
    auto* band = new TBRBand(&m_report, type);
    sizeBand(m_report, band, height);
    band->setObjectName(m_report.uniqueName(brBandTypeNameBase(type)));
    return band;
}

TBRChildBand* TBRReportBuilder::child(TBRCustomBand* parent, double height)
{
    auto* band = new TBRChildBand(&m_report);
    band->setParentBand(parent);
    sizeBand(m_report, band, height);
    band->setObjectName(m_report.uniqueName(brBandTypeNameBase(TBRBandType::rbChild)));
    return band;
}

TBRGroup* TBRReportBuilder::group(const QString& expression, double height, TBRBand* footer)
{
    auto* group = new TBRGroup(&m_report);
    group->Expression = expression;
    group->setFooterBand(footer);
    sizeBand(m_report, group, height);
    group->setObjectName(m_report.uniqueName(brBandTypeNameBase(TBRBandType::rbGroupHeader)));
    return group;
}

TBRSubDetail* TBRReportBuilder::subDetail(QObject* master, platform::DataSet* dataSet, double height)
{
    auto* band = new TBRSubDetail(&m_report);
    band->SetMaster(master);
    band->setDataSet(dataSet);
    sizeBand(m_report, band, height);
    band->setObjectName(m_report.uniqueName(brBandTypeNameBase(TBRBandType::rbSubDetail)));
    return band;
}

void TBRReportBuilder::startLabel(TBRCustomLabel* label, const QString& nameBase, const TBRLabelSpec& spec)
{
    label->setObjectName(m_report.uniqueName(nameBase));
    if (spec.pointSize > 0 || spec.bold) {
        QFont font = label->Font();
        if (spec.pointSize > 0)
            font.setPointSizeF(spec.pointSize);
        font.setBold(spec.bold);
        label->setFont(font);
    }
    label->AutoSize = spec.autoSize;
    label->AutoStretch = spec.autoStretch;
    label->WordWrap = spec.wordWrap;
    label->setTransparent(spec.transparent);
    label->SetAlignment(spec.alignment);
    TBRPrintableSize& size = label->Size();
    const TBRUnit units = size.Units();
    size.setUnits(TBRUnit::Native);
    size.setLeft(spec.left);
    size.setTop(spec.top);
    size.setWidth(spec.width);
    if (spec.height > 0)
        size.setHeight(spec.height);
    size.setUnits(units);
}

void TBRReportBuilder::endLabel(TBRCustomLabel* label, const TBRLabelSpec& spec)
{
    // One line high when no height was given: what formatting the caption makes it.
    if (spec.height <= 0)
        label->setHeight(0);
    label->setAlignToBand(spec.alignToBand);
    m_labels.append(label);
}

TBRLabel* TBRReportBuilder::label(TBRBasePanel* panel, const QString& caption, const TBRLabelSpec& spec)
{
    auto* label = new TBRLabel(panel);
    startLabel(label, QStringLiteral("BRLabel"), spec);
    label->setCaption(caption);
    endLabel(label, spec);
    return label;
}

void TBRReportBuilder::Finish()
{
    m_finished = true;
    m_report.endLoading();
    for (TBRCustomLabel* label : std::as_const(m_labels)) {
        label->FormatLines();
        label->AlignInBand();
    }
}
