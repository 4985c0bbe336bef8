// The statistics report with data pages and record versions that the health
// figures are read from, line by line; the figures and their lines are made from
// whatever it gave.
#include "FuzzInput.h"
#include "core/Text.h"
#include "session/DatabaseHealth.h"
#include "session/HealthAdvice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::vector<std::string> lines = SplitLines(fuzz::Text(data, size));
    DatabaseHealth health = ParseStatisticsReport(lines);
    health.fileBytes = static_cast<std::int64_t>(size);
    (void)HealthReportLines(health);
    (void)AdviceLines(AdviseRebuild(health, HealthThresholds{}));
    return 0;
}
