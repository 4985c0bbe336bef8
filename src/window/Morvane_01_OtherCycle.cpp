// The window while another process's cycle (the night run, another window's)
// rebuilds its database: it keeps every input read-only and every button off the
// database until that cycle has ended, then works on the rebuilt file, and never
// writes values read before a rebuild onto the file that replaced the one they
// came from.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"
#include "window/QtText.h"

#include "core/Exception.h"
#include "cycle/CycleLock.h"
#include "session/DatabaseLocation.h"
#include "session/ProgramLog.h"

namespace morvane {

std::string TFormMorvane::DatabaseFilePath() const
{
    return SplitDatabaseLocation(ui->EditDBFile->text().toStdString()).path;
}

std::optional<std::string> TFormMorvane::OtherCycleHolder() const
{
    const std::string path = DatabaseFilePath();
    if (path.empty())
        return std::nullopt;
    try {
        return CycleLockHolder(path);
    } catch (const std::exception&) {
        // Where the locks live cannot be told: the cycle's own first step still
        // refuses to run beside another.
        return std::nullopt;
    }
}

void TFormMorvane::WatchOtherCycle() noexcept
{
    // A procedure of the window's own, its cycle among them, shows what it does itself.
    if (runningHandlers_ > 0)
        return;
    try {
        ShowOtherCycle(OtherCycleHolder());
    } catch (const std::exception& error) {
        ProgramLogQuietly(error.what(), 1);
    }
}

void TFormMorvane::ShowOtherCycle(const std::optional<std::string>& holder)
{
    if (holder == otherCycle_)
        return;
    const bool began = holder && !otherCycle_;
    if (began) {
        panelBeforeOtherCycle_ = ui->PanelOperation->text();
        panelColourBeforeOtherCycle_ = ui->PanelOperation->palette().color(QPalette::Window);
    }
    const bool ended = !holder && otherCycle_;
    otherCycle_ = holder;
    SetInputsReadOnly(otherCycle_.has_value());
    if (otherCycle_) {
        const std::string text = CycleLockWait(DatabaseFilePath(), *otherCycle_);
        SetStatus(text, PanelColour::Running);
        if (began)
            ProgramLog(text, 5);
    } else if (ended) {
        SetPanelOperation(panelBeforeOtherCycle_, panelColourBeforeOtherCycle_);
        ProgramLog("Le cycle de l'autre processus sur la base " + DatabaseFilePath() + " est fini", 5);
    }
}

void TFormMorvane::RefuseWhileAnotherCycleRuns()
{
    const std::optional<std::string> holder = OtherCycleHolder();
    ShowOtherCycle(holder);
    if (!holder)
        return;
    throw Exception(CycleLockWait(DatabaseFilePath(), *holder));
}

std::optional<std::string> TFormMorvane::SettingsReadElsewhere() const
{
    const std::string path = DatabaseFilePath();
    if (!settingsSource_ || settingsSource_->path != path)
        return std::nullopt;
    const std::string pressAgain = ": elles viennent d'être lues, rien n'a été écrit. Vérifiez-les et appuyez de "
                                   "nouveau sur Set Values";
    if (!settingsSource_->read)
        return "Les valeurs de la base " + path + " n'avaient pas été lues, un autre cycle travaillait sur elle" +
               pressAgain;
    if (platform::RegularFileIdentity(path) != settingsSource_->file)
        return "La base " + path + " a été reconstruite depuis la lecture de ses valeurs" + pressAgain;
    return std::nullopt;
}

void TFormMorvane::NoteSettingsRead(const std::string& path, const std::optional<platform::FileIdentity>& file)
{
    settingsSource_ = SettingsSource{path, file, true};
}

} // namespace morvane
