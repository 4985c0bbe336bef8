// How the window reads at its own size with the fonts of this machine: the header
// report's columns line up, and no control's text runs into another's.

#include "WindowFixture.h"

#include "core/Text.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QtTest/QTest>

#include <map>
#include <optional>
#include <string>
#include <vector>

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

// What a control puts on its parent, in the parent's coordinates: for a caption
// (label, button, check box, radio button) the rectangle its text needs from its
// font's metrics, placed where the control draws it, with the box or circle of a
// check box or radio button; for any other control, the control itself.
QRect PaintedArea(const QWidget* control)
{
    const QFontMetrics metrics(control->font());
    QStyle* style = control->style();
    const auto textArea = [&](const QRect& room, int flags, const QString& text) {
        return style->itemTextRect(metrics, room, flags | Qt::TextShowMnemonic, true, text);
    };
    const auto onParent = [&](const QRect& area) { return area.translated(control->pos()); };

    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->frameShape() != QFrame::NoFrame || label->text().isEmpty())
            return label->geometry(); // a panel draws its whole frame
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return onParent(textArea(label->contentsRect(), flags, label->text()));
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool isCheck = qobject_cast<const QCheckBox*>(button) != nullptr;
        const bool isRadio = qobject_cast<const QRadioButton*>(button) != nullptr;
        if (!isCheck && !isRadio) {
            const QRect room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            return onParent(textArea(room, Qt::AlignCenter, button->text()).united(button->rect()));
        }
        const QRect room =
            style->subElementRect(isCheck ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, button);
        const QRect mark =
            style->subElementRect(isCheck ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator, &option, button);
        return onParent(textArea(room, Qt::AlignLeft | Qt::AlignVCenter, button->text()).united(mark));
    }
    return control->geometry();
}

std::string Describe(const QWidget* control, const QRect& area)
{
    return control->objectName().toStdString() + " (" + std::to_string(area.left()) + "," + std::to_string(area.top()) +
           " to " + std::to_string(area.right()) + "," + std::to_string(area.bottom()) + ")";
}

TEST_F(WindowLayoutTest, NoControlDrawsOverAnotherAtTheWindowsSize)
{
    ASSERT_EQ(form_->size(), QSize(901, 618));
    // The form's own controls, grouped by the control that holds them; the parts a
    // spin box, combo box or text box is made of are that control's business.
    std::map<const QWidget*, std::vector<const QWidget*>> siblings;
    for (const QWidget* control : form_->findChildren<QWidget*>()) {
        const QWidget* parent = control->parentWidget();
        if (!control->isVisible() || control->objectName().isEmpty() || control->objectName().startsWith("qt_") ||
            qobject_cast<const QAbstractSpinBox*>(parent) || qobject_cast<const QComboBox*>(parent) ||
            qobject_cast<const QAbstractScrollArea*>(parent))
            continue;
        siblings[parent].push_back(control);
    }
    ASSERT_GE(siblings[Control("GroupBoxBackupRestore")].size(), 15u);

    for (const auto& [parent, controls] : siblings)
        for (std::size_t i = 0; i < controls.size(); ++i)
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                const QRect a = PaintedArea(controls[i]);
                const QRect b = PaintedArea(controls[j]);
                EXPECT_FALSE(a.intersects(b)) << Describe(controls[i], a) << " overlaps " << Describe(controls[j], b);
            }
}

} // namespace
} // namespace morvane::test
