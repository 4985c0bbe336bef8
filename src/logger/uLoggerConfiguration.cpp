// Reading AppLogger.xml: the workstation section, the program entry inside it and
// one logger per element of that entry.

#include "logger/uLoggerConfiguration.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_Computer.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "logger/uFileLogger.h"
#include "logger/uLogTextFile.h"
#include "logger/uMemoryLogger.h"
#include "logger/uWindowsEventLogger.h"
#include "platform/DurableFile.h"

#include <pugixml.hpp>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace morvane {

bool VersionAtMost(std::string_view version, std::string_view limit) noexcept { return version.compare(limit) <= 0; }

std::string ConfigurationApplicationKey(const std::string& title, const std::string& key)
{
    if (!title.empty() && StartsText(title, key))
        return UpperCase(title);
    return key;
}

namespace {
bool ParseDecimal(std::string_view text, std::int32_t& value)
{
    std::size_t pos = text.starts_with('-') ? 1 : 0;
    if (pos == text.size() || text.size() - pos > 10)
        return false;
    long long result = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9')
            return false;
        result = result * 10 + (text[pos] - '0');
    }
    if (text.starts_with('-'))
        result = -result;
    if (result < INT32_MIN || result > INT32_MAX)
        return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

// Long texts are cut in messages: a hostile file must not make the error unreadable.
std::string Quoted(std::string_view text)
{
    constexpr std::size_t shown = 80;
    return text.size() <= shown ? std::string(text) : std::string(text.substr(0, shown)) + "...";
}
} // namespace

std::int32_t ConfigurationInteger(std::string_view text, std::string_view attribute)
{
    std::int32_t value = 0;
    if (!ParseDecimal(text, value))
        throw EConvertError(FormatText("'%s' n'est pas un entier valide pour %s", Quoted(text),
                                       std::string(attribute)));
    return value;
}

bool ConfigurationBoolean(std::string_view text, std::string_view attribute)
{
    if (SameText(text, "True"))
        return true;
    if (SameText(text, "False"))
        return false;
    std::int32_t value = 0;
    if (!ParseDecimal(text, value))
        throw EConvertError(FormatText("'%s' n'est pas une valeur booléenne valide pour %s", Quoted(text),
                                       std::string(attribute)));
    return value != 0;
}

// Reads one document into the application logger's list; errors carry the system's
// texts and LoadConfiguration puts its own prefix in front of them.
class LoggerConfigurationReader {
public:
    explicit LoggerConfigurationReader(TApplicationLogger& owner) : owner_(owner) {}

    bool Load(const std::string& fileName)
    {
        owner_.ClearLoggers();
        const std::string path = GlobalFile().GetAbsoluteFileName(fileName, ProgramFolder());
        if (!platform::TargetExists(path))
            return false;
        if (platform::IsFolder(path))
            RaiseInOutError(EISDIR, path);
        std::ifstream in(path, std::ios::binary);
        if (!in)
            RaiseInOutError(errno, path);
        std::ostringstream content;
        content << in.rdbuf();
        const std::string text = ConfigurationTextAsUtf8(std::move(content).str());
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            return true; // an empty document: no loggers

        pugi::xml_document document;
        // Comments are kept: one inside a logger element becomes a "#comment" parameter.
        const pugi::xml_parse_result result =
            document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_comments);
        if (!result)
            throw Exception(FormatText("%s (octet %lld)", result.description(), static_cast<long long>(result.offset)));

        const pugi::xml_node root = document.document_element();
        owner_.version_ = AttributeText(root, "Version");

        const pugi::xml_node station = StationSection(root);
        if (station && LoadStationNode(station))
            return true;
        if (const pugi::xml_node all = FirstElementNamed(root, "AllStations"))
            LoadStationNode(all);
        return true;
    }

private:
    static std::string NodeName(const pugi::xml_node& node)
    {
        switch (node.type()) {
        case pugi::node_element:
            return node.name();
        case pugi::node_comment:
            return "#comment";
        case pugi::node_cdata:
            return "#cdata-section";
        case pugi::node_pcdata:
            return "#text";
        default:
            return "#node";
        }
    }

    static pugi::xml_node FirstElementNamed(const pugi::xml_node& parent, const std::string& name)
    {
        if (name.empty())
            return {};
        for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_element && name == child.name())
                return child;
        return {};
    }

    // An absent attribute has no value: reading it is the configuration's error.
    static std::string AttributeText(const pugi::xml_node& node, const char* name)
    {
        const pugi::xml_attribute attribute = node.attribute(name);
        if (!attribute)
            throw EConvertError(FormatText("l'attribut %s manque à l'élément <%s>", name, Quoted(NodeName(node))));
        return attribute.value();
    }

    // The text content of a node (all its text, at any depth), walked without
    // recursion so a deeply nested file cannot exhaust the stack.
    static std::string NodeText(const pugi::xml_node& node)
    {
        if (node.type() != pugi::node_element)
            return node.value();
        std::string text;
        pugi::xml_node current = node.first_child();
        while (current) {
            if (current.type() == pugi::node_pcdata || current.type() == pugi::node_cdata)
                text += current.value();
            if (current.type() == pugi::node_element && current.first_child()) {
                current = current.first_child();
                continue;
            }
            while (current && current != node && !current.next_sibling())
                current = current.parent();
            if (!current || current == node)
                break;
            current = current.next_sibling();
        }
        return text;
    }

    pugi::xml_node StationSection(const pugi::xml_node& root) const
    {
        if (const pugi::xml_node section = FirstElementNamed(root, GetStationName(true, true)))
            return section;
        return FirstElementNamed(root, GetStationName(false, false));
    }

    bool LoadStationNode(const pugi::xml_node& section)
    {
        const std::string title = ApplicationTitle();
        const std::string key = ConfigurationApplicationKey(title, ApplicationKey());
        pugi::xml_node entry;
        for (pugi::xml_node child = section.first_child(); child && !entry; child = child.next_sibling()) {
            if (child.type() != pugi::node_element || std::string_view(child.name()) != "Application")
                continue;
            const pugi::xml_attribute exeName = child.attribute("ExeName");
            if (exeName && key == exeName.value())
                entry = child;
        }
        if (!entry && VersionAtMost(owner_.version_, "1.1"))
            entry = FirstElementNamed(section, title);
        if (!entry)
            entry = FirstElementNamed(section, "AllApplications");
        if (!entry)
            return false;
        for (pugi::xml_node child = entry.first_child(); child; child = child.next_sibling())
            CreateLoggerFromNode(child);
        return true;
    }

    void CreateLoggerFromNode(const pugi::xml_node& node)
    {
        TStringList params;
        const std::string className = AttributeText(node, "class");
        const std::int32_t niveauMax = ConfigurationInteger(AttributeText(node, "NiveauMax"), "NiveauMax");
        const std::int32_t logSpecifique = ConfigurationInteger(AttributeText(node, "LogSpecifique"), "LogSpecifique");
        const bool insertTime = !node.attribute("InsertTime") ||
                                ConfigurationBoolean(AttributeText(node, "InsertTime"), "InsertTime");
        const bool insertNiveauLog = !node.attribute("InsertNiveauLog") ||
                                     ConfigurationBoolean(AttributeText(node, "InsertNiveauLog"), "InsertNiveauLog");
        const std::string format =
            node.attribute("FormatDateTime") ? AttributeText(node, "FormatDateTime") : DefaultLogDateTimeFormat;

        // The oldest files name the file and the batch size as attributes.
        if (owner_.version_ == "1.0") {
            if (className == "TFileLogger") {
                params.Add("FileName=" + AttributeText(node, "FileName"));
            } else if (className == "TMemoryLogger") {
                if (node.attribute("FileName"))
                    params.Add("FileName=" + AttributeText(node, "FileName"));
                if (node.attribute("MaxLigne"))
                    params.Add("MaxLigne=" + AttributeText(node, "MaxLigne"));
            }
        }
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            // A pretty-printed file puts line breaks and indentation around the value.
            const std::string text = Trim(NodeText(child));
            if (text.empty())
                throw EConvertError(FormatText("le paramètre <%s> de l'élément <%s> n'a pas de valeur",
                                               Quoted(NodeName(child)), Quoted(NodeName(node))));
            params.Add(NodeName(child) + "=" + text);
        }

        const auto level = static_cast<std::uint8_t>(niveauMax & 0xFF);
        std::unique_ptr<TLogger> logger;
        if (className == "TMemoryLogger")
            logger = std::make_unique<TMemoryLogger>(level, logSpecifique, &params, insertTime, format, insertNiveauLog);
        else if (className == "TFileLogger")
            logger = std::make_unique<TFileLogger>(level, logSpecifique, &params, insertTime, format, insertNiveauLog);
        else if (className == "TWindowsEventLogger")
            logger = std::make_unique<TWindowsEventLogger>(level, logSpecifique, &params, insertTime, format,
                                                           insertNiveauLog);
        else if (VersionAtMost(owner_.version_, "1.2"))
            throw Exception("TApplicationLogger : Configuration inattendue (" + Quoted(className) + ")");
        owner_.AddLogger(std::move(logger));
    }

    TApplicationLogger& owner_;
};

bool TApplicationLogger::LoadConfiguration(const std::string& fileName)
{
    try {
        return LoggerConfigurationReader(*this).Load(fileName);
    } catch (const Exception& error) {
        throw Exception("TApplicationLogger : " + error.Message());
    } catch (const std::bad_alloc&) {
        throw Exception("TApplicationLogger : mémoire insuffisante pour lire la configuration");
    }
}

} // namespace morvane
