#include "win/Component.h"

#include <algorithm>

namespace saver::win {

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(*this);
}

TComponent::~TComponent()
{
    Destroying();
    DestroyComponents();
    if (owner_)
        owner_->RemoveComponent(*this);
}

void TComponent::SetDesigning(bool designing)
{
    if (designing)
        state_.fetch_or(csDesigning);
    else
        state_.fetch_and(static_cast<std::uint8_t>(~csDesigning));
}

void TComponent::Destroying()
{
    if (state_.fetch_or(csDestroying) & csDestroying)
        return;
    for (TComponent* component : components_)
        component->Destroying();
}

void TComponent::DestroyComponents()
{
    while (!components_.empty()) {
        // Out of the list before its destruction starts, so that it does not
        // try to leave the list itself; like the framework's, it sees no
        // owner any more while it is destroyed.
        std::unique_ptr<TComponent> last(components_.back());
        components_.pop_back();
        last->owner_ = nullptr;
    }
}

void TComponent::InsertComponent(TComponent& component)
{
    components_.push_back(&component);
    component.owner_ = this;
}

void TComponent::RemoveComponent(TComponent& component)
{
    auto found = std::find(components_.begin(), components_.end(), &component);
    if (found != components_.end())
        components_.erase(found);
    component.owner_ = nullptr;
}

void FreeComponent(TComponent* component)
{
    if (!component || !component->Owner())
        return;
    std::unique_ptr<TComponent> destroyed(component);
}

} // namespace saver::win
