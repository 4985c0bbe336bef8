#pragma once
// Text crosses into Qt here: the program's strings are UTF-8 everywhere else.

#include <QString>

#include <string>

namespace morvane {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

} // namespace morvane
