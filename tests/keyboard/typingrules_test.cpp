// The rules behind typing, without a display: which strokes received text
// becomes, and which spare keycode may be given a new character (the times
// are given, so the reuse gap is checked exactly).
#include "keyboard/sparekeypool.h"
#include "keyboard/typedtext.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(TypedText, StrokesForSuccessiveTexts)
{
    // Each row goes through one TypedText, text after text. u16 strings,
    // so that NUL, a lone surrogate and a surrogate pair can be written.
    const std::vector<std::vector<std::pair<std::u16string, std::u32string>>> rows = {
        {{u"+^%~(){}[] {ENTER}~+a", U"+^%~(){}[] {ENTER}~+a"}}, // no key syntax
        {{u"a\rb\nc\r\nd\n\re\r\r\n\n", U"a\rb\rc\rd\r\re\r\r\r"}},
        // A LF right after the CR that ended the previous text types nothing,
        // also across an empty text, but not across another character.
        {{u"12.5 kg\r", U"12.5 kg\r"},
         {u"\n13.0 kg\r", U"13.0 kg\r"},
         {u"", U""},
         {u"\nx", U"x"},
         {u"\r", U"\r"},
         {u"y\n", U"y\r"}},
        {{u"a\tb\bc\x1b"
          u"d<\0\x01\x07\x0b\x0c\x1f\x7f\x80\x85\x9f>"s,
          U"a\tb\bc\x1b"
          U"d<>"}},
        // Beyond the basic plane one stroke, not two; a lone surrogate none.
        {{u"é€✓中文ΩØø “” a😀b c\xd800"
          u"d",
          U"é€✓中文ΩØø “” a😀b cd"}},
    };
    for (const auto &row : rows) {
        TypedText typed;
        for (const auto &[text, strokes] : row)
            EXPECT_EQ(typed.strokesFor(QStringView(text).toString()), strokes)
                << QStringView(text).toString().toStdString();
    }
}

namespace {

using Clock = SpareKeyPool::Clock;
const Clock::time_point T0 = Clock::time_point{} + 1h;

// Keycodes 100, 101, ...; each with a character (0: none) and a last use
// (negative: never), in ms after T0.
SpareKeyPool poolOf(const std::vector<std::pair<char32_t, int>> &keys)
{
    SpareKeyPool pool;
    std::vector<int> keycodes;
    for (size_t i = 0; i < keys.size(); ++i)
        keycodes.push_back(100 + int(i));
    pool.reset(keycodes);
    for (size_t i = 0; i < keys.size(); ++i) {
        pool.bind(keycodes[i], keys[i].first);
        if (keys[i].second >= 0)
            pool.markUsed(keycodes[i], T0 + 1ms * keys[i].second);
    }
    return pool;
}

} // namespace

TEST(SpareKeyPool, WhichKeyIsGivenUpForANewCharacter)
{
    // b is needed next, a later, c never again.
    const SpareKeyPool::NextUse nextUse = [](char32_t c) {
        return c == U'a' ? size_t(50) : c == U'b' ? size_t(1) : SpareKeyPool::NotNeeded;
    };
    struct Row
    {
        const char *rule;
        SpareKeyPool pool;
        int nowMs;
        std::vector<int> taken;
        bool ahead;
        std::optional<int> key;
    };
    const Row rows[] = {
        {"unbound before bound", poolOf({{U'é', 0}, {0, -1}}), 1000, {}, false, 101},
        {"not within 20 ms of the last use", poolOf({{U'é', 0}}), 19, {}, false, std::nullopt},
        {"20 ms after the last use", poolOf({{U'é', 0}}), 20, {}, false, 100},
        {"taken keys are not given", poolOf({{0, -1}, {0, -1}}), 0, {100}, false, 101},
        {"all taken", poolOf({{0, -1}, {0, -1}}), 0, {100, 101}, false, std::nullopt},
        {"least recently used", poolOf({{U'a', 5}, {U'b', 0}, {U'c', 10}}), 1000, {}, false, 101},
        {"next least recently used", poolOf({{U'a', 5}, {U'b', 0}, {U'c', 10}}), 1000, {101}, false, 100},
        {"needed furthest ahead", poolOf({{U'a', 0}, {U'b', 0}, {U'c', 0}}), 1000, {}, true, 102},
        {"next furthest ahead", poolOf({{U'a', 0}, {U'b', 0}, {U'c', 0}}), 1000, {102}, true, 100},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.pool.freeKey(T0 + 1ms * row.nowMs, row.taken, row.ahead ? nextUse : nullptr), row.key)
            << row.rule;
    EXPECT_EQ(poolOf({{U'é', 0}}).nextFreeAt({}), T0 + SpareKeyPool::ReuseGap);
    EXPECT_FALSE(poolOf({{0, -1}}).nextFreeAt({100}));
}

TEST(SpareKeyPool, UnbindingKeepsTheLastUses)
{
    SpareKeyPool pool = poolOf({{U'a', 0}, {0, -1}});
    EXPECT_EQ(pool.keyFor(U'a'), 100);
    pool.unbindAll();
    EXPECT_FALSE(pool.hasBindings());
    EXPECT_FALSE(pool.keyFor(U'a'));
    EXPECT_EQ(pool.freeKey(T0 + 1ms, {101}), std::nullopt);
}
