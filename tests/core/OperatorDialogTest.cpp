#include "core/OperatorDialog.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(OperatorDialogTest, HeadlessDialogsAreLoggedAndNeverAnswerYes)
{
    std::vector<std::string> logged;
    auto headless = std::make_shared<THeadlessOperatorDialogs>([&](const std::string& line) { logged.push_back(line); });
    ScopedOperatorDialogs scope(headless);

    ShowErrorDialog("Disque plein.");
    EXPECT_EQ(AskConfirmation("On continue ?"), DialogAnswer::Closed);
    ShowMessageDialog("Fini.", "Morvane");

    EXPECT_EQ(logged, (std::vector<std::string>{"Erreur : Disque plein.", "Confirmation : On continue ?",
                                                 "Morvane : Fini."}));
}

TEST(OperatorDialogTest, ScriptedDialogsRecordAndAnswerInOrder)
{
    auto scripted = std::make_shared<TScriptedOperatorDialogs>(std::vector{DialogAnswer::Yes, DialogAnswer::No});
    {
        ScopedOperatorDialogs scope(scripted);
        EXPECT_EQ(AskConfirmation("Q1"), DialogAnswer::Yes);
        ShowErrorDialog("E1", "Morvane");
        EXPECT_EQ(AskConfirmation("Q2"), DialogAnswer::No);
        EXPECT_EQ(AskConfirmation("Q3"), DialogAnswer::Closed); // queue used up
    }
    ASSERT_EQ(scripted->Shown().size(), 4u);
    EXPECT_EQ(scripted->Shown()[1].kind, DialogKind::Error);
    EXPECT_EQ(scripted->Shown()[1].title, "Morvane");
    EXPECT_EQ(scripted->Shown()[3].title, "Confirmation");

    // The guard put the default back: nothing more reaches the scripted object.
    ShowErrorDialog("after");
    EXPECT_EQ(scripted->Shown().size(), 4u);
}

} // namespace
} // namespace morvane
