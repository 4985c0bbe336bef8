#include "fib/IB_ServicesBackup.h"

namespace morvane::fib {

void TpFIBBackupService::BuildStartBuffer()
{
    BackupRequest request;
    request.DatabaseName = DatabaseName;
    request.BackupFile = BackupFile;
    request.BlockingFactor = BlockingFactor;
    request.Options = Options;
    request.Verbose = Verbose;
    ServiceBuffer buffer = BuildBackupStart(request);
    BeginRequest(1);
    StartBuffer() = std::move(buffer);
}

void TpFIBRestoreService::BuildStartBuffer()
{
    RestoreRequest request;
    request.BackupFile = BackupFile;
    request.DatabaseName = DatabaseName;
    request.PageSize = PageSize;
    request.PageBuffers = PageBuffers;
    request.Options = Options;
    request.Verbose = Verbose;
    request.ReadWrite = ReadWrite;
    ServiceBuffer buffer = BuildRestoreStart(request);
    BeginRequest(2);
    StartBuffer() = std::move(buffer);
}

} // namespace morvane::fib
