#include "cycle/CycleRefusals.h"

namespace morvane {

std::string OthersText(const std::vector<std::string>& others)
{
    std::string text;
    for (const std::string& other : others)
        text += (text.empty() ? "" : ", ") + other;
    return text;
}

std::string OthersAttachedRefusal(const std::string& dbFile, const std::vector<std::string>& others)
{
    return "La base " + dbFile + " est encore utilisée (" + OthersText(others) +
           ") et la déconnexion forcée n'est pas cochée: le cycle est arrêté, la base reste en ligne à sa place";
}

std::string OthersFoundRefusal(const std::string& when, const std::vector<std::string>& others)
{
    return "Une autre connexion a été trouvée sur la base " + when + " (" + OthersText(others) +
           "): le cycle est arrêté sans rien remplacer";
}

} // namespace morvane
