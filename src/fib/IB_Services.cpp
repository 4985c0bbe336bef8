#include "fib/IB_Services.h"

#include "fib/fib.h"

#include <limits>
#include <optional>
#include <utility>

namespace morvane::fib {

TpFIBCustomService::TpFIBCustomService(TComponent* owner) : TComponent(owner) {}

TpFIBCustomService::~TpFIBCustomService()
{
    if (!Active())
        return;
    try {
        Detach();
    } catch (const Exception&) {
        // A destructor cannot raise; the handle is forgotten either way and the
        // server drops the attachment when the client connection goes.
    }
}

void TpFIBCustomService::CheckInactive() const
{
    if (Active())
        RaiseClientError(fibServiceAttached);
}

void TpFIBCustomService::CheckActive() const
{
    if (!Active())
        RaiseClientError(fibServiceNotAttached);
}

IIBClientLibrary& TpFIBCustomService::ClientLibrary()
{
    if (!library_)
        library_ = GetClientLibrary(libraryName_);
    return *library_;
}

void TpFIBCustomService::SetActive(bool active)
{
    if (active == Active())
        return;
    if (active)
        Attach();
    else
        Detach();
}

void TpFIBCustomService::SetServerName(const std::string& serverName)
{
    if (serverName == serverName_)
        return;
    CheckInactive();
    serverName_ = serverName;
    if (protocol_ == TProtocol::Local && !serverName_.empty())
        protocol_ = TProtocol::TCP;
    else if (protocol_ != TProtocol::Local && serverName_.empty())
        protocol_ = TProtocol::Local;
}

void TpFIBCustomService::SetProtocol(TProtocol protocol)
{
    if (protocol == protocol_)
        return;
    CheckInactive();
    protocol_ = protocol;
    if (protocol_ == TProtocol::Local)
        serverName_.clear();
}

void TpFIBCustomService::SetLibraryName(const std::string& libraryName)
{
    CheckInactive();
    if (libraryName == libraryName_)
        return;
    libraryName_ = libraryName;
    library_.reset();
}

void TpFIBCustomService::SetParams(const TStringList& params)
{
    CheckInactive();
    params_ = params;
    paramsChanged_ = true;
}

void TpFIBCustomService::Attach()
{
    CheckInactive();
    if (serverName_.empty() && protocol_ != TProtocol::Local)
        RaiseClientError(fibServerNameMissing);
    if (loginPrompt_ && OnLogin) {
        TStringList params = params_;
        if (!OnLogin(*this, params))
            RaiseClientError(fibOperationCancelled);
        if (!(params == params_)) {
            params_ = std::move(params);
            paramsChanged_ = true;
        }
    }
    if (paramsChanged_) {
        attachBuffer_ = BuildAttachBuffer(params_);
        paramsChanged_ = false;
    }
    const std::string name = ServiceManagerName(protocol_, serverName_);
    IIBClientLibrary& library = ClientLibrary();
    // The name's length goes in 16 bits, and the attach buffer is at most 65535 bytes.
    if (name.size() > std::numeric_limits<unsigned short>::max())
        RaiseClientError(fibParameterTooLong, std::string("ServerName"));
    ISC_STATUS* status = StatusVector();
    library.isc_service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(),
                               handle_.Receive(library_), static_cast<unsigned short>(attachBuffer_.size()),
                               reinterpret_cast<const ISC_SCHAR*>(attachBuffer_.data()));
    Check(library, status, this, [this]() noexcept { handle_.Forget(); });
    if (OnAttach)
        OnAttach(*this);
}

void TpFIBCustomService::Detach()
{
    CheckActive();
    IIBClientLibrary& library = ClientLibrary();
    ISC_STATUS* status = StatusVector();
    library.isc_service_detach(status, handle_.Address());
    handle_.Forget(); // refused or not, the service is gone for this component
    Check(library, status, this);
}

void TpFIBCustomService::CheckServiceCall(ISC_STATUS* status)
{
    // The client still holds the service after a failed start or query; the holder
    // releases it with a status vector of its own, so the error raised stays intact.
    Check(ClientLibrary(), status, this, [this]() noexcept { handle_.Reset(); });
}

void TpFIBCustomService::ResizeOutputBuffer(std::int32_t bufferSize)
{
    // An empty reply buffer is refused as well: the server does not survive a query with none.
    if (bufferSize < 1 || bufferSize > std::numeric_limits<unsigned short>::max())
        RaiseClientError(fibQueryParamsError);
    bufferSize_ = bufferSize;
    if (!outputBuffer_.empty())
        outputBuffer_.assign(static_cast<std::size_t>(bufferSize_), 0);
}

void TpFIBCustomService::SendQuery() { SendQuery({}, bufferSize_); }

void TpFIBCustomService::SendQuery(const ServiceBuffer& sendItems, std::int32_t replySize)
{
    if (queryItems_.empty())
        RaiseClientError(fibQueryParamsError);
    const ServiceBuffer request = std::move(queryItems_);
    queryItems_.clear();
    // Cleared each time: what a failed query leaves in it is read (see GetNextLine),
    // never an earlier reply.
    outputBuffer_.assign(static_cast<std::size_t>(replySize), 0);
    ISC_STATUS* status = StatusVector();
    ClientLibrary().isc_service_query(
        status, handle_.Address(), nullptr, static_cast<unsigned short>(sendItems.size()),
        sendItems.empty() ? nullptr : reinterpret_cast<const ISC_SCHAR*>(sendItems.data()),
        static_cast<unsigned short>(request.size()), reinterpret_cast<const ISC_SCHAR*>(request.data()),
        static_cast<unsigned short>(outputBuffer_.size()), reinterpret_cast<ISC_SCHAR*>(outputBuffer_.data()));
    CheckServiceCall(status);
}

void TpFIBControlService::ServiceStart()
{
    CheckActive();
    BuildStartBuffer();
    SendStart();
}

void TpFIBControlService::SendStart()
{
    const ServiceBuffer request = std::move(startBuffer_);
    startBuffer_.clear();
    if (request.empty())
        RaiseClientError(fibStartParamsError);
    if (request.size() > std::numeric_limits<unsigned short>::max())
        RaiseClientError(fibParameterTooLong, std::string("start request"));
    ISC_STATUS* status = StatusVector();
    ClientLibrary().isc_service_start(status, ServiceHandleAddress(), nullptr,
                                      static_cast<unsigned short>(request.size()),
                                      reinterpret_cast<const ISC_SCHAR*>(request.data()));
    CheckServiceCall(status);
}

void TpFIBControlAndQueryService::ServiceStart()
{
    TpFIBControlService::ServiceStart();
    if (!OnTextNotify)
        return;
    while (!Eof()) {
        const std::string line = GetNextLine();
        OnTextNotify(*this, line);
    }
}

template <typename Reply>
std::string TpFIBControlAndQueryService::ReadOutput(std::uint8_t item, const ServiceBuffer& sendItems,
                                                   std::int32_t replySize,
                                                   Reply (*decode)(std::span<const std::uint8_t>))
{
    if (pendingError_) {
        eof_ = true;
        std::rethrow_exception(std::exchange(pendingError_, nullptr));
    }
    if (eof_)
        return {};
    if (actionCode_ == 0)
        RaiseClientError(fibQueryParamsError);
    QueryItems() = {item};
    try {
        SendQuery(sendItems, replySize);
    } catch (const EFIBInterBaseError&) {
        // The server ends a failed request with the reply that carries its last output
        // (gbak's "ERROR:" line) and the error together: the output is given first.
        std::optional<Reply> last;
        try {
            last = decode(OutputBuffer());
        } catch (const Exception&) {
            // Nothing readable came with the error.
        }
        if (!last || last->Text.empty())
            throw;
        pendingError_ = std::current_exception();
        return std::move(last->Text);
    }
    Reply reply = decode(OutputBuffer());
    eof_ = reply.End;
    return std::move(reply.Text);
}

std::string TpFIBControlAndQueryService::GetNextChunk(std::uint16_t timeoutSeconds, std::int32_t replySize)
{
    return ReadOutput(ChunkQueryItem, BuildChunkQuerySend(timeoutSeconds), replySize, &DecodeServiceChunk);
}

std::string TpFIBControlAndQueryService::GetNextLine()
{
    return ReadOutput(std::uint8_t{62} /* isc_info_svc_line */, {}, BufferSizeValue(), &DecodeServiceLine);
}

} // namespace morvane::fib
