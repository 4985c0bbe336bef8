// A failed restore's lines as Firebird 3 gives them (recorded from its service
// manager) read into causes, and the sentence each gives with and without the old
// database's catalogue.

#include "cycle/RestoreFailure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvane {
namespace {

using Kind = RestoreFailureCause::Kind;

// A unique index over an expression whose function changed since the rows came in.
const char* const ExpressionDuplicate =
    "gbak:cannot commit index UX_ARTICLES_CODE\n"
    "gbak: ERROR:attempt to store duplicate value (visible to active transactions) in unique index "
    "\"UX_ARTICLES_CODE\"\n"
    "gbak: ERROR:    Problematic key value is (<expression> = 0)";
// A primary key whose column's scale was reduced: two values became one. The server
// repeats its error in the message it ends the request with.
const char* const PrimaryKeyDuplicate =
    "gbak:cannot commit index RDB$PRIMARY2\n"
    "gbak: ERROR:violation of PRIMARY or UNIQUE KEY constraint \"INTEG_4\" on table \"T2\"\n"
    "gbak: ERROR:    Problematic key value is (\"C\" = 1.0)\n"
    "Action cancelled by trigger (3) to preserve data integrity.\n"
    "Cannot deactivate index used by a PRIMARY/UNIQUE constraint.\n"
    "Exiting before completion due to errors.";
const char* const ForeignKeyOrphan =
    "gbak:cannot commit index FK_ARTICLES_FAMILLE\n"
    "gbak: ERROR:violation of FOREIGN KEY constraint \"FK_ARTICLES_FAMILLE\" on table \"ARTICLES\"\n"
    "gbak: ERROR:    Foreign key reference target does not exist\n"
    "gbak: ERROR:    Problematic key value is (\"FAMILLE\" = 1.01)";
// An expression index calling an external function this server does not load.
const char* const MissingFunction =
    "gbak:cannot commit index IX_MESURES_ABS\n"
    "gbak: ERROR:function ABS is not defined\n"
    "gbak: ERROR:    module name or entrypoint could not be found\n"
    "gbak: ERROR:    function ABS is not defined\n"
    "gbak: ERROR:    module name or entrypoint could not be found";
const char* const KeyTooLong =
    "gbak:cannot commit index RDB$PRIMARY1\n"
    "gbak: ERROR:unsuccessful metadata update\n"
    "gbak: ERROR:    key size exceeds implementation restriction for index \"RDB$PRIMARY1\"\n"
    "Action cancelled by trigger (3) to preserve data integrity.\n"
    "Cannot deactivate index used by a PRIMARY/UNIQUE constraint.\n"
    "Exiting before completion due to errors.";
// A busy server ended the request before it sent the lines that name the index.
const char* const Unnamed = "gbak:committing metadata\n"
                            "Action cancelled by trigger (3) to preserve data integrity.\n"
                            "Cannot deactivate index used by a PRIMARY/UNIQUE constraint.\n"
                            "Exiting before completion due to errors.";

CatalogueIndex Index(std::string name, std::string table, std::vector<std::string> columns,
                     std::string expression = {}, bool unique = false, std::string constraint = {},
                     std::string type = {}, std::string referenced = {})
{
    return {std::move(name), std::move(table), std::move(columns), std::move(expression), unique,
            std::move(constraint), std::move(type), std::move(referenced)};
}

TEST(RestoreFailure, TheServersLinesGiveOneCausePerObjectWithWhatTheyName)
{
    const struct {
        const char* text;
        Kind kind;
        const char* index;
        const char* constraint;
        const char* table;
        const char* keyValue;
        const char* function;
    } cases[] = {
        {ExpressionDuplicate, Kind::Duplicate, "UX_ARTICLES_CODE", "", "", "<expression> = 0", ""},
        {PrimaryKeyDuplicate, Kind::Duplicate, "RDB$PRIMARY2", "INTEG_4", "T2", "\"C\" = 1.0", ""},
        {ForeignKeyOrphan, Kind::MissingReference, "FK_ARTICLES_FAMILLE", "FK_ARTICLES_FAMILLE", "ARTICLES",
         "\"FAMILLE\" = 1.01", ""},
        {MissingFunction, Kind::MissingFunction, "IX_MESURES_ABS", "", "", "", "ABS"},
        {KeyTooLong, Kind::KeyTooLong, "RDB$PRIMARY1", "", "", "", ""},
        {Unnamed, Kind::UniqueNotBuilt, "", "", "", "", ""},
        // The end message alone, its lines marked with dashes; quotes in names as
        // the server writes them, not doubled.
        {"violation of PRIMARY or UNIQUE KEY constraint \"PK_\"X\" Y\" on table \"T \"Z\"\"\n"
         "-Problematic key value is (\"ID\" = 7)",
         Kind::Duplicate, "", "PK_\"X\" Y", "T \"Z\"", "\"ID\" = 7", ""},
        // The end message as the client composes it: capitalised, with full stops.
        {"Violation of PRIMARY or UNIQUE KEY constraint \"INTEG_9\" on table \"T9\".\n"
         "Problematic key value is (\"C\" = 3).",
         Kind::Duplicate, "", "INTEG_9", "T9", "\"C\" = 3", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<RestoreFailureCause> causes = RestoreFailureCauses(c.text);
        ASSERT_EQ(causes.size(), 1u);
        EXPECT_EQ(causes[0].kind, c.kind);
        EXPECT_EQ(causes[0].index, c.index);
        EXPECT_EQ(causes[0].constraint, c.constraint);
        EXPECT_EQ(causes[0].table, c.table);
        EXPECT_EQ(causes[0].keyValue, c.keyValue);
        EXPECT_EQ(causes[0].function, c.function);
    }
    EXPECT_TRUE(RestoreFailureCauses("gbak: ERROR:I/O error during \"open\" operation for file \"/x\"").empty());
    EXPECT_TRUE(RestoreFailureCauses("").empty());
}

// A restore that goes on after an index it cannot build names each one in turn.
TEST(RestoreFailure, SeveralIndexesThatCannotBeBuiltAreEachACause)
{
    const std::string text = std::string(ExpressionDuplicate) + "\n" + ForeignKeyOrphan + "\n" + MissingFunction;
    const std::vector<RestoreFailureCause> causes = RestoreFailureCauses(text);
    ASSERT_EQ(causes.size(), 3u);
    EXPECT_EQ(causes[0].index, "UX_ARTICLES_CODE");
    EXPECT_EQ(causes[0].keyValue, "<expression> = 0");
    EXPECT_EQ(causes[1].constraint, "FK_ARTICLES_FAMILLE");
    EXPECT_EQ(causes[1].keyValue, "\"FAMILLE\" = 1.01");
    EXPECT_EQ(causes[2].index, "IX_MESURES_ABS");
    EXPECT_EQ(causes[2].function, "ABS");
    EXPECT_EQ(causes[2].CatalogueName(), "IX_MESURES_ABS");
    EXPECT_EQ(causes[1].CatalogueName(), "FK_ARTICLES_FAMILLE");
}

TEST(RestoreFailure, TheSentenceNamesTheTableItsColumnsOrExpressionTheValueAndTheFix)
{
    const struct {
        const char* text;
        std::optional<CatalogueIndex> index;
        const char* sentence;
    } cases[] = {
        {ExpressionDuplicate, Index("UX_ARTICLES_CODE", "ARTICLES", {}, "(F(CODE))", true),
         "Cause : l'index unique UX_ARTICLES_CODE de la table ARTICLES (expression F(CODE)) refuse la valeur 0 en "
         "double: corriger les doublons dans la base actuelle, ou désactiver l'index, puis relancer le cycle."},
        {PrimaryKeyDuplicate, Index("RDB$PRIMARY2", "T2", {"C"}, "", true, "INTEG_4", "PRIMARY KEY"),
         "Cause : la clé primaire INTEG_4 de la table T2 (colonne C) refuse la valeur 1.0 en double: corriger les "
         "doublons dans la base actuelle, puis relancer le cycle."},
        {"violation of PRIMARY or UNIQUE KEY constraint \"UQ_REF\" on table \"ARTICLES\"\n"
         "-Problematic key value is (\"REF\" = 2.0, \"LOT\" = 'A')",
         Index("UQ_REF", "ARTICLES", {"REF", "LOT"}, "", true, "UQ_REF", "UNIQUE"),
         "Cause : la contrainte unique UQ_REF de la table ARTICLES (colonnes REF, LOT) refuse les valeurs (\"REF\" = "
         "2.0, \"LOT\" = 'A') en double: corriger les doublons dans la base actuelle, puis relancer le cycle."},
        {ForeignKeyOrphan,
         Index("FK_ARTICLES_FAMILLE", "ARTICLES", {"FAMILLE"}, "", false, "FK_ARTICLES_FAMILLE", "FOREIGN KEY",
               "FAMILLES"),
         "Cause : la clé étrangère FK_ARTICLES_FAMILLE de la table ARTICLES (colonne FAMILLE) désigne la valeur 1.01, "
         "absente de la table FAMILLES: corriger ou supprimer ces lignes dans la base actuelle, puis relancer le "
         "cycle."},
        {MissingFunction, Index("IX_MESURES_ABS", "MESURES", {}, "(ABS(X))"),
         "Cause : l'index IX_MESURES_ABS de la table MESURES (expression ABS(X)) appelle la fonction ABS, que ce "
         "serveur ne trouve pas: installer sa bibliothèque sur ce serveur et l'y autoriser (UdfAccess de "
         "firebird.conf), ou ne plus l'utiliser dans la base actuelle, puis relancer le cycle."},
        {KeyTooLong, Index("RDB$PRIMARY1", "LONGUES", {"S"}, "", true, "INTEG_2", "PRIMARY KEY"),
         "Cause : la clé primaire INTEG_2 de la table LONGUES (colonne S) a des clés trop longues pour des pages de "
         "4096 octets: choisir une taille de page plus grande (PageSize), ou raccourcir ses colonnes, puis relancer "
         "le cycle."},
        // Without the catalogue (it could not be read): what the server named.
        {ExpressionDuplicate, std::nullopt,
         "Cause : l'index unique UX_ARTICLES_CODE refuse la valeur 0 en double: corriger les doublons dans la base "
         "actuelle, ou désactiver l'index, puis relancer le cycle."},
        {PrimaryKeyDuplicate, std::nullopt,
         "Cause : la contrainte INTEG_4 de la table T2 refuse la valeur 1.0 en double: corriger les doublons dans la "
         "base actuelle, puis relancer le cycle."},
        {ForeignKeyOrphan, std::nullopt,
         "Cause : la clé étrangère FK_ARTICLES_FAMILLE de la table ARTICLES désigne la valeur 1.01, absente de la "
         "table qu'elle désigne: corriger ou supprimer ces lignes dans la base actuelle, puis relancer le cycle."},
        {"gbak: ERROR:function ABS is not defined", std::nullopt,
         "Cause : la fonction ABS est introuvable sur ce serveur: installer sa bibliothèque sur ce serveur et l'y "
         "autoriser (UdfAccess de firebird.conf), ou ne plus l'utiliser dans la base actuelle, puis relancer le "
         "cycle."},
        {Unnamed, std::nullopt,
         "Cause : la reconstruction d'une clé primaire ou d'une contrainte unique a échoué, le serveur n'a pas dit "
         "laquelle (valeurs en double, ou clés trop longues pour des pages de 4096 octets): chercher les doublons "
         "dans la base actuelle, ou choisir une taille de page plus grande, puis relancer le cycle."},
        {"gbak:cannot commit index IX_X\ngbak: ERROR:arithmetic exception, numeric overflow, or string truncation",
         Index("IX_X", "MESURES", {}, "COMPUTED BY (1/X)"),
         "Cause : la reconstruction de l'index IX_X de la table MESURES (expression 1/X) a échoué (voir le message "
         "du serveur): corriger la base actuelle, puis relancer le cycle."},
        // Names from the server are shown on one line, whatever they hold.
        {"gbak: ERROR:attempt to store duplicate value (visible to active transactions) in unique index "
         "\"UX\x1b[2J\"",
         std::nullopt,
         "Cause : l'index unique UX\\x1b[2J refuse des valeurs en double: corriger les doublons dans la base actuelle, "
         "ou désactiver l'index, puis relancer le cycle."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<RestoreFailureCause> causes = RestoreFailureCauses(c.text);
        ASSERT_EQ(causes.size(), 1u);
        EXPECT_EQ(RestoreFailureSentence(causes[0], c.index, 4096), c.sentence);
    }
}

} // namespace
} // namespace morvane
