#pragma once

// The report's text printables.
//
// Sections, in order:
//   1. Labels and text layout: TBRCustomLabel, TBRLabel (BRCtrls.cpp).
//
// A label turns its text into formatted lines (line breaks, word wrap, automatic width) and
// prints them into its band's area of the page, growing the band line by line when it may
// stretch, and continuing in the next column or page when the band cannot grow further.

#include "report/BandRpt.h"

#include <QFont>
#include <QStringList>
#include <functional>

// ---------------------------------------------------------------------------------------------
// 1. Labels and text layout
// ---------------------------------------------------------------------------------------------

class TBRCustomLabel;

// Called before a label prints, with the text it is about to print; a changed Value is printed
// instead, once.
using TBRLabelOnPrintEvent = std::function<void(TBRCustomLabel* sender, QString& value)>;

// The font every label starts with: the report's Japanese face.
QFont BRDefaultReportFont();

class TBRCustomLabel : public TBRPrintable {
public:
    explicit TBRCustomLabel(TBRBasePanel* parent = nullptr);

    QString Caption() const { return m_caption; }
    // Sets Caption and PrintCaption and formats the lines again.
    void SetCaption(const QString& caption);
    // The text that is formatted and printed (data-bound labels set it while printing).
    QString PrintCaption;
    bool AutoSize = true;
    bool AutoStretch = false;
    bool WordWrap = true;
    TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
    TBRLabelOnPrintEvent OnPrint;

    // The label's font: the band's (or report's) while ParentFont is set.
    QFont Font() const;
    void SetFont(const QFont& font);
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool on);
    // The font's size in points (what a stored form's "FontSize" gives).
    void SetFontSize(double points);
    QColor FontColor = Qt::black;

    // The result of FormatLines.
    const QStringList& FormattedLines() const { return m_formattedLines; }
    // A multi-line text used instead of PrintCaption when CaptionBased is false.
    QStringList Lines;
    // The next line to print while the label is unfinished.
    int LineIndex = 0;

    // True when the text comes from PrintCaption (memo fields of data-bound texts say false).
    virtual bool CaptionBased() const { return true; }
    // Rebuilds FormattedLines from the text and, with AutoSize, the control's width.
    virtual void FormatLines();

    void SetName(const QString& name) override;
    void Prepare() override;
    void Unprepare() override;
    void Print(int ofsX, int ofsY) override;

protected:
    void ParentChanged() override { FormatLines(); }
    // The alignment as it applies, left and right swapped for right-to-left labels.
    TAlignment EffectiveAlignment() const;
    virtual bool UseRightToLeftAlignment() const;

private:
    double LayoutTextWidth(const QString& text) const;
    int OneLineHeight() const;
    void FormatText(const QString& text);
    void FormatParagraph(const QString& paragraph);
    void AutoSizeWidth();

    QString m_caption;
    QStringList m_formattedLines;
    QFont m_font;
    bool m_parentFont = true;
    bool m_formatting = false;
};

// The static-text label.
class TBRLabel : public TBRCustomLabel {
public:
    explicit TBRLabel(TBRBasePanel* parent = nullptr);
};
