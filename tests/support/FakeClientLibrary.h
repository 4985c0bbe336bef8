#pragma once
// Paths of the fake client libraries the tests build beside themselves.

#include <string>

namespace morvane::test {

// Every entry point of a version 5 client, and no isc_rollback_retaining.
std::string FakeClientLibraryVersion5();
// A library that lacks the required entry point isc_dsql_prepare.
std::string FakeClientLibraryMissingEntryPoint();
inline constexpr const char* FakeMissingEntryPointName = "isc_dsql_prepare";

} // namespace morvane::test
