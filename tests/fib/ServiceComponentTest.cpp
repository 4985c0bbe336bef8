// The service components' own rules, without a server.

#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/fib.h"
#include "support/FakeClientLibrary.h"

#include "fib/ClientErrorNumber.h"

#include <gtest/gtest.h>

#include <limits>

using namespace morvane;
using namespace morvane::fib;

namespace {
using morvane::test::ClientErrorNumber;
} // namespace

TEST(ServiceComponent, ServerNameAndProtocolFollowEachOther)
{
    TpFIBStatisticalService service;
    EXPECT_EQ(service.Protocol(), TProtocol::Local);
    EXPECT_EQ(service.LibraryName(), DefaultClientLibraryName);
    EXPECT_TRUE(service.LoginPrompt());
    EXPECT_EQ(service.BufferSize(), 32000);

    service.SetServerName("127.0.0.1");
    EXPECT_EQ(service.Protocol(), TProtocol::TCP);
    service.SetProtocol(TProtocol::SPX);
    EXPECT_EQ(service.ServerName(), "127.0.0.1");
    service.SetServerName("");
    EXPECT_EQ(service.Protocol(), TProtocol::Local);
    service.SetServerName("db");
    service.SetProtocol(TProtocol::Local);
    EXPECT_EQ(service.ServerName(), "");
}

TEST(ServiceComponent, ChecksBeforeAnyClientCall)
{
    TpFIBBackupService backup;
    backup.SetProtocol(TProtocol::TCP);
    EXPECT_EQ(ClientErrorNumber([&] { backup.Attach(); }), 67);

    TpFIBConfigService config;
    EXPECT_EQ(ClientErrorNumber([&] { config.ServiceStart(); }), 71);

    TpFIBStatisticalService stats;
    EXPECT_EQ(ClientErrorNumber([&] { stats.GetNextLine(); }), 68);
    for (const std::int32_t size : {65536, 0, -1, std::numeric_limits<std::int32_t>::min()})
        EXPECT_EQ(ClientErrorNumber([&] { stats.SetBufferSize(size); }), 68) << size;
    EXPECT_EQ(stats.BufferSize(), 32000) << "a refused size changes nothing";
    stats.SetBufferSize(1);
    EXPECT_EQ(stats.BufferSize(), 1);
    stats.SetBufferSize(65535);
    EXPECT_EQ(ClientErrorNumber([&] { stats.SetParams({"role=x"}); stats.Attach(); }), 73);
    EXPECT_EQ(ClientErrorNumber([&] { stats.SetParams({"password=" + std::string(300, 'x')}); stats.Attach(); }), 74);

    TpFIBServerProperties properties;
    properties.SetLoginPrompt(true);
    properties.OnLogin = [](TpFIBCustomService&, TStringList&) { return false; };
    EXPECT_EQ(ClientErrorNumber([&] { properties.Attach(); }), 7);
}

TEST(ServiceComponent, Version5ClientHasNoServiceManager)
{
    TComponent form;
    form.SetName("FormMorvane");
    auto& stats = form.CreateOwned<TpFIBStatisticalService>();
    stats.SetName("FIBStatisticalService");
    stats.SetLibraryName(test::FakeClientLibraryVersion5());
    stats.SetLoginPrompt(false);
    stats.SetServerName("127.0.0.1");
    try {
        stats.Attach();
        FAIL() << "attached through a version 5 client";
    } catch (const EFIBError&) {
        FAIL() << "a missing procedure is not a server error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Can't find procedure isc_service_attach in " + test::FakeClientLibraryVersion5());
    }
    EXPECT_FALSE(stats.Active());
}

TEST(ServiceComponent, MissingClientLibrarySurfacesFromAttach)
{
    TpFIBServerProperties properties;
    properties.SetLoginPrompt(false);
    properties.SetLibraryName("/nonexistent/libfbclient.so.2");
    try {
        properties.Attach();
        FAIL() << "attached without a client library";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Can't load library /nonexistent/libfbclient.so.2 ");
    }
}
