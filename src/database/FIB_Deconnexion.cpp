#include "database/FIB_Deconnexion.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "core/OperatorDialog.h"
#include "database/Global_FIB.h"
#include "global/Global_File.h"
#include "logger/uApplicationLogger.h"
#include "platform/DurableFile.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace morvane {

namespace {

// The site's fixed administrator password, and the one a fresh server ships with.
constexpr const char* SitePassword = "plumtavern";
constexpr const char* FactoryPassword = "brickdawn";

constexpr std::uint8_t ProgressLevel = 200;
constexpr std::uint8_t WorkedAroundLevel = 5;
constexpr std::uint8_t FailureLevel = 1;

const std::string AllGone = "Tous les utilisateurs sont déconnectés";
const std::string CheckingAgain = "Vérification du nombre de poste encore connectés";

std::mutex waitMutex;
std::function<void(int)>& WaitOverride()
{
    static std::function<void(int)> wait;
    return wait;
}

void RealWait(int seconds)
{
    for (int step = 0; step < seconds * 4; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ProcessMessages();
    }
}

void Report(const ProgressFunction& progress, const std::string& line)
{
    if (progress)
        progress(line);
}

bool NeedsQuotes(const std::string& name)
{
    for (const unsigned char c : name)
        if (c <= ' ' || c == ',' || c == '"')
            return true;
    return false;
}

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || EndsWithSeparator(folder))
        return folder + name;
    return folder + "/" + name;
}

// Each count form, chosen by whether a server-properties component is given.
int CountOthers(fib::TpFIBDatabase& database, fib::TpFIBServerProperties* serverProperties,
                const ProgressFunction& progress)
{
    return serverProperties != nullptr ? CountOtherAttachments(*serverProperties)
                                       : CountOtherAttachments(database, progress);
}

void SetPassword(fib::TpFIBServerProperties& serverProperties, const std::string& password)
{
    TStringList params = serverProperties.Params();
    params.SetValue("password", password);
    serverProperties.SetParams(params);
}

void FetchServerProperties(fib::TpFIBServerProperties& serverProperties)
{
    serverProperties.SetActive(true);
    serverProperties.Fetch();
}

// A component left attached after a failed fetch would refuse new parameters.
void Deactivate(fib::TpFIBServerProperties& serverProperties)
{
    if (serverProperties.Active())
        serverProperties.SetActive(false);
}

// Best effort on an error path: the caller gets the first error, not this one.
void WithdrawRequest(fib::TpFIBDatabase& database, const std::string& sql) noexcept
{
    try {
        if (!database.Connected())
            return;
        const std::unique_ptr<fib::TpFIBQuery> query = GlobalFIB().NewQuery(database, false, sql, true);
        query->Transaction()->StartTransaction();
        query->Execute();
        query->Close();
        query->Transaction()->Commit();
    } catch (const std::exception& e) {
        try {
            AppLogger().Log(std::string("Glb5020 : demande non retirée : ") + e.what(), FailureLevel, 0);
        } catch (const std::exception&) {
            // Nothing more to do: the logger failing too must not hide the first error.
        }
    }
}

} // namespace

std::function<void(int)> SetWaitFunction(std::function<void(int)> wait)
{
    std::lock_guard lock(waitMutex);
    std::swap(WaitOverride(), wait);
    return wait;
}

void WaitSeconds(int seconds)
{
    std::function<void(int)> wait;
    {
        std::lock_guard lock(waitMutex);
        wait = WaitOverride();
    }
    if (wait)
        wait(seconds);
    else
        RealWait(seconds);
}

std::string UserListText(const TStringList& users)
{
    std::string text;
    for (std::size_t i = 0; i < users.Count(); ++i) {
        if (i > 0)
            text += ',';
        const std::string& name = users[i];
        if (!NeedsQuotes(name)) {
            text += name;
            continue;
        }
        text += '"';
        for (const char c : name) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

int CountOtherAttachments(fib::TpFIBServerProperties& serverProperties)
{
    serverProperties.SetActive(true);
    serverProperties.FetchDatabaseInfo();
    const int count = serverProperties.DatabaseInfo().AttachmentCount;
    serverProperties.SetActive(false);
    return count;
}

int CountOtherAttachments(fib::TpFIBDatabase& database, const ProgressFunction& progress)
{
    if (!database.Connected())
        GlobalFIB().ConnectDatabase(database, false);
    const TStringList& users = database.AttachedUsers();
    Report(progress, "Users connectés : " + UserListText(users));
    return static_cast<int>(users.Count()) - 1;
}

void SendCloseRequest(fib::TpFIBDatabase& database, bool forced, const ProgressFunction& progress)
{
    Report(progress, "Vérification des utilisateurs pour " + database.DBName());
    GlobalFIB().ConnectDatabase(database, false);
    const TStringList& users = database.AttachedUsers();
    Report(progress, "Users connectés : " + UserListText(users));
    if (users.Count() > 1) {
        Report(progress, std::string("Envoi demande de fermeture ") + (forced ? "forcée" : "normale"));
        // The query owns its transaction: both go when it goes, whatever fails.
        const std::unique_ptr<fib::TpFIBQuery> query = GlobalFIB().NewQuery(database, false, "", true);
        fib::TFIBTransaction& transaction = *query->Transaction();

        query->SetSQLText("Select gen_id(GEN_ID_GLB5020,1) from RDB$DATABASE");
        transaction.StartTransaction();
        query->Execute();
        const std::int32_t request = query->Column(0).AsInteger();
        query->Close();

        query->SetSQLText("Insert into Glb5020(ID_GLB5020, TODO, COMMANDE) VALUES (" + std::to_string(request) +
                          ", 'O', " + (forced ? "'Terminate'" : "'Close'") + ")");
        query->Execute();
        query->Close();
        transaction.Commit();

        const std::string withdraw = "update Glb5020 set todo='N' where ID_GLB5020=" + std::to_string(request);
        try {
            WaitSeconds(1);

            query->SetSQLText("Select count(*) from Glb5020Resultat where id_glb5020=" + std::to_string(request));
            transaction.StartTransaction();
            query->Execute();
            Report(progress, "Réponses reçues : " + query->Column(0).AsText());
            query->Close();
            transaction.Commit();

            transaction.StartTransaction();
            query->SetSQLText(withdraw);
            query->Execute();
            query->Close();
            transaction.Commit();
        } catch (...) {
            // A request left at 'O' would close every workstation that starts later:
            // withdraw it before the error goes on.
            WithdrawRequest(database, withdraw);
            throw;
        }
    }
    database.Close();
}

void DeconnexionUsers(fib::TpFIBDatabase& database, fib::TpFIBServerProperties* serverProperties, bool unattended,
                      const ProgressFunction& progress)
{
    if (CountOthers(database, serverProperties, progress) == 0) {
        Report(progress, AllGone);
        return;
    }
    SendCloseRequest(database, false, progress);

    Report(progress, "On attend maintenant 35 secondes pour leur laisser le temps de se fermer");
    WaitSeconds(35);

    Report(progress, CheckingAgain);
    if (CountOthers(database, serverProperties, progress) == 0) {
        Report(progress, AllGone);
        return;
    }
    SendCloseRequest(database, true, progress);

    Report(progress, CheckingAgain);
    const int remaining = CountOthers(database, serverProperties, progress);
    if (remaining == 0) {
        Report(progress, AllGone);
        return;
    }
    // Nobody is there to answer: gfix will deal with the rest.
    if (unattended)
        return;

    Report(progress, ">>>> Il reste " + std::to_string(remaining) + " utilisateurs connectés");
    if (AskConfirmation("Avez-vous stoppé tous les services incluant celui du Quorvex ?") != DialogAnswer::Yes)
        throw Exception("Interruption ... utilisateur n'a pas été stoppé les services");

    const int stillThere = CountOthers(database, serverProperties, progress);
    if (stillThere > 0 &&
        AskConfirmation("Il reste encore " + std::to_string(stillThere) + " users connectés.  On ignore et on continue ?") !=
            DialogAnswer::Yes)
        throw Exception("DeconnexionUsers n'a pas réussi (" + std::to_string(stillThere) + " users connectés");
}

std::string ServerBinFolder(const std::string& rootDirectory)
{
    return JoinPath(rootDirectory, "bin");
}

std::string GfixProgram(const std::string& binFolder)
{
    if (!binFolder.empty()) {
        const std::string inFolder = JoinPath(binFolder, "gfix");
        if (platform::IsRegularFile(inFolder))
            return inFolder;
    }
    return "gfix";
}

std::string GfixShutdownCommandLine(const std::string& gfixProgram, const std::string& databaseName,
                                    const std::string& passwordFile)
{
    // gfix reads the password from a file: a command line is visible to every local user.
    return QuoteShellArgument(gfixProgram) + " -user sysdba -fetch_password " + QuoteShellArgument(passwordFile) +
           " " + QuoteShellArgument(databaseName) + " -shut single -force 0";
}

std::string GfixShutdown(TStringList* lines, const std::string& binFolder, const std::string& databaseName)
{
    AppLogger().Log("Gfix shutdown", ProgressLevel, 0);
    TStringList ownLines;
    TStringList& output = lines != nullptr ? *lines : ownLines;

    // Where the server keeps no bin folder the tool comes from the PATH, and runs
    // in the current folder rather than failing to change into a missing one.
    const std::string workingFolder = platform::IsFolder(binFolder) ? binFolder : std::string();
    const platform::PrivateFile password(SitePassword);
    const std::string result = RunCmdLine(
        GfixShutdownCommandLine(GfixProgram(binFolder), databaseName, password.Path()), workingFolder, &output);

    // The whole list, as the caller's report holds it: its own lines first, each entry
    // ended by CR LF.
    AppLogger().Log("Gfix shutdown terminé : " + result + " => " + output.Text("\r\n"), ProgressLevel, 0);
    WaitSeconds(5);
    return result;
}

std::string GetBaseLocation(fib::TpFIBServerProperties& serverProperties, const std::string& databaseName)
{
    return GetBaseLocation(serverProperties, databaseName, "SYSDBA", SitePassword);
}

std::string GetBaseLocation(fib::TpFIBServerProperties& serverProperties, const std::string& databaseName,
                            const std::string& user, const std::string& password)
{
    const std::size_t colon = databaseName.find(':');
    serverProperties.SetServerName(colon == std::string::npos ? std::string() : databaseName.substr(0, colon));
    serverProperties.SetParams(TStringList{"user_name=" + user, "password=" + password});
    try {
        FetchServerProperties(serverProperties);
    } catch (const std::exception&) {
        // The given password is not set up on this server: try the factory one.
        AppLogger().Log("GetBaseLocation : Security non configuré", WorkedAroundLevel, 0);
        Deactivate(serverProperties);
        SetPassword(serverProperties, FactoryPassword);
        FetchServerProperties(serverProperties);
    }
    const std::string root = serverProperties.ConfigParams().RootDirectory;
    serverProperties.SetActive(false);
    return root;
}

} // namespace morvane
