#include "cycle/DatabaseChecks.h"

#include "core/Text.h"

namespace morvane {

std::optional<DatabaseRefusalText> DatabaseRefusal(const std::string& database, const DatabaseFacts& facts)
{
    const std::string prefix = "Vérification avant le cycle: la base " + database;
    // nbackup's lock keeps the changes in a delta file beside the database under its
    // name: a moved or replaced file loses them.
    if (facts.attributes.find("backup lock") != std::string::npos ||
        facts.attributes.find("merge") != std::string::npos)
        return DatabaseRefusalText{prefix + " est en cours de sauvegarde nbackup (" + facts.attributes +
                                   "): terminer la sauvegarde (ALTER DATABASE END BACKUP ou nbackup -N) avant le cycle"};
    if (facts.attributes.find("full shutdown") != std::string::npos)
        return DatabaseRefusalText{prefix +
                                   " est arrêtée complètement (full shutdown): ni backup ni restore ne peuvent "
                                   "l'ouvrir; la remettre en ligne (gfix -online) avant le cycle"};
    if (!facts.shadows.empty()) {
        std::string files;
        for (const std::string& shadow : facts.shadows)
            files += (files.empty() ? "" : ", ") + shadow;
        return DatabaseRefusalText{prefix + " a un shadow (" + files +
                                   "): le restore le recréerait à la place du shadow de l'ancienne base; supprimer "
                                   "le shadow (DROP SHADOW) avant le cycle et le recréer après"};
    }
    // Firebird 3 writes each continuation file's full path into the header of the file
    // before it: restored under a name of its own beside the database, the new
    // database would be made with those same paths, where the old files still are.
    if (!facts.continuationFiles.empty()) {
        std::string files;
        for (const std::string& file : facts.continuationFiles)
            files += (files.empty() ? "" : ", ") + file;
        return DatabaseRefusalText{
            prefix + " est répartie sur plusieurs fichiers (fichiers de continuation : " + files +
            "): le restore sous un nom provisoire ne peut pas les garder, rien n'a été lancé, déplacé ni arrêté; "
            "la reconstruire à la main (gbak -b puis gbak -c vers un seul fichier ou vers de nouveaux fichiers) "
            "avant de confier la base au cycle"};
    }
    if (!facts.owner.empty() && !facts.runUser.empty() && UpperCase(Trim(facts.owner)) != UpperCase(Trim(facts.runUser)))
        return DatabaseRefusalText{prefix + " appartient à " + Trim(facts.owner) + ": restaurée par " +
                                   Trim(facts.runUser) + ", elle changerait de propriétaire; mettre user_name=" +
                                   Trim(facts.owner) +
                                   " et son mot de passe dans le profil de connexion (le propriétaire doit pouvoir "
                                   "créer une base)"};
    return std::nullopt;
}

std::optional<std::string> WorkstationRequestUnavailable(const DatabaseFacts& facts)
{
    if (!facts.commandTables)
        return "la base n'a pas les tables de commande du site (Glb5020, Glb5020Resultat, GEN_ID_GLB5020)";
    // The request to the workstations is a row the program writes into the database.
    if (facts.attributes.find("read only") != std::string::npos)
        return "la base est en lecture seule";
    return std::nullopt;
}

} // namespace morvane
