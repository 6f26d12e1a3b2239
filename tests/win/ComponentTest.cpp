// TComponent ownership: an owner destroys what it owns, the last inserted
// first and recursively, marking all of it as being destroyed beforehand; a
// component destroyed first leaves its owner's list; a failed construction
// leaves nothing behind in the owner.
#include "win/Component.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace saver::win {
namespace {

using TLog = std::vector<std::string>;

// Writes its name to the log when it is destroyed, with a '*' when it was
// marked csDestroying by then and a '^' when it still had an owner.
class TLogged : public TComponent {
public:
    TLogged(TComponent* owner, TLog& log, std::string name) : TComponent(owner), log_(log), name_(std::move(name)) {}
    ~TLogged() override
    {
        log_.push_back(name_ + (ComponentState().Contains(csDestroying) ? "*" : "") + (Owner() ? "^" : ""));
    }

private:
    TLog& log_;
    std::string name_;
};

class TThrowsInConstructor : public TComponent {
public:
    explicit TThrowsInConstructor(TComponent* owner) : TComponent(owner) { throw std::runtime_error("refused"); }
};

TEST(ComponentTest, OwnerDestroysWhatItOwnsLastInsertedFirstAndMarkedBeforehand)
{
    TLog log;
    auto owner = MakeUnowned<TLogged>(log, "owner");
    MakeOwned<TLogged>(*owner, log, "a");
    TLogged* b = MakeOwned<TLogged>(*owner, log, "b");
    MakeOwned<TLogged>(*b, log, "b1");
    MakeOwned<TLogged>(*b, log, "b2");
    MakeOwned<TLogged>(*owner, log, "c");
    ASSERT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(b->Owner(), owner.get());

    owner.reset();

    // The owner's own part goes first; each owned component is out of the
    // list (no owner) and already marked when its destruction starts.
    EXPECT_EQ(log, (TLog{"owner", "c*", "b*", "b2*", "b1*", "a*"}));
}

TEST(ComponentTest, ComponentDestroyedFirstLeavesItsOwner)
{
    TLog log;
    auto owner = MakeUnowned<TLogged>(log, "owner");
    TLogged* a = MakeOwned<TLogged>(*owner, log, "a");
    TLogged* b = MakeOwned<TLogged>(*owner, log, "b");
    TLogged* c = MakeOwned<TLogged>(*owner, log, "c");

    FreeComponent(b);

    ASSERT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(0), a);
    EXPECT_EQ(owner->Components(1), c);
    // Freed directly it was not marked by an owner, and still had it.
    EXPECT_EQ(log, (TLog{"b^"}));

    owner.reset();
    EXPECT_EQ(log, (TLog{"b^", "owner", "c*", "a*"}));
}

TEST(ComponentTest, FreeComponentLeavesNullAndUnownedAlone)
{
    TLog log;
    FreeComponent(nullptr);
    auto unowned = MakeUnowned<TLogged>(log, "single");
    FreeComponent(unowned.get());
    EXPECT_TRUE(log.empty());
    unowned.reset();
    EXPECT_EQ(log, (TLog{"single"}));
}

TEST(ComponentTest, FailedConstructionLeavesNothingInTheOwner)
{
    TLog log;
    auto owner = MakeUnowned<TLogged>(log, "owner");
    MakeOwned<TLogged>(*owner, log, "a");

    EXPECT_THROW(MakeOwned<TThrowsInConstructor>(*owner), std::runtime_error);

    ASSERT_EQ(owner->ComponentCount(), 1);
    owner.reset();
    EXPECT_EQ(log, (TLog{"owner", "a*"}));
}

TEST(ComponentTest, DesigningFlagLeavesTheOtherFlagAlone)
{
    TLog log;
    TComponentState seenWhileDestroyed;

    class TDesigned : public TComponent {
    public:
        TDesigned(TComponent* owner, TComponentState& seen) : TComponent(owner), seen_(seen) {}
        ~TDesigned() override
        {
            SetDesigning(false);
            seen_ = ComponentState();
        }

    private:
        TComponentState& seen_;
    };

    auto owner = MakeUnowned<TLogged>(log, "owner");
    TDesigned* designed = MakeOwned<TDesigned>(*owner, seenWhileDestroyed);
    EXPECT_TRUE(designed->ComponentState().Empty());
    designed->SetDesigning(true);
    EXPECT_TRUE(designed->ComponentState().Contains(csDesigning));
    EXPECT_FALSE(designed->ComponentState().Contains(csDestroying));
    EXPECT_FALSE(owner->ComponentState().Contains(csDesigning));

    owner.reset();
    EXPECT_TRUE(seenWhileDestroyed.Contains(csDestroying));
    EXPECT_FALSE(seenWhileDestroyed.Contains(csDesigning));
}

} // namespace
} // namespace saver::win
