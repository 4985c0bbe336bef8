// One header statistics request through the program's own service component, as
// the "List infos" button makes it, without the window and its colour pauses.
//   header_stats_request <server> <database as in DB File> <user> <password> [count]
// Prints the number of report lines read; count repeats the request in the process.

#include "core/Component.h"
#include "core/Exception.h"
#include "core/Text.h"
#include "core/TextList.h"
#include "fib/IB_ServicesProperties.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <server> <database> <user> <password> [count]\n", argv[0]);
        return 2;
    }
    try {
        const int count = argc > 5 ? morvane::StrToInt(argv[5]) : 1;
        morvane::TComponent root(nullptr);
        auto& service = root.CreateOwned<morvane::fib::TpFIBStatisticalService>();
        service.SetLoginPrompt(false);
        service.Options = morvane::fib::TStatOptions{morvane::fib::TStatOption::HeaderPages};
        service.SetServerName(argv[1]);
        service.DatabaseName = argv[2];
        morvane::TStringList params;
        params.Add(std::string("user_name=") + argv[3]);
        params.Add(std::string("password=") + argv[4]);
        service.SetParams(params);

        std::size_t lines = 0;
        for (int i = 0; i < count; ++i) {
            std::vector<std::string> report;
            service.Attach();
            service.ServiceStart();
            while (!service.Eof())
                report.push_back(morvane::Trim(service.GetNextLine()));
            service.Detach();
            lines = report.size();
        }
        std::printf("%zu\n", lines);
        return lines > 0 ? 0 : 1;
    } catch (const morvane::Exception& error) {
        std::fprintf(stderr, "%s: %s\n", error.ClassName().c_str(), error.Message().c_str());
        return 1;
    }
}
