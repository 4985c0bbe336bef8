#pragma once
// morvane --health: the database's health figures and whether a rebuild would help,
// on standard output; and the same test before an unattended night that may skip it.

#include <optional>

namespace morvane {

struct ProfileDatabase;

// True when the command line asks for the health figures.
bool HealthRequested(int argc, char** argv);

// Reads the profile named by DATABASEINI (or the default one), prints the figures
// and the recommendation, logs one line (appending: the night's log is never emptied
// nor renamed) and returns 0, ExitRebuildAdvisable, or ExitStartUpError when the
// figures cannot be read. No window.
int RunHealthCommand();

// For an unattended run whose job settings ask for the test first (HealthCheckAuto):
// ExitHealthyNightSkipped when no threshold is passed, after a log line saying so;
// nothing when the night's rebuild goes ahead (a threshold passed, the test off, or
// the figures unreadable: a night is never skipped on a doubt).
std::optional<int> HealthyNightStatus(const ProfileDatabase& profile);

} // namespace morvane
