// The lines a failed restore ends with, as the server sends them: read into causes,
// each told in one sentence with and without a catalogue description.
#include "FuzzInput.h"
#include "cycle/RestoreFailure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::string_view text = fuzz::Text(data, size);
    for (const RestoreFailureCause& cause : RestoreFailureCauses(text)) {
        CatalogueIndex index;
        index.name = cause.index;
        index.table = cause.table;
        index.expression = std::string(text.substr(0, 40));
        index.constraint = cause.constraint;
        for (const std::optional<CatalogueIndex>& described : {std::optional<CatalogueIndex>{}, std::optional(index)}) {
            const std::string sentence = RestoreFailureSentence(cause, described, 4096);
            // One line for the log and the dialog, whatever the server's names hold.
            if (sentence.rfind("Cause : ", 0) != 0 || sentence.back() != '.')
                __builtin_trap();
            for (const char c : sentence)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    __builtin_trap();
        }
    }
    return 0;
}
