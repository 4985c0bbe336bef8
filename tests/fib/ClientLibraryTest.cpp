#include "fib/IB_Intf.h"
#include "fib/fib.h"
#include "support/FakeClientLibrary.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace morvane;
using namespace morvane::fib;

namespace {

template <typename E>
E Caught(auto action)
{
    try {
        action();
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "expected exception not raised";
    throw std::logic_error("unreachable");
}

} // namespace

TEST(ClientLibrary, MissingFileIsRefusedWithTheLoadText)
{
    const std::string name = "/nonexistent/libfbclient.so.2";
    const auto error = Caught<Exception>([&] { TIBClientLibrary library(name); });
    EXPECT_EQ(error.Message(), "Can't load library /nonexistent/libfbclient.so.2 ");
    EXPECT_EQ(error.ClassName(), "Exception");
    // A failed creation adds nothing to the shared list: the next request tries again.
    EXPECT_THROW(GetClientLibrary(name), Exception);
    EXPECT_THROW(GetClientLibrary(name), Exception);
}

TEST(ClientLibrary, MissingRequiredEntryPointIsTheSystemError)
{
    const auto error = Caught<EOSError>([] { TIBClientLibrary library(test::FakeClientLibraryMissingEntryPoint()); });
    EXPECT_EQ(error.ErrorCode(), ENOSYS);
    const std::string prefix = "System Error.  Code: " + std::to_string(ENOSYS) + ".\r\n";
    EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
    // The loader's own text names the function it could not find.
    EXPECT_NE(error.Message().find(test::FakeMissingEntryPointName), std::string::npos) << error.Message();
}

TEST(ClientLibrary, WithoutRollbackRetainingIsVersion5WithoutServiceFunctions)
{
    const std::string name = test::FakeClientLibraryVersion5();
    TIBClientLibrary library(name);
    EXPECT_EQ(library.LibraryName(), name);
    EXPECT_EQ(library.ClientMajorVersion(), 5);
    EXPECT_EQ(library.ClientMinorVersion(), 0);

    isc_svc_handle handle = 0;
    const auto error = Caught<Exception>(
        [&] { library.isc_service_attach(StatusVector(), static_cast<unsigned short>(11), "service_mgr", &handle,
                                                   static_cast<unsigned short>(0), nullptr); });
    EXPECT_EQ(error.Message(), "Can't find procedure isc_service_attach in " + name);
    EXPECT_FALSE(library.InCall());
}

TEST(ClientLibrary, SharedBindingsAreFoundByTheExactName)
{
    const std::string name = test::FakeClientLibraryVersion5();
    const auto first = GetClientLibrary(name);
    EXPECT_EQ(GetClientLibrary(name), first);
    // The same file under another spelling is another binding.
    const std::string otherSpelling = "/" + name;
    const auto second = GetClientLibrary(otherSpelling);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->LibraryName(), otherSpelling);
}

TEST(ClientLibrary, RealClientReportsItsOwnVersion)
{
    TIBClientLibrary library(DefaultClientLibraryName);
    EXPECT_GE(library.ClientMajorVersion(), 3);
    char text[] = {1, 2, 0, 0};
    EXPECT_EQ(library.isc_vax_integer(text, static_cast<short>(2)), 0x0201);
    EXPECT_FALSE(library.InCall());
}

TEST(StatusVector, IsPerThread)
{
    ISC_STATUS* mine = StatusVector();
    mine[1] = 335544472;
    ISC_STATUS* other = nullptr;
    ISC_STATUS otherWord = -1;
    std::thread([&] {
        other = StatusVector();
        otherWord = other[1];
    }).join();
    EXPECT_NE(other, mine);
    EXPECT_EQ(otherWord, 0);
    EXPECT_EQ(StatusVector(), mine);
}

TEST(RaiseServerError, ComposesTheClientsInterpretationWithTheOwnerPath)
{
    auto library = GetClientLibrary(DefaultClientLibraryName);
    TComponent form;
    form.SetName("FormMorvane");
    auto& service = form.CreateOwned<TComponent>();
    service.SetName("FIBStatisticalService");

    ISC_STATUS* status = StatusVector();
    status[0] = isc_arg_gds;
    status[1] = isc_login;
    status[2] = isc_arg_end;
    const auto error = Caught<EFIBInterBaseError>([&] { RaiseServerError(*library, &service); });
    EXPECT_EQ(error.ServerErrorCode(), isc_login);
    EXPECT_EQ(error.SqlCode(), -902);
    EXPECT_EQ(error.SenderName(), "FormMorvane.FIBStatisticalService");
    EXPECT_EQ(error.Sender(), &service);
    const std::string start = "FormMorvane.FIBStatisticalService:\r\n";
    EXPECT_EQ(error.Message().substr(0, start.size()), start);
    EXPECT_NE(error.ServerMessage().find("Your user name and password are not defined."), std::string::npos)
        << error.ServerMessage();
    EXPECT_EQ(error.Message(), start + error.SqlMessage() + error.ServerMessage());
    EXPECT_EQ(error.ServerMessage().substr(error.ServerMessage().size() - 3), ".\r\n");
}

TEST(CheckStatus, RaisesOnlyAPositiveStatusWhenAsked)
{
    auto library = GetClientLibrary(DefaultClientLibraryName);
    ISC_STATUS* status = StatusVector();
    status[0] = isc_arg_gds;
    status[1] = isc_login;
    status[2] = isc_arg_end;
    EXPECT_EQ(CheckStatus(0, true, *library, nullptr), 0);
    EXPECT_EQ(CheckStatus(isc_login, false, *library, nullptr), isc_login);
    EXPECT_THROW(CheckStatus(isc_login, true, *library, nullptr), EFIBInterBaseError);
}

TEST(Check, RaisesTheVectorItIsGivenAfterTheCleanup)
{
    auto library = GetClientLibrary(DefaultClientLibraryName);
    std::fill(StatusVector(), StatusVector() + ISC_STATUS_LENGTH, 0);
    int cleanups = 0;
    const auto cleanup = [&]() noexcept { ++cleanups; };

    ISC_STATUS_ARRAY passed{isc_arg_gds, 0, isc_arg_end};
    Check(*library, passed, nullptr);
    Check(*library, passed, nullptr, cleanup);
    EXPECT_EQ(cleanups, 0) << "no error word: the call succeeded";

    // A saved vector, as a fetch keeps while it closes its cursor: the thread's is clear.
    ISC_STATUS_ARRAY failed{isc_arg_gds, isc_login, isc_arg_end};
    EXPECT_EQ(Caught<EFIBInterBaseError>([&] { Check(*library, failed, nullptr, cleanup); }).ServerErrorCode(),
              isc_login);
    EXPECT_EQ(cleanups, 1);
    EXPECT_THROW(Check(*library, failed, nullptr), EFIBInterBaseError);
}
