#pragma once
// Client handles owned by move-only objects: whatever path a component takes, an
// attachment, a transaction, a statement or a service it holds is released exactly once.

#include "fib/IB_Intf.h"

#include <memory>
#include <utility>

namespace morvane::fib {

// Release is a policy with `static void Release(IIBClientLibrary&, ISC_STATUS*, FB_API_HANDLE*)`.
template <typename Release>
class ClientHandle {
public:
    ClientHandle() = default;
    ~ClientHandle() { Reset(); }
    ClientHandle(ClientHandle&& other) noexcept
        : library_(std::move(other.library_)), handle_(std::exchange(other.handle_, 0))
    {
    }
    ClientHandle& operator=(ClientHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            library_ = std::move(other.library_);
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    ClientHandle(const ClientHandle&) = delete;
    ClientHandle& operator=(const ClientHandle&) = delete;

    // Prepares to receive a new handle from a client call made through library.
    FB_API_HANDLE* Receive(std::shared_ptr<IIBClientLibrary> library) noexcept
    {
        Reset();
        library_ = std::move(library);
        return &handle_;
    }
    // The address the client calls take; they may change or clear the value.
    FB_API_HANDLE* Address() noexcept { return &handle_; }
    FB_API_HANDLE Get() const noexcept { return handle_; }
    bool Null() const noexcept { return handle_ == 0; }
    // Drops a handle the client has already released.
    void Forget() noexcept { handle_ = 0; }

    // Releases a live handle quietly: this runs on cleanup paths where a second error
    // must not replace the first, and the handle is gone for this program either way.
    void Reset() noexcept
    {
        if (handle_ != 0 && library_) {
            ISC_STATUS_ARRAY status{};
            try {
                Release::Release(*library_, status, &handle_);
            } catch (const std::exception&) {
                // A binding without the entry point cannot release anything more.
            }
        }
        handle_ = 0;
    }

private:
    std::shared_ptr<IIBClientLibrary> library_;
    FB_API_HANDLE handle_ = 0;
};

struct DetachDatabase {
    static void Release(IIBClientLibrary& library, ISC_STATUS* status, FB_API_HANDLE* handle)
    {
        library.isc_detach_database(status, handle);
    }
};
struct RollbackTransaction {
    static void Release(IIBClientLibrary& library, ISC_STATUS* status, FB_API_HANDLE* handle)
    {
        library.isc_rollback_transaction(status, handle);
    }
};
struct DropStatement {
    static void Release(IIBClientLibrary& library, ISC_STATUS* status, FB_API_HANDLE* handle)
    {
        library.isc_dsql_free_statement(status, handle, static_cast<unsigned short>(DSQL_drop));
    }
};
struct DetachService {
    static void Release(IIBClientLibrary& library, ISC_STATUS* status, FB_API_HANDLE* handle)
    {
        library.isc_service_detach(status, handle);
    }
};

using DatabaseHandle = ClientHandle<DetachDatabase>;
using TransactionHandle = ClientHandle<RollbackTransaction>;
using StatementHandle = ClientHandle<DropStatement>;
using ServiceManagerHandle = ClientHandle<DetachService>;

} // namespace morvane::fib
