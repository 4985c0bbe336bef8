#include "global/Global_Utils.h"

#include "core/Text.h"
#include "platform/DurableFile.h"

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace morvane {

namespace {

std::vector<std::string>& Arguments()
{
    static std::vector<std::string> arguments;
    return arguments;
}

std::string RunningExecutable()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

// The program file as the shell found it on PATH, for an argument 0 without folder.
std::string SearchPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return {};
    std::string_view folders(path);
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        std::string folder(folders.substr(0, colon));
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + name;
        if (platform::CanExecute(candidate))
            return std::filesystem::absolute(candidate).lexically_normal().string();
    }
    return {};
}

std::string FileNameOnly(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void SetCommandLine(std::vector<std::string> arguments) { Arguments() = std::move(arguments); }

const std::vector<std::string>& CommandLineArguments() { return Arguments(); }

std::string ProgramFileName()
{
    const auto& arguments = Arguments();
    if (arguments.empty() || arguments[0].empty())
        return RunningExecutable();
    const std::string& first = arguments[0];
    if (first.find('/') != std::string::npos) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(first, error);
        return error ? first : absolute.lexically_normal().string();
    }
    const std::string found = SearchPath(first);
    return found.empty() ? RunningExecutable() : found;
}

std::string ProgramFolder()
{
    const std::string file = ProgramFileName();
    const std::size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string ApplicationTitle()
{
    std::string title = FileNameOnly(ProgramFileName());
    title = title.substr(0, title.find('.'));
    if (title.empty())
        return title;
    return UpperCase(title.substr(0, 1)) + LowerCase(std::string_view(title).substr(1));
}

std::string ApplicationKey()
{
    std::string name = FileNameOnly(ProgramFileName());
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return UpperCase(name);
}

bool GetParamValue(std::string_view name, std::string& value)
{
    const auto& arguments = Arguments();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& parameter = arguments[i];
        const std::size_t equals = parameter.find('=');
        const std::string_view parameterName =
            std::string_view(parameter).substr(0, equals == std::string::npos ? parameter.size() : equals);
        if (SameText(parameterName, name)) {
            value = equals == std::string::npos ? std::string() : parameter.substr(equals + 1);
            return true;
        }
    }
    return false;
}

bool HasParam(std::string_view name)
{
    std::string ignored;
    return GetParamValue(name, ignored);
}

std::string ParamsAsText(bool includeProgram)
{
    const auto& arguments = Arguments();
    std::string text;
    for (std::size_t i = static_cast<std::size_t>(ChooseInt(includeProgram, 0, 1)); i < arguments.size(); ++i)
        text += (i == 0 ? ProgramFileName() : arguments[i]) + " ";
    return text;
}

std::string ChooseText(bool condition, const std::string& whenTrue, const std::string& whenFalse)
{
    return condition ? whenTrue : whenFalse;
}

int ChooseInt(bool condition, int whenTrue, int whenFalse) { return condition ? whenTrue : whenFalse; }

} // namespace morvane
