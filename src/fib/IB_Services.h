#pragma once
// The service manager session shared by every service component: naming and
// attaching the service manager, sending start requests that a descendant has
// built, querying, and reading a request's text output line by line.

#include "core/Component.h"
#include "core/TextList.h"
#include "fib/ClientHandles.h"
#include "fib/IB_Intf.h"
#include "fib/IB_ServicesBuffers.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace morvane::fib {

class TpFIBCustomService : public TComponent {
public:
    explicit TpFIBCustomService(TComponent* owner = nullptr);
    ~TpFIBCustomService() override;

    void Attach();
    void Detach();
    bool Active() const noexcept { return !handle_.Null(); }
    void SetActive(bool active);

    const std::string& ServerName() const noexcept { return serverName_; }
    void SetServerName(const std::string& serverName);
    TProtocol Protocol() const noexcept { return protocol_; }
    void SetProtocol(TProtocol protocol);
    const std::string& LibraryName() const noexcept { return libraryName_; }
    void SetLibraryName(const std::string& libraryName);
    // Attach parameters (user_name, password, sql_role_name); refused while attached.
    const TStringList& Params() const noexcept { return params_; }
    void SetParams(const TStringList& params);
    bool LoginPrompt() const noexcept { return loginPrompt_; }
    void SetLoginPrompt(bool loginPrompt) noexcept { loginPrompt_ = loginPrompt; }

    isc_svc_handle ServiceHandle() const noexcept { return handle_.Get(); }

    // Called after every successful attach.
    std::function<void(TpFIBCustomService& sender)> OnAttach;
    // The login step when LoginPrompt is set: gets a copy of Params, whose changes are
    // kept; returning false cancels the attach (client error 7).
    std::function<bool(TpFIBCustomService& sender, TStringList& params)> OnLogin;

protected:
    IIBClientLibrary& ClientLibrary();
    void CheckInactive() const;
    void CheckActive() const;

    // Sends QueryItems and fills OutputBuffer; QueryItems is empty afterwards.
    void SendQuery();
    // The same with send items, into a reply of replySize bytes.
    void SendQuery(const ServiceBuffer& sendItems, std::int32_t replySize);
    // The check after a start or a query: on failure the component releases the
    // service and counts itself detached, then raises the server error as sender.
    void CheckServiceCall(ISC_STATUS* status);

    isc_svc_handle* ServiceHandleAddress() noexcept { return handle_.Address(); }
    ServiceBuffer& QueryItems() noexcept { return queryItems_; }
    const ServiceBuffer& OutputBuffer() const noexcept { return outputBuffer_; }
    std::int32_t BufferSizeValue() const noexcept { return bufferSize_; }
    void ResizeOutputBuffer(std::int32_t bufferSize);

private:
    std::shared_ptr<IIBClientLibrary> library_;
    std::string libraryName_ = DefaultClientLibraryName;
    TProtocol protocol_ = TProtocol::Local;
    std::string serverName_;
    TStringList params_;
    bool paramsChanged_ = true;
    ServiceBuffer attachBuffer_;
    ServiceManagerHandle handle_;
    bool loginPrompt_ = true;
    ServiceBuffer queryItems_;
    ServiceBuffer outputBuffer_;
    std::int32_t bufferSize_ = 32000;
};

// A service component that sends start requests.
class TpFIBControlService : public TpFIBCustomService {
public:
    using TpFIBCustomService::TpFIBCustomService;

    // Checks the attachment, builds the start request and sends it.
    virtual void ServiceStart();

protected:
    // Fills StartBuffer; nothing to build here.
    virtual void BuildStartBuffer() {}
    // Sends StartBuffer (client error 69 when empty); StartBuffer is empty afterwards.
    void SendStart();

    ServiceBuffer& StartBuffer() noexcept { return startBuffer_; }
    void AddStartString(std::string_view text, std::uint8_t code) { fib::AddStartString(startBuffer_, text, code); }
    void AddStartInt(std::int32_t value, std::uint8_t code) { fib::AddStartInt(startBuffer_, value, code); }

private:
    ServiceBuffer startBuffer_;
};

// A service component whose requests write text output, read with GetNextLine.
class TpFIBControlAndQueryService : public TpFIBControlService {
public:
    using TpFIBControlService::TpFIBControlService;

    void ServiceStart() override;

    // The next output line of the running request; empty once the output is over. A
    // request the server ends on an error raises it, after the output line the server
    // sent with the error.
    std::string GetNextLine();
    // The largest reply the client takes (its length is 16 bits).
    static constexpr std::int32_t ChunkReplySize = 65535;
    // The output that came since the last read, read in bulk: any number of lines,
    // the last one maybe cut (ServiceOutputLines puts them together), or nothing when
    // the server had nothing to give within timeoutSeconds. Empty once the output is
    // over (Eof). A request the server ends on an error raises it, after the output
    // that came with the error. One query for a whole reply's worth of lines: a long
    // verbose output costs a few dozen round trips instead of one a line. The server
    // answers once replySize bytes are ready (or at the timeout): a smaller reply
    // comes sooner when the output is slow.
    std::string GetNextChunk(std::uint16_t timeoutSeconds = 1, std::int32_t replySize = ChunkReplySize);
    bool Eof() const noexcept { return eof_; }
    std::int32_t ActionCode() const noexcept { return actionCode_; }

    std::int32_t BufferSize() const noexcept { return BufferSizeValue(); }
    // 1 to 65535 (the client takes the size as 16 bits); others raise client error 68.
    void SetBufferSize(std::int32_t bufferSize) { ResizeOutputBuffer(bufferSize); }

    // With a callback, ServiceStart passes it every output line until the end.
    std::function<void(TComponent& sender, const std::string& line)> OnTextNotify;

protected:
    // Each request's BuildStartBuffer starts a new output cycle.
    void BeginRequest(std::int32_t actionCode) noexcept
    {
        actionCode_ = actionCode;
        eof_ = false;
        pendingError_ = nullptr;
    }

private:
    // The next reply of the running request's output, asked for with item and decoded
    // by decode; what a failed request sent with its error comes first.
    template <typename Reply>
    std::string ReadOutput(std::uint8_t item, const ServiceBuffer& sendItems, std::int32_t replySize,
                           Reply (*decode)(std::span<const std::uint8_t>));

    bool eof_ = false;
    // The error a request ended with, raised by the read after the line that came with it.
    std::exception_ptr pendingError_;
    std::int32_t actionCode_ = 0;
};

} // namespace morvane::fib
