#include "app/backendchoice.h"

#include <gtest/gtest.h>

using namespace BackendChoice;

namespace {

// The session's answers: a Wayland session, the virtual keyboard offered,
// the preference, then KWin's fake input, GNOME's service, the portal and
// KWin running.
struct Offers
{
    bool wayland, virtualKeyboard;
    Preference preference;
    bool kwinFakeInput = false, mutter = false, portal = false, kwinRunning = false;
};

Session sessionOf(const Offers &offers)
{
    const auto answer = [](bool yes) { return [yes] { return yes; }; };
    Session session;
    session.wayland = offers.wayland;
    session.preference = offers.preference;
    session.virtualKeyboardOffered = answer(offers.virtualKeyboard);
    session.kwinFakeInput = answer(offers.kwinFakeInput);
    session.mutterRemoteDesktop = answer(offers.mutter);
    session.remoteDesktopPortal = answer(offers.portal);
    session.kwinRunning = answer(offers.kwinRunning);
    return session;
}

} // namespace

// The backend chosen, its notice, and the way left when it refuses to type.
TEST(BackendChoice, FollowsTheSessionTheCompositorAndTheStoredSetting)
{
    const std::optional<Backend> none;
    struct Row
    {
        Offers offers;
        Backend backend;
        const char *notice; // a part of the notice, or "" for none
        std::optional<Backend> whenRefused;
    } rows[] = {
        {{true, true, Preference::Auto}, Backend::Wayland, "", none},
        {{true, false, Preference::Auto}, Backend::X11, "goes through Xwayland", none},
        {{false, false, Preference::Auto}, Backend::X11, "", none},
        {{true, false, Preference::Wayland}, Backend::Wayland, "", none},
        {{false, false, Preference::Wayland}, Backend::Wayland, "", none},
        {{true, true, Preference::X11}, Backend::X11, "Backend=x11", none},
        {{false, false, Preference::X11}, Backend::X11, "", none},
        {{true, false, Preference::Auto, true, true}, Backend::Kde, "", none},
        {{true, false, Preference::Auto, true, true, true}, Backend::Kde, "", Backend::Portal},
        {{true, false, Preference::Auto, false, true}, Backend::Gnome, "", none},
        {{true, false, Preference::Auto, false, true, true}, Backend::Gnome, "", Backend::Portal},
        {{true, true, Preference::Auto, true, true, true}, Backend::Wayland, "", none},
        {{false, false, Preference::Auto, true, true, true}, Backend::X11, "", none},
        {{true, true, Preference::Gnome, false, true, true}, Backend::Gnome, "", none},
        {{true, true, Preference::Kde, true, false, true}, Backend::Kde, "", none},
        {{true, false, Preference::Auto, false, false, true}, Backend::Portal, "", none},
        {{true, false, Preference::Auto, false, false, true, true}, Backend::Portal, "KWin does not grant", none},
        {{false, false, Preference::Portal}, Backend::Portal, "", none},
    };
    for (const Row &row : rows) {
        const Session session = sessionOf(row.offers);
        const Decision decision = decide(session);
        EXPECT_EQ(decision.backend, row.backend) << row.notice;
        EXPECT_EQ(decision.notice.isEmpty(), *row.notice == 0) << decision.notice.toStdString();
        EXPECT_TRUE(decision.notice.contains(QLatin1String(row.notice))) << decision.notice.toStdString();
        EXPECT_EQ(fallback(session, decision.backend), row.whenRefused) << int(row.backend);
    }

    // The stored setting.
    for (const auto &[stored, preference, valid] :
         {std::tuple{"", Preference::Auto, true}, std::tuple{"auto", Preference::Auto, true},
          std::tuple{" Wayland ", Preference::Wayland, true}, std::tuple{"X11", Preference::X11, true},
          std::tuple{"gnome", Preference::Gnome, true}, std::tuple{"KDE", Preference::Kde, true},
          std::tuple{"portal", Preference::Portal, true}, std::tuple{"xtest", Preference::Auto, false}}) {
        bool ok = false;
        EXPECT_EQ(preferenceFrom(QString::fromLatin1(stored), &ok), preference) << stored;
        EXPECT_EQ(ok, valid) << stored;
    }
}
