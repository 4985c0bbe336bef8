#pragma once
// The backup and restore requests: a backup copies the database into backup files,
// a restore rebuilds a database from them (the way page size and buffers change).

#include "fib/IB_Services.h"

namespace morvane::fib {

class TpFIBBackupRestoreService : public TpFIBControlAndQueryService {
public:
    using TpFIBControlAndQueryService::TpFIBControlAndQueryService;

    bool Verbose = false;
};

class TpFIBBackupService : public TpFIBBackupRestoreService {
public:
    using TpFIBBackupRestoreService::TpFIBBackupRestoreService;

    std::string DatabaseName;
    // Each line a file name, optionally followed by "=" and a length.
    TStringList BackupFile;
    std::int32_t BlockingFactor = 0;
    TBackupOptions Options;

protected:
    void BuildStartBuffer() override;
};

class TpFIBRestoreService : public TpFIBBackupRestoreService {
public:
    using TpFIBBackupRestoreService::TpFIBBackupRestoreService;

    // Both lists: each line a file name, optionally followed by "=" and a length.
    TStringList BackupFile;
    TStringList DatabaseName;
    std::int32_t PageSize = 4096;
    std::int32_t PageBuffers = 0;
    TRestoreOptions Options{TRestoreOption::CreateNewDB};
    bool ReadWrite = false;

protected:
    void BuildStartBuffer() override;
};

} // namespace morvane::fib
