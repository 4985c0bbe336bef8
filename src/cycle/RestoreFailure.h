#pragma once
// Why a restore failed, in words an administrator can act on: the server names an
// index, a constraint or a function and gives a key value; the old database's
// catalogue says which table and which columns or expression that is; one sentence
// puts both together with what usually fixes it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// One index (or the constraint it backs) as the catalogue describes it.
struct CatalogueIndex {
    std::string name;
    std::string table;
    std::vector<std::string> columns; // in key order; empty for an expression index
    std::string expression;           // the source of an expression index
    bool unique{false};
    std::string constraint;     // the constraint the index backs, if any
    std::string constraintType; // "PRIMARY KEY", "UNIQUE" or "FOREIGN KEY"
    std::string referencedTable; // the table a foreign key points to
};

// What one failure in a restore's lines is about, as far as the server named it.
struct RestoreFailureCause {
    enum class Kind {
        IndexNotBuilt,    // an index could not be built, the server did not say why
        Duplicate,        // a unique index, primary key or unique constraint and a value twice
        MissingReference, // a foreign key and a value its table does not hold
        MissingFunction,  // a function the server cannot find
        KeyTooLong,       // keys too long for the restore's page size
        UniqueNotBuilt,   // a primary key or unique constraint the server gave up on without saying why
    };
    Kind kind{Kind::IndexNotBuilt};
    std::string index;
    std::string constraint;
    std::string table;    // as the server named it
    std::string keyValue; // "Problematic key value is (...)", without the parentheses
    std::string function;

    // The index or constraint the catalogue is asked about (the constraint first:
    // the names of the indexes that back constraints are the restore's own).
    const std::string& CatalogueName() const noexcept { return constraint.empty() ? index : constraint; }
};

// The causes a failed restore's lines give, in their order, one per index,
// constraint or function (a server that repeats its error in its end message
// gives it once). Lines that say nothing of a cause give none.
std::vector<RestoreFailureCause> RestoreFailureCauses(std::string_view serverText);

// One sentence for a cause: the object with its table and its columns or
// expression, the key value, and what usually fixes it. index: the catalogue's
// description of the object, when it could be read; pageSize: the restore's.
std::string RestoreFailureSentence(const RestoreFailureCause& cause, const std::optional<CatalogueIndex>& index,
                                   int pageSize);

} // namespace morvane
