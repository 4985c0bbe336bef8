#include "support/FakeClientLibrary.h"

namespace morvane::test {

std::string FakeClientLibraryVersion5() { return FAKE_FBCLIENT_V5_PATH; }
std::string FakeClientLibraryMissingEntryPoint() { return FAKE_FBCLIENT_MISSING_PATH; }

} // namespace morvane::test
