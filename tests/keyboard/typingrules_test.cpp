// The rules behind typing, without a display: strokes, keysyms, layout
// places, spare slots and the receiver's assumed pace (at given times).
#include "keyboard/characterkeysym.h"
#include "keyboard/keystrokepacer.h"
#include "keyboard/layoutindex.h"
#include "keyboard/typedtext.h"
#include "keyboard/wayland/layoutstrokes.h"
#include "keyboard/wlroots/virtualkeymap.h"
#include "keyboard/x11/batchplanner.h"
#include "keyboard/x11/sparekeypool.h"
#include "keyboard/xkbhandles.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(TypedText, StrokesForSuccessiveTexts)
{
    // Each row goes through one TypedText, text after text. u16 strings, so
    // that a lone surrogate can be written. Which controls are typed, and
    // that key syntax is not, the typedtext fuzz target checks.
    const std::vector<std::vector<std::pair<std::u16string, std::u32string>>> rows = {
        {{u"a\rb\nc\r\nd\n\re\r\r\n\n", U"a\rb\rc\rd\r\re\r\r\r"}},
        // A LF right after the CR that ended the previous text types nothing,
        // also across an empty text, but not across another character.
        {{u"12.5 kg\r", U"12.5 kg\r"},
         {u"\n13.0 kg\r", U"13.0 kg\r"},
         {u"", U""},
         {u"\nx", U"x"},
         {u"\r", U"\r"},
         {u"y\n", U"y\r"}},
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

// Keycodes 100 and 101 of two levels each, the slots holding these
// characters in the order 100/0, 100/1, 101/0, 101/1 (0: none).
SpareKeyPool poolOf(const std::u32string &characters)
{
    SpareKeyPool pool;
    pool.reset({100, 101}, 2);
    for (size_t i = 0; i < characters.size(); ++i)
        pool.bind(SpareSlot{100 + int(i / 2), int(i % 2)}, characters[i]);
    return pool;
}

} // namespace

TEST(CharacterKeysym, ControlKeysLatinOneAndUnicodeNeverALegacyOne)
{
    for (const auto &[c, keysym] : {std::pair{U'\r', 0xff0du},
                                    {U'\t', 0xff09u},
                                    {U'\x1b', 0xff1bu},
                                    {U'a', 0x61u},
                                    {U'é', 0xe9u},
                                    {U'€', 0x10020acu},
                                    {U'✗', 0x1002717u},
                                    {U'中', 0x1004e2du}})
        EXPECT_EQ(CharacterKeysym::of(c), keysym) << uint(c);
}

TEST(LayoutIndex, TheKeyLayoutAndLevelOfEachCharacter)
{
    const XkbContextHandle context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{"evdev", "pc105", "us,de", "", ""};
    const XkbKeymapHandle keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    ASSERT_TRUE(keymap);
    struct Row
    {
        LayoutIndex::Options options;
        char32_t c;
        uint32_t keycode; // 0: no place
        uint32_t layout;
        bool shift, levelThree;
    } rows[] = {
        {{0, false, {}}, U'z', 52, 0, false, false},
        {{0, false, {}}, U'Z', 52, 0, true, false},
        {{0, false, {}}, U'@', 11, 0, true, false},
        {{0, false, {}}, U'*', 17, 0, true, false}, // not the keypad's
        {{0, false, {}}, U'€', 0, 0, false, false},
        {{1, false, {}}, U'z', 29, 1, false, false},
        {{1, false, {}}, U'@', 24, 1, false, true},
        {{1, false, {}}, U'ß', 20, 1, false, false},
        {{1, false, {}}, U' ', 65, 1, false, false}, // a key of one layout: no switch
        {{1, false, {}}, U'é', 0, 0, false, false},
        {{7, false, {}}, U'z', 52, 0, false, false}, // no such layout: the first
        {{0, true, {}}, U'€', 26, 1, false, true},
        {{0, true, {52}}, U'z', 29, 1, false, false}, // skipped keycode
    };
    for (const Row &row : rows) {
        const LayoutIndex index(keymap.get(), row.options);
        const LayoutIndex::Place *place = index.find(row.c);
        ASSERT_EQ(place ? place->keycode : 0, row.keycode) << row.options.layout << " " << uint(row.c);
        if (place) {
            EXPECT_EQ(std::tuple(place->layout, place->shift, place->levelThree),
                      std::tuple(row.layout, row.shift, row.levelThree))
                << uint(row.c);
        }
    }

    // A compositor that types keysyms finds them at their first place only.
    const std::unique_ptr<char, decltype(&free)> text(xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1),
                                                      &free);
    const LayoutStrokes german(text.get(), 1);
    EXPECT_TRUE(german.find(U'Z')->firstPlaceOfKeysym);
    EXPECT_FALSE(german.find(U'@')->firstPlaceOfKeysym);
}

TEST(KeystrokePacer, ABatchAtOnceThenTheRate)
{
    struct Row
    {
        double atMs;
        double count;
        double waitUntilMs; // < 0: no wait
    } rows[] = {
        {0, 100, -1},                  // a whole batch at once
        {0, 1, 1000.0 * 101 / 300},    // one more waits until a batch may go again
        {1000.0 * 101 / 300, 100, -1}, // the batch after the wait
        {1336.7, 150, 1336.7 + 500},   // a second idle earns one batch, not more
        {1846.7, 3, -1},               // within the pace again
    };
    KeystrokePacer pacer(KeystrokePacer::LayoutPace);
    const KeystrokePacer::Clock::time_point start{std::chrono::hours(1)};
    const auto at = [&](double ms) {
        return start
               + std::chrono::duration_cast<KeystrokePacer::Clock::duration>(
                   std::chrono::duration<double, std::milli>(ms));
    };
    for (const Row &row : rows) {
        const auto until = pacer.charge(row.count, at(row.atMs));
        ASSERT_EQ(until.has_value(), row.waitUntilMs >= 0) << row.atMs;
        if (until) {
            const double untilMs = std::chrono::duration<double, std::milli>(*until - start).count();
            EXPECT_NEAR(untilMs, row.waitUntilMs, 0.01);
        }
    }
}

TEST(KeystrokePacer, AFasterPaceOnlyForCompositorsMeasuredToHoldMore)
{
    using Compositor = KeystrokePacer::Compositor;
    const KeystrokePacer::Pace otherwise = KeystrokePacer::LayoutPace;
    const std::tuple<Compositor, KeystrokePacer::Version, double> rows[] = {
        {Compositor::Sway, std::pair{1, 11}, otherwise.rate},
        {Compositor::Sway, std::pair{1, 12}, KeystrokePacer::LargeBufferPace.rate},
        {Compositor::KWin, std::pair{6, 6}, otherwise.rate},
        {Compositor::KWin, std::pair{6, 7}, KeystrokePacer::KWinPace.rate},
        {Compositor::KWin, std::nullopt, otherwise.rate}, // no version told
    };
    for (const auto &[compositor, version, rate] : rows)
        EXPECT_EQ(KeystrokePacer::paceFor(compositor, version, otherwise).rate, rate)
            << (version ? version->first : -1) << "." << (version ? version->second : -1);
}

TEST(VirtualKeymap, KeysGivenAndTakenTextAfterText)
{
    std::u32string many; // one more distinct character than the keymap has keys
    for (size_t i = 0; i <= VirtualKeymap::KeyCount; ++i)
        many += char32_t(U'\u4e00' + i);
    struct Row
    {
        std::u32string text;
        size_t pieceEnd;
        bool changed;
        size_t rebound;
    } rows[] = {
        {U"abc", 3, true, 0},
        {U"cab", 3, false, 0},
        {U"aab", 3, true, 0},                     // a doubled character gets a second key
        {many, VirtualKeymap::KeyCount, true, 4}, // the keys used longest ago go
    };
    VirtualKeymap keymap;
    for (const Row &row : rows) {
        const size_t end = keymap.pieceEnd(row.text, 0);
        ASSERT_EQ(end, row.pieceEnd) << row.text.size();
        EXPECT_EQ(keymap.prepare(row.text, 0, end), row.changed) << row.text.size();
        EXPECT_EQ(keymap.rebound().size(), row.rebound) << row.text.size();
        for (size_t i = 0; i < end; ++i)
            ASSERT_NE(keymap.positionOf(row.text[i]).keycode, 0) << i;
    }
    EXPECT_NO_THROW(keymap.text());
    keymap.prepare(U"xx", 0, 2);
    const int first = keymap.positionOf(U'x').keycode;
    EXPECT_NE(keymap.positionOf(U'x', first).keycode, first);
}

TEST(BatchPlanner, WhereABatchEndsAndWhatItBinds)
{
    // Upper-case letters stand for characters that the layout lacks.
    struct Row
    {
        const char *rule;
        std::u32string pool;
        std::u32string text;
        bool mayBind;
        size_t end;
        std::vector<std::pair<SpareSlot, char32_t>> toBind;
    };
    const Row rows[] = {
        {"layout characters need no slot", U"", U"abc", false, 3, {}},
        {"a bound character types from its slot", U"A", U"aAbA", false, 4, {}},
        {"a new character waits while the receiver may still read", U"A", U"aAbX", false, 3, {}},
        {"new characters get empty slots, in one batch", U"A", U"XaAY", true, 4, {{{100, 1}, U'X'}, {{101, 0}, U'Y'}}},
        {"a full pool gives up a slot not needed again", U"ABCD", U"EaDBA", true, 5, {{{101, 0}, U'E'}}},
        {"else the slot needed furthest ahead", U"ABCD", U"EDCBA", true, 4, {{{100, 0}, U'E'}}},
        {"slots used in the batch are kept; it ends there", U"ABCD", U"ABCDEA", true, 4, {}},
        {"a character given up waits for the next batch",
         U"ABCD",
         U"EFGAB",
         true,
         4,
         {{{101, 0}, U'E'}, {{101, 1}, U'F'}, {{100, 1}, U'G'}}},
    };
    for (const Row &row : rows) {
        std::vector<bool> onLayout;
        for (char32_t c : row.text)
            onLayout.push_back(!(c >= U'A' && c <= U'Z'));
        const SpareBatch batch = planSpareBatch(row.text, 0, onLayout, poolOf(row.pool), row.mayBind);
        EXPECT_EQ(batch.end, row.end) << row.rule;
        EXPECT_EQ(batch.toBind, row.toBind) << row.rule;
    }
}

TEST(SpareKeyPool, TheReceiverIsAssumedBusyForEachCharacterSent)
{
    SpareKeyPool pool = poolOf(U"AB");
    const Clock::duration pace = SpareKeyPool::ReceiverPace;
    pool.typed(10, T0);
    EXPECT_EQ(pool.receiverIdleAt(), T0 + 10 * pace);
    pool.typed(1, T0 + 1ms); // queued behind the first ten
    EXPECT_EQ(pool.receiverIdleAt(), T0 + 11 * pace);
    pool.typed(2, T0 + 1min); // idle meanwhile
    EXPECT_EQ(pool.receiverIdleAt(), T0 + 1min + 2 * pace);
}
