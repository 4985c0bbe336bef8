// Any file named to the version reader: the ELF image and the record inside it.
#include "FuzzInput.h"
#include "platform/VersionRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const auto image = fuzz::Bytes(data, size);
    fuzz::ExpectingOurExceptions([&] {
        if (const auto section = platform::FindElfSection(image, platform::VersionSectionName)) {
            // The section must lie inside the image it was found in (a section
            // without bytes in the file, as .bss is, comes back empty).
            if (!section->empty() && (section->data() < data || section->data() + section->size() > data + size))
                __builtin_trap();
            (void)platform::ParseVersionRecord(*section);
        }
        // The record parser also meets bytes that are not inside an ELF image.
        if (const auto record = platform::ParseVersionRecord(image))
            (void)record->String("FileVersion");
    });
    return 0;
}
