#pragma once
// The job settings of the health figures: the thresholds of the recommendation,
// whether the per-table statistics are read, and whether an unattended night tests
// first and skips a rebuild that would not help.

#include "session/HealthAdvice.h"
#include "session/JobSettings.h"

#include <cstdint>

namespace morvane {

struct HealthSettingRange {
    std::int64_t minimum;
    std::int64_t maximum;
};
inline constexpr HealthSettingRange HealthMaxTransactionGapRange{1, 2000000000};
inline constexpr HealthSettingRange HealthMaxBackVersionsRange{0, 1000000000000};
inline constexpr HealthSettingRange HealthMaxVersionChainRange{1, 1000000};
inline constexpr HealthSettingRange HealthMinDataPercentRange{0, 100};

struct HealthSettings {
    HealthThresholds thresholds;
    bool tables{true};     // HealthTables: the per-table statistics (a read of every data page)
    bool checkAuto{false}; // HealthCheckAuto: AUTO tests first and skips a healthy night
};

// The settings, a key not set keeping its default. A value that is not an integer
// raises EConvertError "'%s' n'est pas une valeur numérique valide", one outside its
// range (0 or 1 for the two switches) EConvertError with the values accepted; the
// message begins with the key's name.
HealthSettings HealthSettingsOf(const TJobSettings& settings);

} // namespace morvane
