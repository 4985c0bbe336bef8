#pragma once
// File and process utilities: the command runner, absolute file names, the
// macros of file-name templates and the cluster size of a disk.

#include "core/DateTime.h"
#include "core/TextList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace morvane {

enum class PathStyle { Windows, Posix };

// Makes a name absolute against a base folder; an empty or relative base is taken
// against the process's current directory. Raises "Erreur GetAbsoluteFileName(name,base)".
std::string GetAbsoluteFileName(const std::string& name, const std::string& baseFolder, PathStyle style);

class TGlobalFile {
public:
    // Native (POSIX) style.
    std::string GetAbsoluteFileName(const std::string& name, const std::string& baseFolder) const;

    // Expands the ?...? macros of a file-name template. nextChange receives the
    // moment the text changes next (NeverChanges when it does not depend on the date).
    std::string ExpandMacros(const std::string& pattern, TDateTime& nextChange) const;
    std::string ExpandMacros(const std::string& pattern, bool& dependsOnDate) const;
    std::string ExpandMacros(const std::string& pattern) const;
};

// The one instance, created on first use.
TGlobalFile& GlobalFile();

// The current date and time in a pattern; nextChange receives the moment the
// text changes, or is left alone when the pattern holds no date or time letter.
std::string DateText(const std::string& format, TDateTime& nextChange);

// Runs a command through the shell in a working folder, standard output and
// errors merged; returns all output and, when lines is given, appends it in chunks.
std::string RunCmdLine(const std::string& command, const std::string& workingFolder, TStringList* lines);
// The same, each chunk also handed to onChunk as it arrives, before the window is
// served: what the command writes is shown while it still runs.
std::string RunCmdLine(const std::string& command, const std::string& workingFolder, TStringList* lines,
                       const std::function<void(std::string_view chunk)>& onChunk);

// A text as one word for the shell that RunCmdLine starts, whatever it holds
// (blanks, quotes, $, ;): every value put into a command line goes through this.
std::string QuoteShellArgument(std::string_view text);

// Bytes per allocation unit of the file system holding root; 0 when unknown.
std::uint32_t GetClusterSize(const std::string& root);

} // namespace morvane
