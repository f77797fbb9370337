// Typing on GNOME and KDE: headless mutter and KWin on a private session bus,
// with the real bexlow on a pty. mutter takes its layout at start from
// locale1 (fakelocale1.py): a new layout means a new mutter, which bexlow,
// left running, has to follow. bexlow's own window goes to Qt's offscreen
// platform: mutter focuses each new window, and no test could hand the focus
// back to the receiver.
#include "tests/receivers/privatedesktop.h"
#include "tests/receivers/receiverwindow.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The bases go in this order: bexlow ends before the bus does.
class TypingOnDesktop : public ::testing::Test, protected PrivateSession, protected TypingLine
{
protected:
    // Sends each text: what arrives is the expected text less the characters
    // the layout lacks, which one line on stderr names ("c (U+XXXX), ...");
    // control characters that are not typed are named in a line of their own.
    template<typename Desktop>
    void expectTyped(const Desktop &desktop, const std::vector<Typed> &texts)
    {
        static const QRegularExpression layoutLine(QStringLiteral("^bexlow: .*layout has no key for.*\n"),
                                                   QRegularExpression::MultilineOption);
        static const QRegularExpression named(QStringLiteral("\\(U\\+([0-9A-F]+)\\)"));
        for (const Typed &text : texts) {
            const qsizetype mark = desktop.received().size();
            const qsizetype errorMark = bexlow.errorOutput().size();
            line.send(text.sent);
            const auto errors = [&] {
                QString lines;
                for (const auto &match : layoutLine.globalMatch(QString::fromUtf8(bexlow.errorOutput().mid(errorMark))))
                    lines += match.captured();
                return lines;
            };
            processEventsUntil(
                [&] { return errors().endsWith('\n') || desktop.received().size() - mark >= text.expected.size(); },
                15000);
            EXPECT_LE(errors().count('\n'), 1) << errors().toStdString();
            const QString arriving = QString::fromUtf8(text.expected);
            QString expected = arriving;
            for (const auto &match : named.globalMatch(errors())) {
                const char32_t c = match.captured(1).toUInt(nullptr, 16);
                EXPECT_TRUE(arriving.contains(QString::fromUcs4(&c, 1)))
                    << "named: U+" << match.captured(1).toStdString();
                expected.remove(QString::fromUcs4(&c, 1));
            }
            processEventsUntilQuietAt([&] { return desktop.received().size() - mark; }, expected.toUtf8().size(),
                                      15000);
            EXPECT_EQ(desktop.received().mid(mark).toStdString(), expected.toStdString())
                << "sent: " << text.sent.toStdString();
        }
    }
};

} // namespace

TEST_F(TypingOnDesktop, MutterTypesExactlyWhatEachLayoutHasAndNamesTheRest)
{
    {
        MutterDesktop desktop(*this, QStringLiteral("us"));
        start();
        // It chose mutter's service by itself: no notice, nothing unavailable.
        EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
        expectTyped(desktop, {
                                 {"a1 Z"}, // the first key after start is not lost
                                 {"Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\n\tx\b\x1b!",
                                  "Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\tx\x7f\x1b!"},
                                 // Every byte value; what is not UTF-8 is read as Latin-1.
                                 {range(0, 0xff).toLatin1(),
                                  (QStringLiteral("\x7f\t\r\r\x1b") + range(0x20, 0x7e) + range(0xa0, 0xff)).toUtf8()},
                                 {"^w%{F4}+{TAB}~{ENTER}!a#b"}, // key syntax typed as it is, never as a shortcut
                             });
        expectTypedThroughAPause(*desktop.foot, desktop.foot->pid());
    }
    // bexlow, still running, follows the new layout of a new mutter.
    for (const auto &[layout, text] : {std::pair{"de", "zyäöüÄÖÜß€@{[]}\\|~µ²³°§^` øØ Ω中"},
                                       std::pair{"fr", "azqwéèçàù²&\"'(-_)=~#{[|`\\^@]}€ É中"}}) {
        MutterDesktop desktop(*this, QString::fromLatin1(layout));
        expectTyped(desktop, {{text}});
    }
}

// What bexlow says where KWin refuses it the fake input and the portal is there.
const std::string throughThePortal =
    "bexlow: KWin does not grant bexlow its fake input, which it gives only to bexlow installed with its desktop "
    "entry (see \"Desktops\" in the README); typing through the desktop portal instead\n";

// What goes to KWin with a German layout, by either way in.
const std::vector<Typed> kwinTexts = {
    {"a1 Z"}, // the first key after start is not lost
    {"zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中 Жж 😀\r\tx\b\x1b!", "zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中 Жж 😀\r\tx\x7f\x1b!"},
    {"^w%{F4}+{TAB}~{ENTER}!a#b"}};

TEST_F(TypingOnDesktop, KWinTypesExactlyWhatTheLayoutHasAndNamesTheRest)
{
    // Through KWin's fake input, which KWin grants to bexlow: into an X11
    // program and a native window, naming nothing there.
    for (const auto receiver : KWinDesktop::receivers()) {
        KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::Granted, receiver);
        const qsizetype mark = bexlow.errorOutput().size();
        start();
        EXPECT_EQ(bexlow.errorOutput().mid(mark).toStdString(), ""); // it chose its way in by itself
        expectTyped(desktop, kwinTexts);
        if (receiver == KWinDesktop::Receiver::Foot) {
            EXPECT_EQ(bexlow.errorOutput().mid(mark).toStdString(), "") << "KWin 6.5 or later: nothing is named";
            expectTypedThroughAPause([&] { return desktop.received(); }, desktop.receiverPid,
                                     [&] { return desktop.receiverRuns(); });
        }
        EXPECT_TRUE(bexlow.stop(SIGTERM));
    }
}

// Characters whose keys differ between the US and the German layout.
const Typed differing = {"yz-/YZ_?"};

TEST_F(TypingOnDesktop, KWinTypesForTheLayoutSwitchedToBetweenTexts)
{
    KWinDesktop desktop(QStringLiteral("us,de"), KWinDesktop::FakeInput::Granted);
    start();
    for (const uint layout : {1u, 0u}) {
        // KWin takes a moment after its start to load the layouts.
        const auto switched = [&] {
            return call(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                        QStringLiteral("org.kde.KeyboardLayouts"), QStringLiteral("setLayout"), {layout})
                .arguments()
                .value(0)
                .toBool();
        };
        ASSERT_TRUE(processEventsUntil(switched, 10000)) << "KWin did not switch to layout " << layout;
        expectTyped(desktop, {differing});
    }
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
}

TEST_F(TypingOnDesktop, MutterTypesForGnomesActiveInputSource)
{
    MutterDesktop desktop(*this, {QStringLiteral("us"), QStringLiteral("de")}, 1);
    start();
    // mutter finds the keysyms of levels one and two on the layout in use by
    // itself: what the first layout lacks (ä, ß) shows which one bexlow
    // typed for; @ and { need AltGr on the German layout.
    expectTyped(desktop, {{differing.sent + "@{äß"}});
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
}

TEST_F(TypingOnDesktop, WhereKWinRefusesThePortalWithKdesBackendTypes)
{
    // Into foot, paused, the pace must fit what KWin holds.
    for (const auto receiver : KWinDesktop::receivers()) {
        KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::NotGranted, receiver);
        KdePortal portal(*this);
        const qsizetype mark = bexlow.errorOutput().size();
        start();
        EXPECT_EQ(bexlow.errorOutput().mid(mark).toStdString(), throughThePortal + KdePortal::typingThroughEis(*this));
        // A long text arrives whole and in order: keys that go without waiting
        // for an answer each (through EIS) must not overtake one another.
        std::vector<Typed> texts = kwinTexts;
        texts.push_back({range(0x20, 0x7e).toLatin1().repeated(12)});
        expectTyped(desktop, texts);
        if (receiver == KWinDesktop::Receiver::Foot) // ^ and ` are dead keys on the German layout
            expectTypedThroughAPause([&] { return desktop.received(); }, desktop.receiverPid,
                                     [&] { return desktop.receiverRuns(); }, "^`");
        EXPECT_TRUE(bexlow.stop(SIGTERM));
    }
}

TEST_F(TypingOnDesktop, APortalThatKeepsGrantsIsAskedWithTheTokenOfTheLastStart)
{
    KWinDesktop desktop(QStringLiteral("us"), KWinDesktop::FakeInput::NotGranted);
    KdePortal portal(*this);
    // Debian 12's portal (version 1) keeps no grant; the distribution lanes
    // run this on portals that do.
    if (KdePortal::remoteDesktopVersion(*this) < 2)
        GTEST_SKIP() << "this desktop portal keeps no remote desktop grant";
    // The portal keeps each grant in the permission store under its token: a
    // start that did not give the token of the last one would leave a second
    // grant there.
    for (int start = 1; start <= 2; ++start) {
        BexlowProcess again;
        startTyping(again, line.path());
        EXPECT_EQ(again.errorOutput().toStdString(), throughThePortal + KdePortal::typingThroughEis(*this));
    }
    static const QRegularExpression token(QStringLiteral("^PortalRestoreToken=(.*)$"),
                                          QRegularExpression::MultilineOption);
    const QString stored = token.match(QString::fromUtf8(config.read(QStringLiteral("bexlow")))).captured(1);
    EXPECT_FALSE(stored.isEmpty());
    EXPECT_EQ(KdePortal::grantsKept(*this).join(' ').toStdString(), stored.toStdString());
}
