#pragma once

// The banded report engine's component unit: includes every part of it.
//
// The parts, in order:
//   BandRpt_units.h
//     1. Units and lengths: TBRUnit, the conversions, TBRUnitBase and its owner interface.
//     2. Paper sizes: TBRPaperSize and the paper table.
//     3. Size holders: TBRBandSize, TBRPage.
//     4. Frames: TBRFrame.
//   BandRpt_printable.h
//     5. Printables: TBRPrintableSize, TBRPrintable (BandRpt_printable.cpp).
//   BandRpt_band.h
//     6. Bands: TBRBandType, TBRBasePanel, TBRCustomBand, TBRBand, TBRChildBand (BandRpt_band.cpp).
//   BandRpt_controller.h
//     7. Controllers and groups: TBRCustomController, TBRController, TBRGroup
//        (BandRpt_controller.cpp).
//   BandRpt_subdetail.h
//     7b. Sub-detail bands: TBRControllerBand, TBRSubDetail, TBRSubDetailGroupBands
//        (BandRpt_subdetail.cpp).
//   BandRpt_report.h
//     8. The report: TBandReportBands, TCustomBandReport, TBandReport (BandRpt_report.cpp), its run
//        (BandRpt_run.cpp) and BRBindQueryParams.
//   BandRpt_builder.h
//     9. Building a report in code: TBRReportBuilder (BandRpt_builder.cpp).
//
// Every length inside the engine is a double in tenths of a millimetre ("native" units); a size
// holder only converts to and from the unit it shows.
//
// Text is measured and laid out on one fixed reference of 96 dots per inch (the layout's
// "pixels"), whatever the screen or printer, so a report lays out the same everywhere; the pages
// are drawn in the same coordinates.

#include "report/BandRpt_band.h"
#include "report/BandRpt_builder.h"
#include "report/BandRpt_controller.h"
#include "report/BandRpt_printable.h"
#include "report/BandRpt_report.h"
#include "report/BandRpt_subdetail.h"
#include "report/BandRpt_units.h"
