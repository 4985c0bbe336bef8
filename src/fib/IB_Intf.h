#pragma once
// The binding to the Firebird client library: the file is loaded at run time by
// name and its entry points resolved by their published names, so the program runs
// with whichever client the site installed. ibase.h gives the types only.

#include "core/Component.h"

#include <ibase.h>

#include <memory>
#include <string>

namespace morvane::fib {

inline constexpr const char* DefaultClientLibraryName = "libfbclient.so.2";

// Resolved in this order; the first one missing fails the load.
#define MORVANE_FIB_REQUIRED_ENTRY_POINTS(X)                                                                        \
    X(BLOB_get) X(BLOB_put) X(isc_sqlcode) X(isc_sql_interprete) X(isc_interprete) X(isc_vax_integer)              \
    X(isc_blob_info) X(isc_open_blob2) X(isc_close_blob) X(isc_get_segment) X(isc_put_segment) X(isc_create_blob2) \
    X(isc_decode_date) X(isc_encode_date) X(isc_dsql_free_statement) X(isc_dsql_execute2) X(isc_dsql_execute)     \
    X(isc_dsql_set_cursor_name) X(isc_dsql_fetch) X(isc_dsql_sql_info) X(isc_dsql_alloc_statement2)                \
    X(isc_dsql_prepare) X(isc_dsql_describe_bind) X(isc_dsql_describe) X(isc_dsql_execute_immediate)               \
    X(isc_dsql_exec_immed2) X(isc_drop_database) X(isc_detach_database) X(isc_attach_database)                     \
    X(isc_database_info) X(isc_start_multiple) X(isc_commit_transaction) X(isc_commit_retaining)                   \
    X(isc_rollback_transaction) X(isc_cancel_events) X(isc_que_events) X(isc_event_counts) X(isc_event_block)      \
    X(isc_free) X(isc_array_lookup_bounds) X(isc_array_get_slice) X(isc_array_put_slice) X(isc_wait_for_event)     \
    X(isc_transaction_info) X(isc_prepare_transaction) X(isc_prepare_transaction2)

// Required once isc_rollback_retaining shows a version 6 client; never resolved otherwise.
#define MORVANE_FIB_VERSION6_ENTRY_POINTS(X)                                                                        \
    X(isc_service_attach) X(isc_service_detach) X(isc_service_query) X(isc_service_start) X(isc_decode_sql_date)   \
    X(isc_decode_sql_time) X(isc_decode_timestamp) X(isc_encode_sql_date) X(isc_encode_sql_time)                   \
    X(isc_encode_timestamp) X(isc_portable_integer)

// Looked up without failing.
#define MORVANE_FIB_OPTIONAL_ENTRY_POINTS(X)                                                                        \
    X(isc_rollback_retaining) X(isc_get_client_version) X(isc_get_client_major_version)                            \
    X(isc_get_client_minor_version) X(fb_cancel_operation)

#define MORVANE_FIB_ALL_ENTRY_POINTS(X)                                                                             \
    MORVANE_FIB_REQUIRED_ENTRY_POINTS(X) MORVANE_FIB_VERSION6_ENTRY_POINTS(X) MORVANE_FIB_OPTIONAL_ENTRY_POINTS(X)

// The batch functions of other client lines; ibase.h declares neither, nothing calls them.
using UndeclaredEntryPoint = void (*)();

[[noreturn]] void RaiseMissingProcedure(const char* functionName, const std::string& libraryName);

// What the components see of a binding: its name, the client's version, InCall,
// and one operation per client function with the published arguments and result.
class IIBClientLibrary {
public:
    virtual ~IIBClientLibrary() = default;
    IIBClientLibrary(const IIBClientLibrary&) = delete;
    IIBClientLibrary& operator=(const IIBClientLibrary&) = delete;

    const std::string& LibraryName() const noexcept { return libraryName_; }
    int ClientMajorVersion() const noexcept { return majorVersion_; }
    int ClientMinorVersion() const noexcept { return minorVersion_; }
    bool InCall() const noexcept { return inCall_; }

    UndeclaredEntryPoint BatchExecuteImmediateEntry() const noexcept { return isc_dsql_batch_execute_immed_; }
    UndeclaredEntryPoint BatchExecuteEntry() const noexcept { return isc_dsql_batch_execute_; }

#define MORVANE_FIB_CALL(name)                                                                                      \
    template <typename... Args>                                                                                     \
    auto name(Args... args)                                                                                         \
    {                                                                                                               \
        return Invoke(entries_.name, #name, args...);                                                               \
    }
    MORVANE_FIB_ALL_ENTRY_POINTS(MORVANE_FIB_CALL)
#undef MORVANE_FIB_CALL

protected:
    explicit IIBClientLibrary(std::string libraryName) : libraryName_(std::move(libraryName)) {}

// isc_interprete is deprecated by Firebird but is the call the messages are built with.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    struct EntryPoints {
#define MORVANE_FIB_POINTER(name) decltype(&::name) name = nullptr;
        MORVANE_FIB_ALL_ENTRY_POINTS(MORVANE_FIB_POINTER)
#undef MORVANE_FIB_POINTER
    };
#pragma GCC diagnostic pop

    EntryPoints entries_;
    UndeclaredEntryPoint isc_dsql_batch_execute_immed_ = nullptr;
    UndeclaredEntryPoint isc_dsql_batch_execute_ = nullptr;
    int majorVersion_ = 0;
    int minorVersion_ = 0;

private:
    class InCallScope {
    public:
        explicit InCallScope(bool& flag) : flag_(flag) { flag_ = true; }
        ~InCallScope() { flag_ = false; }
        InCallScope(const InCallScope&) = delete;
        InCallScope& operator=(const InCallScope&) = delete;

    private:
        bool& flag_;
    };

    template <typename Function, typename... Args>
    auto Invoke(Function function, const char* functionName, Args... args)
    {
        if (function == nullptr)
            RaiseMissingProcedure(functionName, libraryName_);
        InCallScope scope(inCall_);
        return function(args...);
    }

    std::string libraryName_;
    bool inCall_ = false;
};

// One loaded client library file, unloaded with its last reference.
class TIBClientLibrary final : public IIBClientLibrary {
public:
    // Loads the file and resolves the entry points; raises "Can't load library %s "
    // or the system error of the first missing required entry point.
    explicit TIBClientLibrary(const std::string& libraryName);
    ~TIBClientLibrary() override;

private:
    class Loader;
    std::unique_ptr<Loader> loader_;
};

// The binding shared by the service components for this exact (case-sensitive)
// file name, created on first request; the shared list lives until the program ends.
std::shared_ptr<IIBClientLibrary> GetClientLibrary(const std::string& libraryName);

// The calling thread's status vector, passed to every client call.
ISC_STATUS* StatusVector() noexcept;

// The callers' common step after a client call: a positive status is a failure,
// raised as EFIBInterBaseError when asked to.
ISC_STATUS CheckStatus(ISC_STATUS status, bool raise, IIBClientLibrary& library, const TComponent* sender);

} // namespace morvane::fib
