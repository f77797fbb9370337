// Lending spare keycodes to characters, without a display: the times are
// given, so the reuse rule is checked exactly.
#include "sparekeypool.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Clock = SpareKeyPool::Clock;

namespace {

const Clock::time_point T0 = Clock::time_point{} + 1h;

} // namespace

TEST(SpareKeyPool, UnboundKeysAreGivenOutBeforeBoundOnes)
{
    SpareKeyPool pool;
    pool.reset({100, 101, 102});
    pool.bind(100, U'é');
    pool.markUsed(100, T0);
    const auto key = pool.freeKey(T0 + 1s, {});
    ASSERT_TRUE(key);
    EXPECT_NE(*key, 100);
    EXPECT_EQ(pool.keyFor(U'é'), 100);
    EXPECT_FALSE(pool.keyFor(U'ø'));
}

TEST(SpareKeyPool, KeyIsNotRebound20msAfterItsLastUse)
{
    SpareKeyPool pool;
    pool.reset({100});
    pool.bind(100, U'é');
    pool.markUsed(100, T0);
    EXPECT_FALSE(pool.freeKey(T0 + 19ms, {}));
    EXPECT_EQ(pool.nextFreeAt({}), T0 + SpareKeyPool::ReuseGap);
    EXPECT_EQ(pool.freeKey(T0 + 20ms, {}), 100);
}

TEST(SpareKeyPool, TakenKeysAreNotGivenOut)
{
    SpareKeyPool pool;
    pool.reset({100, 101});
    EXPECT_EQ(pool.freeKey(T0, {100}), 101);
    EXPECT_FALSE(pool.freeKey(T0, {100, 101}));
    EXPECT_FALSE(pool.nextFreeAt({100, 101}));
}

TEST(SpareKeyPool, LeastRecentlyUsedIsRebound)
{
    SpareKeyPool pool;
    pool.reset({100, 101, 102});
    pool.bind(100, U'a');
    pool.bind(101, U'b');
    pool.bind(102, U'c');
    pool.markUsed(101, T0);
    pool.markUsed(100, T0 + 5ms);
    pool.markUsed(102, T0 + 10ms);
    EXPECT_EQ(pool.freeKey(T0 + 1s, {}), 101);
    EXPECT_EQ(pool.freeKey(T0 + 1s, {101}), 100);
}

TEST(SpareKeyPool, CharacterNeededFurthestAheadGivesUpItsKey)
{
    SpareKeyPool pool;
    pool.reset({100, 101, 102});
    pool.bind(100, U'a');
    pool.bind(101, U'b');
    pool.bind(102, U'c');
    for (int key : {100, 101, 102})
        pool.markUsed(key, T0);
    // b comes next, a later, c never again.
    const SpareKeyPool::NextUse nextUse = [](char32_t c) {
        return c == U'a' ? size_t(50) : c == U'b' ? size_t(1) : SpareKeyPool::NotNeeded;
    };
    EXPECT_EQ(pool.freeKey(T0 + 1s, {}, nextUse), 102);
    EXPECT_EQ(pool.freeKey(T0 + 1s, {102}, nextUse), 100);
}

TEST(SpareKeyPool, UnbindAllKeepsTheLastUses)
{
    SpareKeyPool pool;
    pool.reset({100, 101});
    pool.bind(100, U'a');
    pool.markUsed(100, T0);
    ASSERT_TRUE(pool.hasBindings());
    EXPECT_EQ(pool.bindings().size(), 1u);
    pool.unbindAll();
    EXPECT_FALSE(pool.hasBindings());
    EXPECT_FALSE(pool.keyFor(U'a'));
    EXPECT_EQ(pool.freeKey(T0 + 1ms, {}), 101);
    EXPECT_EQ(pool.freeKey(T0 + 1ms, {101}), std::nullopt);
}
