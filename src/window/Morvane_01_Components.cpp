// The window's non-visual components, owned by the root component FormMorvane so
// that their errors name them FormMorvane.<name>.

#include "window/Morvane_01.h"

#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "cycle/BackupCycle.h"
#include "cycle/SettingsWrite.h"
#include "cycle/StartUp.h"

namespace morvane {

namespace {

template <typename T>
T& Create(TComponent& owner, const char* name)
{
    T& component = owner.CreateOwned<T>();
    component.SetName(name);
    return component;
}

// No login prompt. The protocol follows the server name each procedure sets: TCP
// as soon as it names a server, local (the embedded engine on this machine) for a
// DB File text without a server part, which a TCP component would refuse.
template <typename T>
T& CreateService(TComponent& owner, const char* name)
{
    T& service = Create<T>(owner, name);
    service.SetLoginPrompt(false);
    return service;
}

} // namespace

void TFormMorvane::CreateComponents()
{
    using namespace fib;

    fibDatabase_ = &Create<TpFIBDatabase>(root_, "FIBDatabase");
    // The design-time parameters; the connection profile adds its own after them.
    fibDatabase_->DBParams().SetText(DesignTimeDatabaseParams);
    fibDatabase_->SetSQLDialect(3);
    // The program's own attachment: a connection trigger of the site (an audit row,
    // a refusal of some users) is not fired for it.
    fibDatabase_->NoDatabaseTriggers = true;

    statisticalService_ = &CreateService<TpFIBStatisticalService>(root_, "FIBStatisticalService");
    statisticalService_->Options = TStatOptions{TStatOption::HeaderPages};

    configService_ = &CreateService<TpFIBConfigService>(root_, "ConfigService1");

    backupService_ = &CreateService<TpFIBBackupService>(root_, "BackupService1");
    backupService_->BlockingFactor = 0;
    backupService_->Options = TBackupOptions{TBackupOption::NoGarbageCollection};

    restoreService_ = &CreateService<TpFIBRestoreService>(root_, "RestoreService1");
    restoreService_->Options = TRestoreOptions{TRestoreOption::Replace};

    serverProperties_ = &CreateService<TpFIBServerProperties>(root_, "IBServerProperties");
    serverProperties_->Options =
        TPropertyOptions{TPropertyOption::Database, TPropertyOption::ConfigParameters, TPropertyOption::Version};
}

void TFormMorvane::SetDatabaseName(const std::string& dbFileText) { NameDatabase(*fibDatabase_, dbFileText); }

CycleComponents TFormMorvane::Components() noexcept
{
    return {*fibDatabase_, *statisticalService_, *configService_, *backupService_, *restoreService_,
            *serverProperties_};
}

} // namespace morvane
