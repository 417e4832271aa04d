#pragma once

// The report's printables: texts, shapes and pictures.
//
// Sections, in order:
//   1. Labels and text layout: TBRCustomLabel, TBRLabel (BRCtrls.cpp).
//   2. Display formats: date-time and money masks (BRCtrls_format.cpp).
//   3. Data-bound and expression text: TBRDBText, TBRExpr (BRCtrls_text.cpp).
//   4. Shapes and pictures: TBRShape, TBRPicture, TBRImage (BRCtrls_graphic.cpp).
//
// A label turns its text into formatted lines (line breaks, word wrap, automatic width) and
// prints them into its band's area of the page, growing the band line by line when it may
// stretch, and continuing in the next column or page when the band cannot grow further. The
// data-bound and expression texts only supply the text a label prints.

#include "report/BandRpt.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QDateTime;

// ---------------------------------------------------------------------------------------------
// 1. Labels and text layout
// ---------------------------------------------------------------------------------------------

class TBRCustomLabel;

// Called before a label prints, with the text it is about to print; a changed Value is printed
// instead, once.
using TBRLabelOnPrintEvent = std::function<void(TBRCustomLabel* sender, QString& value)>;

// The font every label starts with: the report's Japanese face.
QFont brDefaultReportFont();

class TBRCustomLabel : public TBRPrintable {
public:
    explicit TBRCustomLabel(TBRBasePanel* parent = nullptr);

    QString Caption() const { return m_caption; }
    // Sets Caption and PrintCaption and formats the lines again.
    void setCaption(const QString& caption);
    // The text that is formatted and printed (data-bound labels set it while printing).
    QString PrintCaption;
    bool AutoSize = true;
    bool AutoStretch = false;
    bool WordWrap = true;
    TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
    TBRLabelOnPrintEvent OnPrint;

    // The label's font: the band's (or report's) while ParentFont is set.
    QFont Font() const;
    void setFont(const QFont& font);
    bool ParentFont() const { return m_parentFont; }
    void setParentFont(bool on);
    // The font's size in points (what a stored form's "FontSize" gives).
    void setFontSize(double points);
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
    void parentChanged() override { FormatLines(); }
    // The alignment as it applies, left and right swapped for right-to-left labels.
    TAlignment effectiveAlignment() const;
    virtual bool useRightToLeftAlignment() const;
    // The height of one line in the font, in layout pixels: the report's text height of "W".
    double linePixels(const QFont& font) const;

private:
    // What formatted lines are made from. A label prints the same text again and again (a
    // caption on every page, a class name on every record of a class): Print formats only when
    // any of it differs from what the lines were last made from.
    struct FormatInputs {
        QString text;
        QStringList lines;
        QFont font;
        QRect bounds;
        int zoom = 0;
        int frameWidth = 0;
        bool frameLeft = false;
        bool frameRight = false;
        bool autoSize = false;
        bool wordWrap = false;
        TAlignment alignment = TAlignment::taLeftJustify;
        const TCustomBandReport* report = nullptr;
        bool operator==(const FormatInputs&) const = default;
    };
    FormatInputs currentFormatInputs() const;
    double layoutTextWidth(const QString& text) const;
    int oneLineHeight() const;
    void formatText(const QString& text);
    void formatParagraph(const QString& paragraph);
    void autoSizeWidth();

    QString m_caption;
    QStringList m_formattedLines;
    // How many lines a label that does not stretch shows (those within its height), kept while
    // the lines go on in a new column.
    qsizetype m_lineLimit = 0;
    std::optional<FormatInputs> m_formattedFrom;
    QPen m_textPen { QColor(Qt::black) }; // the pen of FontColor, made once for every print
    QFont m_font;
    bool m_parentFont = true;
    bool m_formatting = false;
};

// The static-text label.
class TBRLabel : public TBRCustomLabel {
public:
    explicit TBRLabel(TBRBasePanel* parent = nullptr);
};

// ---------------------------------------------------------------------------------------------
// 2. Display formats
// ---------------------------------------------------------------------------------------------
//
// Fields and expressions are shown in the program's own formats, whatever the process locale:
// dates yyyy/mm/dd, times H:MM:SS, "." as the decimal point, and money in yen (yen sign,
// thousands separators, no decimals).

// Formats a date-time with a pattern: y/yy (two-digit year), yyyy, m, mm, mmm, mmmm (month;
// minutes when right after an hour), d, dd, ddd, dddd (day names), ddddd (short date), dddddd
// (long date), h, hh, n, nn, s, ss, z, zzz, t (short time), tt (long time), c (date, and the
// time when it is not midnight), am/pm, a/p, ampm (12-hour clock), "/" and ":", 'text' and
// "text". Names are Japanese ("1月", "日曜日", "午前"). An empty pattern is "c".
QString brFormatDateTime(const QString& pattern, const QDateTime& value);

// Formats one number through a format string of directives "%[index:][-][width][.precision]type"
// (types e, f, g, n and m; "%%" is a percent sign), the way an expression's "%m" mask asks. m is
// money: "¥1,235", "-¥1,235", with as many decimals as the precision asks (none by default).
// False when the format is unusable (another type, a second argument, no type).
bool brFormatNumberArgument(const QString& format, double value, QString& out);

// A money amount as the yen convention shows it ("¥1,235").
QString brMoneyText(double value);

// ---------------------------------------------------------------------------------------------
// 3. Data-bound and expression text
// ---------------------------------------------------------------------------------------------

// What a field holds, as its column declares it (or, for a computed column, as its value
// shows): it decides how the field is shown and masked.
enum class TBRFieldClass : std::uint8_t {
    String,
    Integer,
    Float,
    Currency, // a money column: shown in yen
    Boolean,
    DateTime, // date, time or both
    Memo, // multi-line text
    Blob,
};

// Memo columns are kept as "text", short texts as "char" or "varchar".
TBRFieldClass brFieldClass(platform::Field& field);

// Prints the current value of one field of a data set: the field's display text, or, for
// numbers and dates, the value formatted with Mask. A missing field or data set prints nothing.
// Memo fields print their lines.
class TBRDBText : public TBRCustomLabel {
public:
    explicit TBRDBText(TBRBasePanel* parent = nullptr);

    platform::DataSet* DataSet() const { return m_dataSet; }
    // The data set is held so that it cannot dangle: one that is freed counts as none.
    void setDataSet(platform::DataSet* dataSet) { m_dataSet = dataSet; }
    QString DataField() const { return m_dataField; }
    // Stores the field name and shows it as the caption.
    void setDataField(const QString& name);
    // The format for number and date-time fields (empty: the field's display text).
    QString Mask;

    // Settled at Prepare. The field object is the data set's and is valid only while it stays
    // open: each print takes it again by FieldNo.
    platform::Field* Field() const { return m_field; }
    int FieldNo() const { return m_fieldNo; }
    bool FieldOK() const { return m_fieldOK; }
    bool IsMemo() const { return m_isMemo; }

    bool CaptionBased() const override { return !m_isMemo; }
    void Prepare() override;
    void Print(int ofsX, int ofsY) override;
    void Unprepare() override;
    void GetFieldText(QString& text) override;
    void GetExpandedHeight(double& height) override;
    bool stretchesBand() const override { return true; }

protected:
    bool useRightToLeftAlignment() const override;

private:
    // The field of the current record, or nullptr.
    platform::Field* currentField();
    // The text of the current record into `text` (or into Lines for memo fields).
    void produceText(QString& text);
    void bindField();

    QPointer<platform::DataSet> m_dataSet;
    QString m_dataField;
    platform::Field* m_field = nullptr;
    int m_fieldNo = -1;
    bool m_fieldOK = false;
    bool m_isMemo = false;
    bool m_bindAtPrint = false;
    TBRFieldClass m_fieldClass = TBRFieldClass::String;
};

// Prints the value of an expression of the report's expression language, aggregates included:
// SUM, COUNT, MAX, MIN and AVERAGE take each record printed under the expression's Master (or,
// without one, under the report), and ResetAfterPrint starts them again after each print (a
// group total in a group footer).
class TBRExpr : public TBRCustomLabel {
public:
    explicit TBRExpr(TBRBasePanel* parent = nullptr);
    ~TBRExpr() override;

    QString Expression() const { return m_expression; }
    // Stores the text and shows it as the caption ("(none)" for an empty one).
    void setExpression(const QString& expression);
    QString Mask() const { return m_mask; }
    void setMask(const QString& mask);
    // The report or sub-detail whose records the aggregates take. Held so that it cannot
    // dangle: a master that is freed counts as no master.
    QObject* Master() const { return m_master; }
    void SetMaster(QObject* master) { m_master = master; }
    bool ResetAfterPrint = false;

    TBREvaluator& Evaluator() { return *m_evaluator; }
    // The text a value prints as, by its kind and the mask (empty when the mask cannot format it).
    QString valueText(const EvResult& value) const;

    void Prepare() override;
    void Print(int ofsX, int ofsY) override;
    void ReportNotify(QObject* sender, int operation) override;
    void Unprepare() override;

private:
    std::unique_ptr<TBREvaluator> m_evaluator;
    QString m_expression;
    QString m_mask;
    QPointer<QObject> m_master;
};

// ---------------------------------------------------------------------------------------------
// 4. Shapes and pictures
// ---------------------------------------------------------------------------------------------

enum class TBRShapeType : std::uint8_t {
    brsRectangle = 0,
    brsCircle = 1,
    brsVertLine = 2,
    brsHorLine = 3,
    brsTopAndBottom = 4,
    brsRightAndLeft = 5,
    brsRoundRect = 6
};

// A pen as a device draws it: widths are 96-dpi reference pixels on every output, so a line is
// as thick on a 600-dpi printer as on the page store; width 0 is the device's thinnest line.
// `deviceFactor` is device pixels per tenth of a millimetre.
QPen brDevicePen(const QPen& pen, double deviceFactor);

// Draws a rectangle, ellipse, line or rounded rectangle with its own pen and brush. A new shape
// is 65 x 65 pixels with a black pen one pixel wide and a white brush.
class TBRShape : public TBRPrintable {
public:
    explicit TBRShape(TBRBasePanel* parent = nullptr);

    TBRShapeType Shape() const { return m_shape; }
    void setShape(TBRShapeType shape) { m_shape = shape; }
    QPen Pen;
    QBrush Brush;
    // Corner size of a rounded rectangle as a fraction of the shape's pixel width.
    float RoundFactor = 0.0F;
    // Kept for stored layouts; drawing does not use it.
    int VertAdjust = 0;

    void Print(int ofsX, int ofsY) override;

private:
    TBRShapeType m_shape = TBRShapeType::brsRectangle;
};

// A raster picture (PNG, JPEG, BMP and the other formats Qt reads). Metafiles are refused.
class TBRPicture {
public:
    bool isEmpty() const { return m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    const QImage& image() const { return m_image; }
    void setImage(const QImage& image);
    void Clear() { setImage(QImage()); }
    // Reads a picture file; raises EBRError with a Japanese message for a metafile or a file
    // that cannot be read (the picture then stays as it was).
    void LoadFromFile(const QString& fileName);
    // Called after every change.
    std::function<void()> OnChange;

private:
    QImage m_image;
};

// Prints a picture at its natural size (clipped to the image's rectangle), centred, or
// stretched into the rectangle. A new image is 105 x 105 pixels; with an empty picture only the
// frame prints.
class TBRImage : public TBRPrintable {
public:
    explicit TBRImage(TBRBasePanel* parent = nullptr);

    TBRPicture& Picture() { return m_picture; }
    const TBRPicture& Picture() const { return m_picture; }
    void setPicture(const QImage& image) { m_picture.setImage(image); }
    bool AutoSize() const { return m_autoSize; }
    // With AutoSize the image takes the picture's pixel size each time the picture changes.
    void setAutoSize(bool on);
    bool Stretch() const { return m_stretch; }
    void setStretch(bool on);
    bool Center() const { return m_center; }
    void setCenter(bool on);

    void Print(int ofsX, int ofsY) override;
    bool canBeBackImage() const override { return true; }
    void drawStretched(QPainter& painter, const QRect& target) override;

private:
    void pictureChanged();

    TBRPicture m_picture;
    bool m_autoSize = false;
    bool m_stretch = false;
    bool m_center = false;
};
