#pragma once
// Whether a rebuild would help the database, by thresholds the job settings can
// change, and the figures in the program's report style: the lines the window shows
// below the header report and `--health` prints.

#include "session/DatabaseHealth.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

struct HealthThresholds {
    // next − the oldest interesting, active or snapshot transaction, the largest of the three.
    std::int64_t maxTransactionGap{20000};
    // The back versions of every user table together.
    std::int64_t maxBackVersions{100000};
    // The most versions one record carries.
    std::int64_t maxVersionChain{50};
    // The share of the file the data pages make, below which a rebuild gives space
    // back; only for a file of at least MinFileForDataShare bytes (a small database is
    // mostly the system's own pages and indexes).
    int minDataPercent{30};
};
inline constexpr std::int64_t MinFileForDataShare = 64LL * 1024 * 1024;

struct HealthAdvice {
    bool rebuild{false};
    // One plain sentence per threshold passed, in French, as the log and the output say it.
    std::vector<std::string> reasons;
};

// A threshold passed is a reason; what is not known (the tables not read, a
// counter missing) is never one.
HealthAdvice AdviseRebuild(const DatabaseHealth& health, const HealthThresholds& thresholds);

// The figures as report lines: a title line, then "label<tab>value" lines, indented
// by a tab like the header report's. No line begins with a word the header report's
// reader looks for. largest: how many tables are listed by name.
std::vector<std::string> HealthReportLines(const DatabaseHealth& health, std::size_t largest = 5);

// The recommendation as lines: the verdict, then each reason.
std::vector<std::string> AdviceLines(const HealthAdvice& advice);

} // namespace morvane
