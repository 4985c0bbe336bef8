// How the window reads with the fonts of this machine: the header report's columns
// line up.

#include "WindowFixture.h"

#include "core/Text.h"

#include <QFontMetricsF>
#include <QTextBlock>
#include <QtTest/QTest>

#include <optional>

namespace morvane::test {
namespace {

// The header of a Firebird 3 database as fbstat -h prints it, tabs and all.
const char* const HeaderReport[] = {
    "",
    "Database \"/srv/calvenor/BD.FDB\"",
    "Gstat execution time Thu Dec 10 13:43:55 2026",
    "",
    "Database header page information:",
    "\tFlags\t\t\t0",
    "\tGeneration\t\t6",
    "\tSystem Change Number\t0",
    "\tPage size\t\t8192",
    "\tODS version\t\t12.0",
    "\tOldest transaction\t1",
    "\tOldest active\t\t2",
    "\tOldest snapshot\t\t2",
    "\tNext transaction\t3",
    "\tSequence number\t\t0",
    "\tNext attachment ID\t3",
    "\tImplementation\t\tHW=AMD/Intel/x64 little-endian OS=Linux CC=gcc",
    "\tShadow count\t\t0",
    "\tPage buffers\t\t0",
    "\tNext header page\t0",
    "\tDatabase dialect\t3",
    "\tCreation date\t\tDec 10, 2026 13:43:54",
    "\tAttributes\t\tforce write",
    "",
    "    Variable header data:",
    "\t*END*",
    "Gstat completion time Thu Dec 10 13:43:55 2026",
    "",
};

class WindowLayoutTest : public WindowTest {
protected:
    void SetUp() override
    {
        SetArguments({});
        CreateForm(); // no profile beside the program: start-up stops before the server
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    // Where the value of a report line starts: the first character after its last tab.
    std::optional<int> ValueLeft(const QString& name) const
    {
        auto* memo = Control<QPlainTextEdit>("MemoCurrentStats");
        for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
            if (!block.text().startsWith(name + '\t'))
                continue;
            QTextCursor cursor(block);
            cursor.setPosition(block.position() + static_cast<int>(block.text().lastIndexOf(QLatin1Char('\t'))) + 1);
            return memo->cursorRect(cursor).left();
        }
        return std::nullopt;
    }
};

TEST_F(WindowLayoutTest, HeaderReportValuesLineUpAsInATerminal)
{
    // The lines go in as "List infos" puts them: blanks and tabs around them removed.
    form_->ClearMemo();
    for (const char* line : HeaderReport)
        form_->AppendMemoLine(QString::fromStdString(Trim(line)));

    auto* memo = Control<QPlainTextEdit>("MemoCurrentStats");
    for (const int pointSize : {0, 14, 6}) {
        if (pointSize > 0) {
            QFont font = memo->font();
            font.setPointSize(pointSize);
            memo->setFont(font);
        }
        SCOPED_TRACE("font " + memo->font().toString().toStdString());
        EXPECT_DOUBLE_EQ(memo->tabStopDistance(), QFontMetricsF(memo->font()).horizontalAdvance(' ') * 8);
        const std::optional<int> flags = ValueLeft("Flags");
        ASSERT_TRUE(flags.has_value());
        for (const char* name : {"Generation", "Creation date", "System Change Number", "Oldest snapshot"}) {
            const std::optional<int> left = ValueLeft(name);
            ASSERT_TRUE(left.has_value()) << name;
            EXPECT_EQ(*left, *flags) << name;
        }
    }
}

} // namespace
} // namespace morvane::test
