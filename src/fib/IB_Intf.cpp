#include "fib/IB_Intf.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "fib/fib.h"
#include "platform/DynamicLibrary.h"

#include <cerrno>
#include <mutex>
#include <vector>

namespace morvane::fib {

namespace {

// dlsym has no error number of its own; the lookup of a function the library
// does not have is reported as "function not implemented".
constexpr int MissingEntryPointCode = ENOSYS;

std::mutex& SharedLibrariesLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

// Never destroyed: the shared bindings stay loaded until the process is gone, so
// no client library is unloaded while static destructors or its own threads run.
std::vector<std::shared_ptr<IIBClientLibrary>>& SharedLibraries()
{
    static auto* libraries = new std::vector<std::shared_ptr<IIBClientLibrary>>;
    return *libraries;
}

} // namespace

void RaiseMissingProcedure(const char* functionName, const std::string& libraryName)
{
    throw Exception(FormatText("Can't find procedure %s in %s", functionName, libraryName));
}

class TIBClientLibrary::Loader {
public:
    platform::DynamicLibrary library;

    template <typename Pointer>
    void Optional(Pointer& entry, const char* name)
    {
        entry = reinterpret_cast<Pointer>(library.Symbol(name));
    }

    template <typename Pointer>
    void Required(Pointer& entry, const char* name)
    {
        Optional(entry, name);
        if (entry == nullptr)
            throw EOSError(FormatText("System Error.  Code: %d.\r\n%s", MissingEntryPointCode, library.LastError()),
                           MissingEntryPointCode);
    }
};

TIBClientLibrary::TIBClientLibrary(const std::string& libraryName)
    : IIBClientLibrary(libraryName), loader_(std::make_unique<Loader>())
{
    Loader& loader = *loader_;
    if (!loader.library.Load(libraryName))
        throw Exception(FormatText("Can't load library %s ", libraryName));

#define MORVANE_FIB_REQUIRE(name) loader.Required(entries_.name, #name);
    MORVANE_FIB_REQUIRED_ENTRY_POINTS(MORVANE_FIB_REQUIRE)

    loader.Optional(entries_.isc_rollback_retaining, "isc_rollback_retaining");
    if (entries_.isc_rollback_retaining != nullptr) {
        majorVersion_ = 6;
        MORVANE_FIB_VERSION6_ENTRY_POINTS(MORVANE_FIB_REQUIRE)
    } else {
        majorVersion_ = 5;
    }
    minorVersion_ = 0;

    loader.Optional(entries_.isc_get_client_version, "isc_get_client_version");
    if (entries_.isc_get_client_version != nullptr) {
        loader.Required(entries_.isc_get_client_major_version, "isc_get_client_major_version");
        loader.Required(entries_.isc_get_client_minor_version, "isc_get_client_minor_version");
        majorVersion_ = entries_.isc_get_client_major_version();
        minorVersion_ = entries_.isc_get_client_minor_version();
        loader.Optional(isc_dsql_batch_execute_immed_, "isc_dsql_batch_execute_immed");
        loader.Optional(isc_dsql_batch_execute_, "isc_dsql_batch_execute");
        loader.Optional(entries_.fb_cancel_operation, "fb_cancel_operation");
    }
#undef MORVANE_FIB_REQUIRE
}

TIBClientLibrary::~TIBClientLibrary() = default;

std::shared_ptr<IIBClientLibrary> GetClientLibrary(const std::string& libraryName)
{
    std::lock_guard<std::mutex> guard(SharedLibrariesLock());
    auto& libraries = SharedLibraries();
    for (const auto& library : libraries)
        if (library->LibraryName() == libraryName)
            return library;
    auto library = std::make_shared<TIBClientLibrary>(libraryName);
    libraries.push_back(library);
    return library;
}

ISC_STATUS* StatusVector() noexcept
{
    thread_local ISC_STATUS_ARRAY status{};
    return status;
}

ISC_STATUS CheckStatus(ISC_STATUS status, bool raise, IIBClientLibrary& library, const TComponent* sender)
{
    if (status > 0 && raise)
        RaiseServerError(library, sender);
    return status;
}

} // namespace morvane::fib
