#pragma once

// The report's native length unit is the tenth of a millimetre: 25.4 mm, that is 254 tenths,
// to the inch. Resolutions in dots per inch become dots per tenth by dividing by this.
inline constexpr double BRTenthsPerInch = 254.0;
// The same inch in millimetres (paper sizes, QPageSize) and in metres (QImage's dots per metre).
inline constexpr double BRMillimetresPerInch = BRTenthsPerInch / 10.0;
inline constexpr double BRMetresPerInch = BRTenthsPerInch / 10000.0;
