#pragma once
// The component base: a named object with an owner. An owner frees the children it
// owns when it is destroyed, and error messages name a component by its owner path.

#include <memory>
#include <string>
#include <vector>

namespace morvane {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const noexcept { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    TComponent* Owner() const noexcept { return owner_; }

    // The non-empty names of this component, its owner, the owner's owner and so on,
    // outermost first, joined with "." (for example FormMorvane.BackupService1).
    std::string OwnerPath() const;

    // Creates a component owned by this one; it lives until this one is destroyed.
    template <typename T, typename... Args>
    T& CreateOwned(Args&&... args)
    {
        auto child = std::make_unique<T>(this, std::forward<Args>(args)...);
        T& reference = *child;
        owned_.push_back(std::move(child));
        return reference;
    }

    std::size_t ComponentCount() const noexcept { return owned_.size(); }
    TComponent* FindComponent(const std::string& name) const;

private:
    TComponent* owner_;
    std::string name_;
    std::vector<std::unique_ptr<TComponent>> owned_;
};

} // namespace morvane
