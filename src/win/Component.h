// TComponent: stands in for the framework's ownable component. A component is
// created with an owner (or none); the owner destroys what it owns when it is
// destroyed itself, the last inserted first, and a component destroyed before
// its owner takes itself out of the owner's list. This layer is the one place
// where objects own each other through plain pointers; everything else holds
// components through these helpers:
//
//   MakeOwned<T>(owner, args...)   creates a T owned by owner, returns T*
//   MakeUnowned<T>(args...)        creates a T without owner, in a unique_ptr
//   FreeComponent(component)       destroys an owned component before its owner
//
// Ownership and the owner's list change in the main thread only. The state
// flags may be read from any thread (a worker thread asks whether its
// component is being destroyed), so they are atomic.
//
// Windowed owners: WindowHandle() is the window of a component that has one,
// null otherwise. A form or windowed control class derives from TComponent
// (and from TWindowedControl) and overrides it to return its window once that
// exists, never creating it there, as other threads may ask. Such a class
// calls DestroyComponents() first thing in its destructor, so that what it
// owns, which may still use its window, is gone before the window is.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace saver::win {

class TComponent;

// An event handler, called with the component that raises the event. An
// empty one means "unassigned": the event is skipped.
using TNotifyEvent = std::function<void(TComponent* sender)>;

enum TComponentStateFlag : std::uint8_t {
    csDestroying = 1u << 0, // destruction has begun
    csDesigning = 1u << 1,  // the component is being edited in a designer
};

// A small set of TComponentStateFlag values.
class TComponentState {
public:
    constexpr TComponentState() = default;
    constexpr explicit TComponentState(std::uint8_t bits) : bits_(bits) {}

    constexpr bool Contains(TComponentStateFlag flag) const { return (bits_ & flag) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }

private:
    std::uint8_t bits_ = 0;
};

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    // The owned components in the order they were inserted.
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }

    TComponentState ComponentState() const { return TComponentState(state_.load()); }
    // Marks the component (not what it owns) as being designed, or not.
    void SetDesigning(bool designing);

    virtual HWND WindowHandle() const { return nullptr; }

protected:
    // Marks this component and, recursively, everything it owns with
    // csDestroying. The base destructor does it; a derived class whose
    // destruction must be seen from other threads calls it first.
    void Destroying();
    // Destroys every owned component, the last inserted first.
    void DestroyComponents();

private:
    void InsertComponent(TComponent& component);
    void RemoveComponent(TComponent& component);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::atomic<std::uint8_t> state_{0};
};

// Creates a T with owner as its owner; the owner destroys it (or
// FreeComponent does, earlier). T's constructor takes the owner first.
template <typename T, typename... Args>
T* MakeOwned(TComponent& owner, Args&&... args)
{
    // The component registers itself with its owner in TComponent's
    // constructor; should a later part of T's construction throw, the base
    // destructor takes it out again before the memory is released.
    return std::make_unique<T>(&owner, std::forward<Args>(args)...).release();
}

// Creates a T without owner; the unique_ptr is its only owner.
template <typename T, typename... Args>
std::unique_ptr<T> MakeUnowned(Args&&... args)
{
    return std::make_unique<T>(nullptr, std::forward<Args>(args)...);
}

// Destroys a component that has an owner, before its owner: it leaves the
// owner's list. Null, or a component without owner (its unique_ptr from
// MakeUnowned owns it), is left alone.
void FreeComponent(TComponent* component);

} // namespace saver::win
