#include "report/BRCtrls.h"

#include "report/BRUnits.h"

#include <QPainter>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

QFont brDefaultReportFont()
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    return font;
}

// ---------------------------------------------------------------------------------------------
// TBRCustomLabel
// ---------------------------------------------------------------------------------------------

TBRCustomLabel::TBRCustomLabel(TBRBasePanel* parent)
    : TBRPrintable(parent)
    , m_font(brDefaultReportFont())
{
    FormatLines();
}

QFont TBRCustomLabel::Font() const
{
    if (m_parentFont) {
        if (const TBRCustomBand* band = ParentBand())
            return band->Font();
        if (const TCustomBandReport* report = ParentReport())
            return report->Font();
    }
    return m_font;
}

void TBRCustomLabel::setFont(const QFont& font)
{
    m_font = font;
    m_parentFont = false;
    FormatLines();
}

void TBRCustomLabel::setParentFont(bool on)
{
    if (!on && m_parentFont)
        m_font = Font();
    m_parentFont = on;
    FormatLines();
}

void TBRCustomLabel::setFontSize(double points)
{
    QFont font = Font();
    if (points > 0)
        font.setPointSizeF(points);
    setFont(font);
}

void TBRCustomLabel::setCaption(const QString& caption)
{
    m_caption = caption;
    PrintCaption = caption;
    FormatLines();
}

void TBRCustomLabel::SetName(const QString& name)
{
    if (m_caption.isEmpty() || m_caption == Name())
        setCaption(name);
    TBRPrintable::SetName(name);
}

bool TBRCustomLabel::useRightToLeftAlignment() const { return BiDiMode == TBiDiMode::bdRightToLeft; }

TAlignment TBRCustomLabel::effectiveAlignment() const
{
    const TAlignment a = Alignment();
    if (!useRightToLeftAlignment() || a == TAlignment::taCenter)
        return a;
    return a == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
}

double TBRCustomLabel::layoutTextWidth(const QString& text) const
{
    if (const TCustomBandReport* report = ParentReport())
        return report->TextWidth(Font(), text) * Size().Zoom() / 100.0;
    return std::ceil(brTextAdvance(Font(), text)) + 1;
}

double TBRCustomLabel::linePixels(const QFont& font) const
{
    if (const TCustomBandReport* report = ParentReport())
        return report->TextHeight(font, QStringLiteral("W"));
    return std::ceil(brTextCellHeight(font));
}

int TBRCustomLabel::oneLineHeight() const
{
    return static_cast<int>(linePixels(Font())) * Size().Zoom() / 100 + 1;
}

TBRCustomLabel::FormatInputs TBRCustomLabel::currentFormatInputs() const
{
    FormatInputs in;
    if (CaptionBased())
        in.text = PrintCaption;
    else
        in.lines = Lines;
    in.font = Font();
    in.bounds = QRect(Left(), Top(), Width(), Height());
    in.zoom = Size().Zoom();
    const TBRFrame& frame = Frame();
    in.frameWidth = frame.Width();
    in.frameLeft = frame.DrawLeft();
    in.frameRight = frame.DrawRight();
    in.autoSize = AutoSize;
    in.wordWrap = WordWrap;
    in.alignment = effectiveAlignment();
    in.report = ParentReport();
    return in;
}

void TBRCustomLabel::FormatLines()
{
    m_formattedFrom.reset();
    if (!parentPanel())
        return;
    m_formattedLines.clear();
    if (CaptionBased()) {
        formatText(PrintCaption);
        if (ParentReport() && !m_formatting) {
            const int h = oneLineHeight();
            if (Height() < h) {
                m_formatting = true;
                setHeight(h);
                m_formatting = false;
            }
        }
    } else if (!Lines.isEmpty()) {
        if (AutoSize) {
            m_formattedLines = Lines;
        } else {
            for (const QString& line : Lines)
                formatText(line);
        }
    }
    if (AutoSize && ParentReport() && !m_formatting)
        autoSizeWidth();
    if (!m_formatting)
        m_formattedFrom = currentFormatInputs();
}

void TBRCustomLabel::formatText(const QString& text)
{
    // Most texts are one paragraph: nothing to take apart.
    if (!text.contains(u'\r') && !text.contains(u'\n')) {
        formatParagraph(text);
        return;
    }
    QString t = text;
    t.remove(QChar(u'\n'));
    // Every CR starts a new paragraph; a trailing CR leaves a last, empty one.
    for (const QString& paragraph : t.split(QChar(u'\r')))
        formatParagraph(paragraph);
}

namespace {

// The words of a paragraph: each ends after a blank or a hyphen, which it keeps.
QStringList words(const QString& paragraph)
{
    QStringList words;
    qsizetype start = 0;
    for (qsizetype i = 0; i < paragraph.size(); ++i) {
        if (paragraph[i] == u' ' || paragraph[i] == u'-') {
            words << paragraph.mid(start, i + 1 - start);
            start = i + 1;
        }
    }
    if (start < paragraph.size() || words.isEmpty())
        words << paragraph.mid(start);
    return words;
}

} // namespace

void TBRCustomLabel::formatParagraph(const QString& paragraph)
{
    if (AutoSize) {
        m_formattedLines << paragraph;
        return;
    }
    const int width = Width();
    const auto fits = [&](const QString& s) { return layoutTextWidth(s) <= width; };
    // How many code units of the word fit the label's width, cut between characters; with
    // atLeastOne, one character even when nothing fits, so that wrapping always moves on.
    const auto fittingLength = [&](const QString& word, bool atLeastOne) -> qsizetype {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
        qsizetype best = 0;
        qsizetype first = -1;
        for (qsizetype pos = finder.toNextBoundary(); pos > 0; pos = finder.toNextBoundary()) {
            if (first < 0)
                first = pos;
            if (!fits(word.left(pos)))
                break;
            best = pos;
        }
        return best == 0 && atLeastOne && first > 0 ? first : best;
    };

    QString line;
    for (QString word : words(paragraph)) {
        if (fits(line + word)) {
            line += word;
            continue;
        }
        if (!line.isEmpty()) {
            m_formattedLines << line;
            line.clear();
            if (fits(word)) {
                if (!WordWrap)
                    return; // the word and the rest of the paragraph are dropped
                line = word;
                continue;
            }
        }
        // The word alone is wider than the label.
        if (!WordWrap) {
            m_formattedLines << word.left(fittingLength(word, false));
            return;
        }
        // Cut it between characters and carry the rest on to the next line (Japanese has no
        // blanks to break at).
        while (!fits(word)) {
            const qsizetype n = fittingLength(word, true);
            if (n >= word.size())
                break; // a single character wider than the label stands alone
            m_formattedLines << word.left(n);
            word = word.mid(n);
        }
        line = word;
    }
    m_formattedLines << line;
}

void TBRCustomLabel::autoSizeWidth()
{
    m_formatting = true;
    double widest = 0.0;
    for (const QString& line : std::as_const(m_formattedLines))
        widest = std::max(widest, layoutTextWidth(line));
    int newWidth = static_cast<int>(std::ceil(widest));
    const TBRFrame& frame = Frame();
    if (frame.DrawLeft())
        newWidth += frame.Width();
    if (frame.DrawRight())
        newWidth += frame.Width();
    const int oldWidth = Width();
    int left = Left();
    switch (effectiveAlignment()) {
    case TAlignment::taRightJustify:
        left += oldWidth - newWidth;
        break;
    case TAlignment::taCenter:
        left += (oldWidth - newWidth) / 2;
        break;
    case TAlignment::taLeftJustify:
        break;
    }
    SetBounds(left, Top(), newWidth, Height());
    const int h = oneLineHeight();
    if (Height() < h)
        setHeight(h);
    m_formatting = false;
}

void TBRCustomLabel::Prepare()
{
    TBRPrintable::Prepare();
    setCaption(m_caption);
}

void TBRCustomLabel::Unprepare() { TBRPrintable::Unprepare(); }

void TBRCustomLabel::Print(int ofsX, int ofsY)
{
    if (!IsEnabled())
        return;
    TBRPrinter* printer = BRPrinter();
    QPainter* canvas = printer ? printer->Canvas() : nullptr;
    const TBRPrintableSize& size = Size();
    const double left = ofsX + size.nativeValue(TBRPrintableSize::LeftIndex);
    // What goes on in a new column starts at the column's top: where the label stood in its
    // band has been left behind on the column before.
    const double top = ofsY + (printContext().continued ? 0.0 : size.nativeValue(TBRPrintableSize::TopIndex));
    const double entryWidth = size.nativeValue(TBRPrintableSize::WidthIndex);

    const QString ownCaption = PrintCaption;
    bool captionChanged = false;
    if (OnPrint) {
        QString value = PrintCaption;
        OnPrint(this, value);
        if (value != PrintCaption) {
            PrintCaption = value;
            captionChanged = true;
        }
    }
    // Taken after the handler, which may have changed the font or the size. Formatting keeps
    // the font and the alignment: they serve the drawing below as they are.
    const FormatInputs inputs = currentFormatInputs();
    const QFont& font = inputs.font;
    const double lineHeight = linePixels(font) / BRLayoutPixelsPerTenth;
    if (!m_formattedFrom || !(*m_formattedFrom == inputs))
        FormatLines();
    if (PrintFinished())
        LineIndex = 0;
    const qsizetype count = m_formattedLines.size();
    // Going on, the label is only as high as the lines it still has to print.
    const double height = printContext().continued
        ? std::min(size.nativeValue(TBRPrintableSize::HeightIndex),
            double(std::max<qsizetype>(0, (AutoStretch ? count : m_lineLimit) - LineIndex)) * lineHeight)
        : size.nativeValue(TBRPrintableSize::HeightIndex);
    const double width = size.nativeValue(TBRPrintableSize::WidthIndex);

    // With AutoSize a label that grew keeps its right edge or centre where it was designed.
    double x = left;
    if (AutoSize) {
        if (Alignment() == TAlignment::taRightJustify)
            x = left - (width - entryWidth);
        else if (Alignment() == TAlignment::taCenter)
            x = left - (width - entryWidth) / 2;
    }
    // An opaque label shows its colour; where the band's fresh background of that colour shows
    // already, filling it again would only make the page longer.
    if (canvas && !Transparent() && !printContext().showsAlready(QRectF(x, top, width, height), Color()))
        canvas->fillRect(deviceRect(x, top, x + width, top + height), Color());

    double textTop = top;
    double textLeft = x;
    const TBRFrame& frame = Frame();
    if (frame.HasSides()) {
        const double inset = std::lround(frame.Width() / 72.0 * BRTenthsPerInch);
        if (frame.DrawTop())
            textTop += inset;
        if (frame.DrawLeft())
            textLeft += inset;
    }

    const bool freshStart = PrintFinished();
    const qsizetype firstLine = LineIndex;
    const TBRPrintContext& context = printContext();
    // A stretching label in a band that goes on to a new column, that reaches past the end of
    // its column, or whose text needs more than the band, fills the band down to the column's
    // end before it goes on again: the band's own height is no limit there, only the column's
    // end is. Nothing is printed below that end (it would be cut away), so no line is lost.
    const bool fillsBand = AutoStretch && context.mayBreak
        && (context.continued || context.bandBottom > context.columnBottom
            || textTop + double(count - LineIndex) * lineHeight > context.bandBottom + 1.0);
    const double ownBottom = std::max(textTop + height + 1.0, fillsBand ? context.bandBottom : 0.0);
    double bottom = ownBottom;
    double expanded = 0.0;
    bool expansionDone = false;
    double y = textTop;
    double coloured = top + height; // how far down the label's colour reaches
    if (freshStart) {
        // The lines a label that does not stretch shows: those within its own height, wherever
        // the column's end makes them go on.
        m_lineLimit = 0;
        for (double at = textTop + lineHeight; m_lineLimit < count && at <= ownBottom; at += lineHeight)
            ++m_lineLimit;
    }
    const auto colourDownTo = [&](double to) {
        if (canvas && !Transparent() && to > coloured)
            canvas->fillRect(deviceRect(x, coloured, x + width, to), Color());
        coloured = std::max(coloured, to);
    };

    // Room for the next line: inside the label, or by growing the band when the label may
    // stretch and the band can grow on this column; never below the column's end, where the
    // line would be cut: it goes on whole in the next column instead.
    const auto room = [&]() {
        const double lineBottom = y + lineHeight;
        if (lineBottom > context.columnBottom + 1.0)
            return false;
        if (!AutoStretch)
            return LineIndex < m_lineLimit;
        if (lineBottom <= bottom) {
            if (fillsBand)
                colourDownTo(std::min(lineBottom, context.columnBottom));
            return true;
        }
        TBRCustomBand* band = ParentBand();
        if (!band || !band->CanExpand(lineHeight))
            return false;
        band->ExpandBand(lineHeight, expanded, expansionDone);
        bottom = ownBottom + expanded;
        colourDownTo(bottom);
        return true;
    };

    const TAlignment alignment = inputs.alignment;
    const double toDeviceX = printer ? printer->horizontalFactor() / BRLayoutPixelsPerTenth : 1.0;
    const double toDeviceY = printer ? printer->verticalFactor() / BRLayoutPixelsPerTenth : 1.0;
    const double ascent = brTextAscent(font) * toDeviceY;
    if (canvas) {
        // A recorded page keeps every change of the painter's state: change only what differs.
        if (canvas->font() != font)
            canvas->setFont(font);
        if (m_textPen.color() != FontColor)
            m_textPen = QPen(FontColor);
        if (canvas->pen() != m_textPen)
            canvas->setPen(m_textPen);
        const Qt::LayoutDirection direction
            = BiDiMode == TBiDiMode::bdLeftToRight || BiDiMode == TBiDiMode::bdRightToLeftNoAlign
            ? Qt::LeftToRight
            : Qt::RightToLeft;
        if (canvas->layoutDirection() != direction)
            canvas->setLayoutDirection(direction);
    }
    while (LineIndex < count && room()) {
        const QString& line = m_formattedLines[LineIndex];
        if (canvas && !line.isEmpty()) {
            double anchor = textLeft;
            if (alignment == TAlignment::taRightJustify)
                anchor = textLeft + width;
            else if (alignment == TAlignment::taCenter)
                anchor = textLeft + width / 2;
            double dx = printer->ToDeviceX(anchor);
            if (alignment != TAlignment::taLeftJustify) {
                const double advance = brTextAdvance(font, line) * toDeviceX;
                dx -= alignment == TAlignment::taRightJustify ? advance : advance / 2;
            }
            canvas->drawText(QPointF(dx, printer->ToDeviceY(y) + ascent), line);
        }
        y += lineHeight;
        ++LineIndex;
    }

    // A label that does not stretch drops what its own height does not show.
    const bool linesLeft = LineIndex < (AutoStretch ? count : m_lineLimit);
    if (!linesLeft) {
        setPrintFinished(true);
    } else if (!context.mayBreak) {
        // A page header or footer cannot move on: what does not fit is dropped.
        setPrintFinished(true);
    } else if (LineIndex == firstLine && textTop - top + lineHeight > context.nextColumnRoom + 1.0) {
        // Nothing fits, nor would at the top of the next column: another break would not help.
        setPrintFinished(true);
    } else {
        setPrintFinished(false);
    }
    if (context.contentBottom)
        *context.contentBottom = std::max({ *context.contentBottom, y, top + height, coloured });

    if (captionChanged)
        PrintCaption = ownCaption;
    if (canvas && frame.HasSides()) {
        frame.PaintIt(*canvas, deviceRect(x, top, x + width, std::max(top + height + expanded, coloured)),
            printer->horizontalFactor(), printer->verticalFactor());
    }
}

// ---------------------------------------------------------------------------------------------
// TBRLabel
// ---------------------------------------------------------------------------------------------

TBRLabel::TBRLabel(TBRBasePanel* parent)
    : TBRCustomLabel(parent)
{
}
