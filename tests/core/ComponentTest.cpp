#include "core/Component.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {
struct Tracked : TComponent {
    Tracked(TComponent* owner, std::vector<std::string>* log, std::string name) : TComponent(owner), log_(log)
    {
        SetName(std::move(name));
    }
    ~Tracked() override { log_->push_back(Name()); }
    std::vector<std::string>* log_;
};
} // namespace

TEST(Component, OwnerPathSkipsEmptyNamesOutermostFirst)
{
    TComponent form;
    form.SetName("FormMorvane");
    auto& panel = form.CreateOwned<TComponent>();
    auto& service = panel.CreateOwned<TComponent>();
    service.SetName("BackupService1");
    EXPECT_EQ(service.OwnerPath(), "FormMorvane.BackupService1");
    EXPECT_EQ(service.Owner(), &panel);

    TComponent alone;
    alone.SetName("DatabaseForSecurity");
    EXPECT_EQ(alone.OwnerPath(), "DatabaseForSecurity");
    EXPECT_EQ(TComponent().OwnerPath(), "");
}

TEST(Component, OwnedChildrenAreFreedWithTheOwnerLastFirst)
{
    std::vector<std::string> freed;
    {
        TComponent owner;
        owner.CreateOwned<Tracked>(&freed, "first");
        owner.CreateOwned<Tracked>(&freed, "second");
        EXPECT_EQ(owner.ComponentCount(), 2u);
        EXPECT_NE(owner.FindComponent("SECOND"), nullptr);
        EXPECT_TRUE(freed.empty());
    }
    EXPECT_EQ(freed, (std::vector<std::string>{"second", "first"}));
}
