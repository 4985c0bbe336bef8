// A registry export (.reg) file dropped in by an administrator.
#include "FuzzInput.h"
#include "platform/RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fuzz::ExpectingOurExceptions([&] {
        const platform::RegistryStore store = platform::ParseRegistryExport(fuzz::Text(data, size));
        // The lookups the site utilities make, on whatever the file held.
        if (const platform::RegistryValue* value = store.Find("HKEY_CURRENT_USER\\Software\\Calvenor", ""))
            (void)value->StoredSize();
        (void)store.HasKey("hkey_current_user\\software\\calvenor\\morvane");
    });
    return 0;
}
