#include "cycle/RestoreFailure.h"

#include "core/Text.h"

#include <algorithm>

namespace morvane {

namespace {

using Kind = RestoreFailureCause::Kind;

bool StartsWith(std::string_view text, std::string_view prefix) { return StartsText(prefix, text); }
bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}
bool Contains(std::string_view text, std::string_view part)
{
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

// A line as the server wrote its message: without gbak's prefixes, the dash of an
// end message's continuation lines and the full stop the client adds to those.
// The words are compared without regard to case: the client also capitalises them.
std::string_view Message(std::string_view line)
{
    const auto trim = [](std::string_view text) {
        const std::size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string_view::npos)
            return std::string_view{};
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    };
    line = trim(line);
    if (StartsWith(line, "gbak:"))
        line = trim(line.substr(5));
    if (StartsWith(line, "ERROR:"))
        line = trim(line.substr(6));
    while (StartsWith(line, "-"))
        line = trim(line.substr(1));
    if (!line.empty() && line.back() == '.')
        line.remove_suffix(1);
    return line;
}

// The name in double quotes that follows marker, up to its closing quote (the last
// one before `before` when given, else the line's last): names may hold quotes.
std::string QuotedAfter(std::string_view line, std::string_view marker, std::string_view before = {})
{
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos)
        return {};
    const std::size_t start = at + marker.size();
    std::size_t end = before.empty() ? line.rfind('"') : line.find(before, start);
    if (end == std::string_view::npos || end < start)
        return {};
    return std::string(line.substr(start, end - start));
}

// The causes as the lines name them: a line names an index, a constraint or a
// function, and completes the cause it belongs to, or the one being read when that
// one has no name of this kind yet.
class CauseList {
public:
    std::vector<RestoreFailureCause> causes;

    void Index(std::string name)
    {
        current_ = Find([&](const RestoreFailureCause& c) { return c.index == name; });
        if (!current_)
            current_ = Add(Kind::IndexNotBuilt, [&](RestoreFailureCause& c) { c.index = std::move(name); });
    }

    void NamedIndex(std::string name, Kind kind)
    {
        if (RestoreFailureCause* c = Current(); c && (c->index.empty() || c->index == name) && Open(*c, kind)) {
            c->index = std::move(name);
            c->kind = kind;
            return;
        }
        current_ = Find([&](const RestoreFailureCause& c) { return c.index == name; });
        if (!current_)
            current_ = Add(kind, [&](RestoreFailureCause& c) { c.index = std::move(name); });
    }

    void Constraint(std::string name, std::string table, Kind kind)
    {
        if (const auto found = Find([&](const RestoreFailureCause& c) { return c.constraint == name; })) {
            current_ = found;
            return;
        }
        if (RestoreFailureCause* c = Current(); c && c->constraint.empty() && Open(*c, kind)) {
            c->constraint = std::move(name);
            c->table = std::move(table);
            c->kind = kind;
            return;
        }
        current_ = Add(kind, [&](RestoreFailureCause& c) {
            c.constraint = std::move(name);
            c.table = std::move(table);
        });
    }

    void Function(std::string name)
    {
        if (const auto found = Find([&](const RestoreFailureCause& c) { return c.function == name; })) {
            current_ = found;
            return;
        }
        if (RestoreFailureCause* c = Current(); c && c->function.empty() && c->kind == Kind::IndexNotBuilt) {
            c->function = std::move(name);
            c->kind = Kind::MissingFunction;
            return;
        }
        current_ = Add(Kind::MissingFunction, [&](RestoreFailureCause& c) { c.function = std::move(name); });
    }

    void KeyValue(std::string value)
    {
        if (RestoreFailureCause* c = Current(); c && c->keyValue.empty())
            c->keyValue = std::move(value);
    }

    // The server gave up on a primary key or unique constraint without saying why.
    void UniqueNotBuilt()
    {
        if (RestoreFailureCause* c = Current(); c && c->kind == Kind::IndexNotBuilt)
            c->kind = Kind::UniqueNotBuilt;
        else if (causes.empty())
            current_ = Add(Kind::UniqueNotBuilt, [](RestoreFailureCause&) {});
    }

private:
    std::optional<std::size_t> current_;

    // A cause that a line of this kind may still complete.
    static bool Open(const RestoreFailureCause& c, Kind kind)
    {
        return c.kind == Kind::IndexNotBuilt || c.kind == Kind::UniqueNotBuilt || c.kind == kind;
    }
    RestoreFailureCause* Current() { return current_ ? &causes[*current_] : nullptr; }
    template <typename Match>
    std::optional<std::size_t> Find(Match match) const
    {
        const auto found = std::find_if(causes.begin(), causes.end(), match);
        if (found == causes.end())
            return std::nullopt;
        return static_cast<std::size_t>(found - causes.begin());
    }
    template <typename Name>
    std::size_t Add(Kind kind, Name name)
    {
        RestoreFailureCause& cause = causes.emplace_back();
        cause.kind = kind;
        name(cause);
        return causes.size() - 1;
    }
};

std::string Shown(std::string_view text) { return OneLineText(text); }

// An expression index's source as the catalogue keeps it, without its COMPUTED BY
// and the parentheses around all of it.
std::string ExpressionText(std::string text)
{
    text = Trim(text);
    if (StartsText("COMPUTED BY", text))
        text = Trim(std::string_view(text).substr(11));
    while (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
        // Only when the first parenthesis closes at the end.
        int depth = 0;
        std::size_t closes = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
            if (depth == 0) {
                closes = i;
                break;
            }
        }
        if (closes != text.size() - 1)
            break;
        text = Trim(std::string_view(text).substr(1, text.size() - 2));
    }
    return text;
}

// "la clé primaire PK_X de la table T (colonne C)", from the catalogue when it was
// read, else from what the server named.
std::string ObjectText(const RestoreFailureCause& cause, const std::optional<CatalogueIndex>& index)
{
    const std::string constraint = index && !index->constraint.empty() ? index->constraint : cause.constraint;
    const std::string name = index ? index->name : cause.index;
    const std::string type = index ? index->constraintType : std::string();
    std::string what;
    if (type == "PRIMARY KEY")
        what = "la clé primaire " + Shown(constraint);
    else if (type == "UNIQUE")
        what = "la contrainte unique " + Shown(constraint);
    else if (type == "FOREIGN KEY" || (cause.kind == Kind::MissingReference && !constraint.empty()))
        what = "la clé étrangère " + Shown(constraint);
    else if (!constraint.empty())
        what = "la contrainte " + Shown(constraint);
    else if ((index && index->unique) || cause.kind == Kind::Duplicate)
        what = "l'index unique " + Shown(name);
    else
        what = "l'index " + Shown(name);
    const std::string table = index ? index->table : cause.table;
    if (!table.empty())
        what += " de la table " + Shown(table);
    if (index && !index->expression.empty()) {
        what += " (expression " + Shown(ExpressionText(index->expression)) + ")";
    } else if (index && !index->columns.empty()) {
        std::string columns;
        for (const std::string& column : index->columns)
            columns += (columns.empty() ? "" : ", ") + Shown(column);
        what += (index->columns.size() == 1 ? " (colonne " : " (colonnes ") + columns + ")";
    }
    return what;
}

// "la valeur 0", or every column's value when the key has several.
std::string ValueText(const std::string& keyValue)
{
    const std::size_t equals = keyValue.find(" = ");
    if (equals != std::string::npos && keyValue.find(" = ", equals + 3) == std::string::npos)
        return "la valeur " + Shown(keyValue.substr(equals + 3));
    return "les valeurs (" + Shown(keyValue) + ")";
}

bool IsConstraint(const RestoreFailureCause& cause, const std::optional<CatalogueIndex>& index)
{
    return index ? !index->constraint.empty() : !cause.constraint.empty();
}

} // namespace

std::vector<RestoreFailureCause> RestoreFailureCauses(std::string_view serverText)
{
    CauseList list;
    for (const std::string& rawLine : SplitLines(serverText)) {
        const std::string_view line = Message(rawLine);
        if (StartsWith(line, "cannot commit index ")) {
            list.Index(Trim(line.substr(20)));
        } else if (Contains(line, "in unique index \"")) {
            list.NamedIndex(QuotedAfter(line, "in unique index \""), Kind::Duplicate);
        } else if (StartsWith(line, "violation of PRIMARY or UNIQUE KEY constraint \"")) {
            list.Constraint(QuotedAfter(line, "constraint \"", "\" on table \""), QuotedAfter(line, "\" on table \""),
                            Kind::Duplicate);
        } else if (StartsWith(line, "violation of FOREIGN KEY constraint \"")) {
            list.Constraint(QuotedAfter(line, "constraint \"", "\" on table \""), QuotedAfter(line, "\" on table \""),
                            Kind::MissingReference);
        } else if (Contains(line, "key size exceeds implementation restriction for index \"")) {
            list.NamedIndex(QuotedAfter(line, "for index \""), Kind::KeyTooLong);
        } else if (StartsWith(line, "Problematic key value is (") && line.back() == ')') {
            list.KeyValue(std::string(line.substr(26, line.size() - 27)));
        } else if (StartsWith(line, "function ") && EndsWith(line, " is not defined")) {
            list.Function(std::string(line.substr(9, line.size() - 9 - 15)));
        } else if (SameText(line, "Cannot deactivate index used by a PRIMARY/UNIQUE constraint")) {
            list.UniqueNotBuilt();
        }
    }
    return list.causes;
}

std::string RestoreFailureSentence(const RestoreFailureCause& cause, const std::optional<CatalogueIndex>& index,
                                   int pageSize)
{
    const std::string pages = "des pages de " + std::to_string(pageSize) + " octets";
    const std::string again = ", puis relancer le cycle.";
    const bool named = index || !cause.index.empty() || !cause.constraint.empty();
    switch (cause.kind) {
    case Kind::Duplicate: {
        const std::string values =
            cause.keyValue.empty() ? "des valeurs en double" : ValueText(cause.keyValue) + " en double";
        // An index that backs no constraint can be left inactive; a key cannot.
        const std::string fix = IsConstraint(cause, index)
                                    ? "corriger les doublons dans la base actuelle"
                                    : "corriger les doublons dans la base actuelle, ou désactiver l'index";
        return "Cause : " + ObjectText(cause, index) + " refuse " + values + ": " + fix + again;
    }
    case Kind::MissingReference: {
        const std::string target = index && !index->referencedTable.empty()
                                       ? "de la table " + Shown(index->referencedTable)
                                       : "de la table qu'elle désigne";
        const std::string values = cause.keyValue.empty() ? "des valeurs absentes " + target
                                                          : ValueText(cause.keyValue) + ", absente " + target;
        return "Cause : " + ObjectText(cause, index) + " désigne " + values +
               ": corriger ou supprimer ces lignes dans la base actuelle" + again;
    }
    case Kind::MissingFunction: {
        const std::string function = "la fonction " + Shown(cause.function);
        const std::string what = named
                                     ? ObjectText(cause, index) + " appelle " + function + ", que ce serveur ne trouve pas"
                                     : function + " est introuvable sur ce serveur";
        return "Cause : " + what +
               ": installer sa bibliothèque sur ce serveur et l'y autoriser (UdfAccess de firebird.conf), ou ne plus "
               "l'utiliser dans la base actuelle" +
               again;
    }
    case Kind::KeyTooLong:
        return "Cause : " + ObjectText(cause, index) + " a des clés trop longues pour " + pages +
               ": choisir une taille de page plus grande (PageSize), ou raccourcir ses colonnes" + again;
    case Kind::UniqueNotBuilt: {
        const std::string what = named ? "la reconstruction de " + ObjectText(cause, index) + " a échoué"
                                       : "la reconstruction d'une clé primaire ou d'une contrainte unique a échoué, "
                                         "le serveur n'a pas dit laquelle";
        return "Cause : " + what + " (valeurs en double, ou clés trop longues pour " + pages +
               "): chercher les doublons dans la base actuelle, ou choisir une taille de page plus grande" + again;
    }
    case Kind::IndexNotBuilt:
        break;
    }
    return "Cause : la reconstruction de " + ObjectText(cause, index) +
           " a échoué (voir le message du serveur): corriger la base actuelle" + again;
}

} // namespace morvane
