#pragma once

// The report's native length unit is the tenth of a millimetre: 25.4 mm, that is 254 tenths,
// to the inch. Resolutions in dots per inch become dots per tenth by dividing by this.
inline constexpr double BRTenthsPerInch = 254.0;
