// AppLogger.xml as an administrator may write it, read into the application logger.
#include "FuzzInput.h"
#include "ScratchFolder.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "logger/uLoggerConfiguration.h"

#include <pugixml.hpp>

namespace {

// Reading the configuration builds the loggers it names, and a file logger opens
// (and may empty or rename) the file it is given. The target keeps every such
// name inside its own folder: a document with a value that holds a folder
// separator or a macro is left out, so the fuzzer never touches another file.
bool StaysInFolder(const pugi::xml_document& document)
{
    struct Walker : pugi::xml_tree_walker {
        bool safe = true;
        bool for_each(pugi::xml_node& node) override
        {
            const auto unsafe = [](std::string_view text) {
                return text.find_first_of("/?") != std::string_view::npos;
            };
            if (unsafe(node.value()))
                safe = false;
            for (const pugi::xml_attribute& attribute : node.attributes())
                if (unsafe(attribute.value()))
                    safe = false;
            return safe;
        }
    } walker;
    const_cast<pugi::xml_document&>(document).traverse(walker);
    return walker.safe;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    static const fuzz::ScratchFolder folder;
    static const bool started = [] {
        // Relative file names resolve against the program's folder: the scratch folder.
        SetCommandLine({folder.Path() + "/morvane"});
        return true;
    }();
    (void)started;

    const std::string_view text = fuzz::Text(data, size);
    pugi::xml_document document;
    if (document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_comments) &&
        !StaysInFolder(document))
        return -1; // not added to the corpus

    const std::string file = folder.Write("AppLogger.xml", text);
    fuzz::ExpectingOurExceptions([&] { (void)AppLogger().LoadConfiguration(file); });
    fuzz::ExpectingOurExceptions([&] { (void)ConfigurationInteger(text, "NiveauMax"); });
    fuzz::ExpectingOurExceptions([&] { (void)ConfigurationBoolean(text, "InsertTime"); });
    (void)VersionAtMost(text, "1.2");
    return 0;
}
