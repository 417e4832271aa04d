#pragma once

// The report engine's own texts. Every message, caption and word that the engine shows or
// writes is one of these; "%s" marks where a value goes (filled in order by brFormat).

#include <QString>

// Expression language: parse errors.
inline constexpr const char* SBRMissing = "Missing %s";
inline constexpr const char* SBRErrorInExpression = "Error in expression : %s";
inline constexpr const char* SBRIllegalNumericChar = "Illegal character in numeric contant \"%s\"";
inline constexpr const char* SBRUnknownFunction = "Unknown function : %s";
inline constexpr const char* SBROperand = "operand";
inline constexpr const char* SBRNestedTooDeeply = "Expression nested too deeply";

// Expression language: evaluation.
inline constexpr const char* SBRIncompatibleOperator = "Operator %s is not compatible with %s expressions";
inline constexpr const char* SBRCannotOperate = "Cannot %s %s expressions";
inline constexpr const char* SBRCannotDivideByZero = "Cannot divide by 0";
inline constexpr const char* SBRInvalidNot = "Invalid use of NOT";
inline constexpr const char* SBRFieldUnknownType = "Field %s is of unknown type";
inline constexpr const char* SBREvaluatorNotPrepared = "Evaluator not prepared";
inline constexpr const char* SBRAdd = "add";
inline constexpr const char* SBRSubtract = "subtract";
inline constexpr const char* SBRMultiply = "multiply";
inline constexpr const char* SBRDivide = "divide";
inline constexpr const char* SBRNumeric = "numeric";
inline constexpr const char* SBRString = "string";
inline constexpr const char* SBRBoolean = "boolean";
inline constexpr const char* SBRTrue = "True";
inline constexpr const char* SBRFalse = "False";

// Expression language: function library.
inline constexpr const char* SBRWrongArguments = "Wrong arguments for %s";
inline constexpr const char* SBRConversionError = "Conversion error";
inline constexpr const char* SBRMissingArgument = "Missing argument for %s";
inline constexpr const char* SBRTooManyArguments = "Too many arguments";
inline constexpr const char* SBRCountPrefix = "COUNT - ";
inline constexpr const char* SBRInvalidSqrt = "Invalid argument to SQRT function";
inline constexpr const char* SBRDivisionByZero = "Division by Zero";
inline constexpr const char* SBRInvalidFormat = "Invalid format or value specified";

// Expression language: variables.
inline constexpr const char* SBRRecursiveCall = "Recursive calls not allowed";

// Categories of the function library, indexed by the first digit of an argument spec.
inline constexpr const char* SBRFunctionCategories[] = {
    "All",
    "Date & time",
    "Math & trig",
    "Statistical",
    "Database",
    "Logical",
    "Information",
    "Other",
};

// Fills each "%s" of the text with the next argument, in order.
QString brFormat(const char* text, const QString& a = QString(), const QString& b = QString());

// Report printer, progress form.
inline constexpr const char* SBRPrinterNotReady = "BRPrinter not ready";
inline constexpr const char* SBRIllegalNewPage = "Illegal call to NewPage";
inline constexpr const char* SBRPrintingProgress = "Printing progress";
inline constexpr const char* SBRCompleted = " Completed";
inline constexpr const char* SBRCancel = "Cancel";

// Data-bound and expression text, pictures.
inline constexpr const char* SBRNone = "none";
inline constexpr const char* SBRMetafileRefused
    = "メタファイル (WMF/EMF) の画像は使えません。PNG、JPEG、BMP の画像を選んでください。\n%s";
inline constexpr const char* SBRPictureUnreadable = "画像ファイルを読み込めません。\n%s";

// Preview control, standard preview form and search dialog.
inline constexpr const char* SBRZoomToFit = "Zoom to fit";
inline constexpr const char* SBRZoomToWidth = "Zoom to width";
inline constexpr const char* SBRZoom100 = "100% Size";
inline constexpr const char* SBRFirstPage = "First page";
inline constexpr const char* SBRPreviousPage = "Previous page";
inline constexpr const char* SBRNextPage = "Next page";
inline constexpr const char* SBRLastPage = "Last page";
inline constexpr const char* SBRSelectPageHint = "Select a Page";
inline constexpr const char* SBRSearchForText = "Search for Text";
inline constexpr const char* SBRPrinterSetup = "Printer setup";
inline constexpr const char* SBRPrint = "Print";
inline constexpr const char* SBRSaveReport = "Save report";
inline constexpr const char* SBRLoadReport = "Load report";
inline constexpr const char* SBRClose = "&Close";
inline constexpr const char* SBRClosePreview = "Close Preview";
inline constexpr const char* SBRThumbNails = "ThumbNails";
inline constexpr const char* SBRSearchResults = "Search Results";
inline constexpr const char* SBRSearchText = "Search Text";
inline constexpr const char* SBRReportPreview = "Report Preview : ";
inline constexpr const char* SBRPage = "Page";
inline constexpr const char* SBROf = "of";
inline constexpr const char* SBRSelectPageFromTo = "Select a page from 1 to %d";
inline constexpr const char* SBREnterPageNumber = "Enter page number";
inline constexpr const char* SBRFileDoesNotExist = "File does not exist";
inline constexpr const char* SBRNoMatchingText = "No matching text";
inline constexpr const char* SBRTrelvinFile = "Trelvin file";
inline constexpr const char* SBRReportFileExtension = "BRP";
inline constexpr const char* SBRMatchCase = "Match case";
inline constexpr const char* SBRSearch = "Search";
