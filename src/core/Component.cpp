#include "core/Component.h"

#include "core/Text.h"

namespace morvane {

TComponent::~TComponent()
{
    // Children go in the reverse order of their creation, so later ones that use
    // earlier ones never outlive them.
    while (!owned_.empty())
        owned_.pop_back();
}

std::string TComponent::OwnerPath() const
{
    std::string path;
    for (const TComponent* component = this; component != nullptr; component = component->owner_) {
        if (component->name_.empty())
            continue;
        path = path.empty() ? component->name_ : component->name_ + "." + path;
    }
    return path;
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    for (const auto& child : owned_)
        if (SameText(child->Name(), name))
            return child.get();
    return nullptr;
}

} // namespace morvane
