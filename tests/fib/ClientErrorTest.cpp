#include "fib/fib.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::fib;

namespace {

EFIBClientError CaughtClientError(auto raise)
{
    try {
        raise();
    } catch (const EFIBClientError& error) {
        return error;
    }
    ADD_FAILURE() << "no EFIBClientError";
    return EFIBClientError(FIBErrorFields{});
}

} // namespace

TEST(ClientErrorTable, ListedTextsAndMasking)
{
    struct Case {
        int number;
        const char* text;
    };
    const Case cases[] = {
        {0, "Unknown error."},
        {37, "Can't %s , because  query is empty"},
        {41, "Field \"%s\" not found."},
        {65, "Cannot perform operation -- service is not attached"},
        {70, "Unexpected Output buffer value"},
        {71, "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params"},
        {73, "SPB Constant Unknown"},
        {65 + 128, "Cannot perform operation -- service is not attached"}, // masked to 7 bits
        {127, "Unknown error."},                                          // past the table
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClientErrorTable(c.number), c.text) << c.number;
    // An unlisted number has a text of its own, not an empty one.
    EXPECT_FALSE(ClientErrorTable(1).empty());
}

TEST(RaiseClientError, FormatsTheTextAndCarriesNoOwnerPath)
{
    const auto plain = CaughtClientError([] { RaiseClientError(fibServerNameMissing); });
    EXPECT_EQ(plain.Message(), "Server Name Missing");
    EXPECT_EQ(plain.SqlCode(), 67);
    EXPECT_EQ(plain.BaseMessage(), "Server Name Missing");
    EXPECT_TRUE(plain.SenderName().empty());
    EXPECT_EQ(plain.Sender(), nullptr);
    EXPECT_EQ(plain.ClassName(), "EFIBClientError");

    const auto formatted = CaughtClientError([] { RaiseClientError(fibDatabaseClosed, std::string("Form.Db")); });
    EXPECT_EQ(formatted.Message(), "Form.Db: Cannot perform operation -- DB is not open.");
    const auto number = CaughtClientError([] { RaiseClientError(fibUnknownSQLDataType, 581); });
    EXPECT_EQ(number.Message(), "Unknown SQL Data type (581).");
}

TEST(RaiseClientError, IsCaughtAsEveryBaseClass)
{
    EXPECT_THROW(RaiseClientError(fibOutputParsingError), EFIBError);
    EXPECT_THROW(RaiseClientError(fibOutputParsingError), EDatabaseError);
    EXPECT_THROW(RaiseClientError(fibOutputParsingError), Exception);
}

TEST(ComposeFIBErrorMessage, OwnerPathThenSqlThenServerThenExtraThenBase)
{
    struct Case {
        FIBErrorFields fields;
        const char* message;
    };
    auto fields = [](std::string sender, std::string sql, std::string server, std::string extra, std::string base) {
        FIBErrorFields f;
        f.SenderName = std::move(sender);
        f.SqlMessage = std::move(sql);
        f.ServerMessage = std::move(server);
        f.ExtraMessage = std::move(extra);
        f.BaseMessage = std::move(base);
        return f;
    };
    const Case cases[] = {
        {fields("FormMorvane.FIBStatisticalService", "Sql.\r\n", "Server.\r\n", "", ""),
         "FormMorvane.FIBStatisticalService:\r\nSql.\r\nServer.\r\n"},
        {fields("X", "Sql.", "Server.\r\n", "", ""), "Sql.Server.\r\n"}, // one character is no path
        {fields("", "", "", "Extra ", "Base"), "Extra Base"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComposeFIBErrorMessage(c.fields), c.message);
}

TEST(NormaliseSqlMessage, RemovesBackslashNAndEndsTheSentence)
{
    struct Case {
        const char* raw;
        const char* normalised;
    };
    const Case cases[] = {
        {"", ""},
        {"unsuccessful metadata update", "Unsuccessful metadata update.\r\n"},
        {"already ends.", "Already ends."}, // no line break after a final full stop
        {"two\\nlines\\n", "Twolines.\r\n"},
        {"\\n", ""},
        {"9 starts with a digit", "9 starts with a digit.\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormaliseSqlMessage(c.raw), c.normalised) << c.raw;
}

TEST(AppendServerMessageLine, OneSentencePerLine)
{
    std::string message;
    AppendServerMessageLine(message, "");
    EXPECT_EQ(message, "");
    AppendServerMessageLine(message, "your user name and password are not defined");
    AppendServerMessageLine(message, "");
    AppendServerMessageLine(message, "Done.");
    EXPECT_EQ(message, "Your user name and password are not defined.\r\nDone.\r\n");
}
