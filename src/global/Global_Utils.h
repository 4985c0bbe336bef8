#pragma once
// The program's command line read as NAME=VALUE parameters, the program's own
// names, and two small choosers.

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Sets the command line; argument 0 is the program's path. main calls it once.
void SetCommandLine(std::vector<std::string> arguments);
const std::vector<std::string>& CommandLineArguments();

// The absolute path of the program file (argument 0; /proc/self/exe when unset).
std::string ProgramFileName();
// The program's folder, with a trailing "/".
std::string ProgramFolder();
// The program file's name without folder, cut before its first ".", first
// character upper case and the rest lower case: morvane gives Morvane.
std::string ApplicationTitle();
// The program's name without folder and extension, in upper case: MORVANE.
std::string ApplicationKey();

// True when a parameter NAME (names without regard to case) exists; value then
// receives the text after its first "=" and is left alone otherwise.
bool GetParamValue(std::string_view name, std::string& value);
bool HasParam(std::string_view name);
// The parameters from 1 (0 when includeProgram) to the last, each followed by a blank.
std::string ParamsAsText(bool includeProgram);

std::string ChooseText(bool condition, const std::string& whenTrue, const std::string& whenFalse);
int ChooseInt(bool condition, int whenTrue, int whenFalse);

} // namespace morvane
