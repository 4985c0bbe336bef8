// The floor of the route the cycle takes: a verbose backup into a file, then a
// verbose restore of it, through the service manager, their output read in bulk as
// the cycle reads it (the reply's size following the output) and thrown away. Nothing else: no checks, no shutdown, no
// verification, no progress.
//   verbose_route <server> <database> <backup file> <new database> <page size> <page buffers> <user> <password>
// Prints the backup's and the restore's seconds and their output lines:
//   "backup 1.234 s 40026 lines; restore 4.567 s 38016 lines"

#include "core/Component.h"
#include "core/Exception.h"
#include "core/Text.h"
#include "core/TextList.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/ServiceReplySize.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using morvane::fib::TpFIBBackupRestoreService;

struct RequestTime {
    double seconds{0};
    std::size_t lines{0};
};

RequestTime RunToTheEnd(TpFIBBackupRestoreService& service)
{
    const auto start = std::chrono::steady_clock::now();
    service.Attach();
    service.ServiceStart();
    std::size_t lines = 0;
    morvane::fib::TServiceReplySize replySize;
    while (!service.Eof()) {
        const auto asked = std::chrono::steady_clock::now();
        const std::string chunk = service.GetNextChunk(1, replySize.Next());
        replySize.Took(chunk.size(), std::chrono::steady_clock::now() - asked);
        for (char c : chunk)
            lines += c == '\n' ? 1 : 0;
    }
    service.Detach();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), lines};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 9) {
        std::fprintf(stderr,
                     "usage: %s <server> <database> <backup file> <new database> <page size> <page buffers> <user> "
                     "<password>\n",
                     argv[0]);
        return 2;
    }
    try {
        morvane::TStringList params;
        params.Add(std::string("user_name=") + argv[7]);
        params.Add(std::string("password=") + argv[8]);
        morvane::TComponent root(nullptr);

        auto& backup = root.CreateOwned<morvane::fib::TpFIBBackupService>();
        backup.SetLoginPrompt(false);
        backup.SetServerName(argv[1]);
        backup.SetParams(params);
        backup.DatabaseName = argv[2];
        backup.BackupFile.Add(argv[3]);
        // As the cycle asks for them (and gbak -b -g).
        backup.BlockingFactor = 0;
        backup.Options = morvane::fib::TBackupOptions{morvane::fib::TBackupOption::NoGarbageCollection,
                                                      morvane::fib::TBackupOption::NoDatabaseTriggers};
        backup.Verbose = true;
        const RequestTime written = RunToTheEnd(backup);

        auto& restore = root.CreateOwned<morvane::fib::TpFIBRestoreService>();
        restore.SetLoginPrompt(false);
        restore.SetServerName(argv[1]);
        restore.SetParams(params);
        restore.BackupFile.Add(argv[3]);
        restore.DatabaseName.Add(argv[4]);
        restore.PageSize = morvane::StrToInt(argv[5]);
        restore.PageBuffers = morvane::StrToInt(argv[6]);
        restore.Options = morvane::fib::TRestoreOptions{morvane::fib::TRestoreOption::Replace};
        restore.ReadWrite = true;
        restore.Verbose = true;
        const RequestTime read = RunToTheEnd(restore);

        std::printf("backup %.3f s %zu lines; restore %.3f s %zu lines\n", written.seconds, written.lines,
                    read.seconds, read.lines);
        return 0;
    } catch (const morvane::Exception& error) {
        std::fprintf(stderr, "%s: %s\n", error.ClassName().c_str(), error.Message().c_str());
        return 1;
    }
}
