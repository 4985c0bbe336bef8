// The job settings file beside the program: read as the window reads it, and one
// key changed in its text as each write does.
#include "FuzzInput.h"
#include "ScratchFolder.h"
#include "session/IniText.h"
#include "session/JobSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    static const fuzz::ScratchFolder folder;
    // The first field is the file; the others, when present, the section, key and value written.
    const std::vector<std::string> fields = fuzz::Fields(fuzz::Text(data, size));
    const std::string& contents = fields[0];
    const std::string section = fields.size() > 1 ? fields[1] : "/var/lib/firebird/data/site.fdb";
    const std::string key = fields.size() > 2 ? fields[2] : "RenamePath";
    const std::string value = fields.size() > 3 ? fields[3] : "/var/lib/firebird/data/site.FIB.BKP";

    const TJobSettingsFile file(folder.Write("morvane.ini", contents));
    fuzz::ExpectingOurExceptions([&] {
        bool found = false;
        (void)file.Read(section, DefaultJobSettings(section), found);
    });
    fuzz::ExpectingOurExceptions([&] {
        const std::string changed = SetIniValue(contents, section, key, value);
        // A write changes one line or adds one: everything before it stays.
        if (changed.size() + 4096 < contents.size())
            __builtin_trap();
    });
    return 0;
}
