#include "session/HealthSettings.h"

#include "core/Format.h"
#include "core/Text.h"

#include <charconv>
#include <string_view>

namespace morvane {

namespace {

std::int64_t Setting(std::string_view key, const std::optional<std::string>& text, std::int64_t fallback,
                     HealthSettingRange range)
{
    if (!text)
        return fallback;
    const std::string value = Trim(*text);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
        throw EConvertError(FormatText("%s: '%s' n'est pas une valeur numérique valide", std::string(key), *text));
    if (number < range.minimum || number > range.maximum)
        throw EConvertError(FormatText("%s: '%s' n'est pas une valeur acceptée (de %lld à %lld)", std::string(key),
                                       *text, static_cast<long long>(range.minimum),
                                       static_cast<long long>(range.maximum)));
    return number;
}

} // namespace

HealthSettings HealthSettingsOf(const TJobSettings& settings)
{
    HealthSettings health;
    HealthThresholds& t = health.thresholds;
    t.maxTransactionGap = Setting("HealthMaxTransactionGap", settings.healthMaxTransactionGap, t.maxTransactionGap,
                                  HealthMaxTransactionGapRange);
    t.maxBackVersions =
        Setting("HealthMaxBackVersions", settings.healthMaxBackVersions, t.maxBackVersions, HealthMaxBackVersionsRange);
    t.maxVersionChain =
        Setting("HealthMaxVersionChain", settings.healthMaxVersionChain, t.maxVersionChain, HealthMaxVersionChainRange);
    t.minDataPercent = static_cast<int>(
        Setting("HealthMinDataPercent", settings.healthMinDataPercent, t.minDataPercent, HealthMinDataPercentRange));
    health.tables = Setting("HealthTables", settings.healthTables, 1, {0, 1}) == 1;
    health.checkAuto = Setting("HealthCheckAuto", settings.healthCheckAuto, 0, {0, 1}) == 1;
    return health;
}

} // namespace morvane
