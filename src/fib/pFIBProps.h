#pragma once
// The attach parameter lines of a database and the typed view the program uses to
// read and write the user, password, role and character set among them.

#include "core/TextList.h"

#include <string>
#include <string_view>

namespace morvane::fib {

// The attach parameter lines, name=value, sent in order by the DPB builder.
class TDBParams : public TStringList {
public:
    using TStringList::TStringList;
};

// A view on the parameter lines of one database. A property reads the value of the
// line that names it (with or without the isc_dpb_ prefix, in any case); writing a
// value replaces that line or appends one, writing an empty value removes it.
class TConnectParams {
public:
    explicit TConnectParams(TDBParams& params) : params_(params) {}

    std::string UserName() const { return Read("user_name"); }
    void SetUserName(std::string_view value) { Write("user_name", value); }
    std::string Password() const { return Read("password"); }
    void SetPassword(std::string_view value) { Write("password", value); }
    std::string RoleName() const { return Read("sql_role_name"); }
    void SetRoleName(std::string_view value) { Write("sql_role_name", value); }
    std::string CharSet() const { return Read("lc_ctype"); }
    // Stored in upper case, as the server names character sets.
    void SetCharSet(std::string_view value);

    // The index of the line that carries the parameter, or -1.
    int IndexOfParam(std::string_view name) const;

private:
    std::string Read(std::string_view name) const;
    void Write(std::string_view name, std::string_view value);

    TDBParams& params_;
};

} // namespace morvane::fib
