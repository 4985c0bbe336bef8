#pragma once
// Small text helpers shared by every subsystem. Texts are UTF-8 in std::string;
// case folding is ASCII only, as the system's comparisons are of ASCII names.

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Removes every character with a code up to 32 (blanks and control characters).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view text);

// Splits a text into lines at CR LF, LF or CR; a last empty line is not returned.
std::vector<std::string> SplitLines(std::string_view text);

// Text from outside (server messages, object names, another program's answers) as
// one line of valid UTF-8, fit for a log line: a byte that starts no valid UTF-8
// sequence is read as ISO-8859-1 (the attachments' character set), and control
// characters (C0, DEL, C1, and the Unicode line and paragraph separators) are
// written as escapes: \n, \r, \t, \xHH below 256, \uHHHH above. Other text is kept
// byte for byte, backslashes included.
std::string OneLineText(std::string_view text);
// The same, appended to out: the loggers' way, without a string per line.
void AppendOneLine(std::string& out, std::string_view text);

// Integer conversions; the strict ones raise EConvertError with
// "'%s' n'est pas une valeur numérique valide".
int StrToInt(std::string_view text);
long long StrToInt64(std::string_view text);
int StrToIntDef(std::string_view text, int fallback);
bool TryStrToInt(std::string_view text, int& value);

} // namespace morvane
