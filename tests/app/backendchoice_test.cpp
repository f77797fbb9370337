#include "app/backendchoice.h"

#include <gtest/gtest.h>

using namespace BackendChoice;

TEST(BackendChoice, FollowsTheSessionTheCompositorAndTheSetting)
{
    struct Row
    {
        Session session;
        Backend backend;
        const char *notice; // a part of the notice, or "" for none
    } rows[] = {
        {{true, true, Preference::Auto}, Backend::Wayland, ""},
        {{true, false, Preference::Auto}, Backend::X11, "goes through Xwayland"},
        {{false, false, Preference::Auto}, Backend::X11, ""},
        {{true, false, Preference::Wayland}, Backend::Wayland, ""},
        {{false, false, Preference::Wayland}, Backend::Wayland, ""},
        {{true, true, Preference::X11}, Backend::X11, "Backend=x11"},
        {{false, false, Preference::X11}, Backend::X11, ""},
        {{true, false, Preference::Auto, true, true}, Backend::Kde, ""},
        {{true, false, Preference::Auto, false, true}, Backend::Gnome, ""},
        {{true, true, Preference::Auto, true, true}, Backend::Wayland, ""},
        {{false, false, Preference::Auto, true, true}, Backend::X11, ""},
        {{true, true, Preference::Gnome}, Backend::Gnome, ""},
        {{true, true, Preference::Kde}, Backend::Kde, ""},
        {{true, false, Preference::Auto, false, true, true}, Backend::Gnome, ""},
        {{true, false, Preference::Auto, false, false, true}, Backend::Portal, ""},
        {{true, false, Preference::Auto, false, false, true, true}, Backend::Portal, "KWin does not grant"},
        {{false, false, Preference::Portal}, Backend::Portal, ""},
    };
    for (const Row &row : rows) {
        const Decision decision = decide(row.session);
        EXPECT_EQ(decision.backend, row.backend) << row.notice;
        EXPECT_EQ(decision.notice.isEmpty(), *row.notice == 0) << decision.notice.toStdString();
        EXPECT_TRUE(decision.notice.contains(QLatin1String(row.notice))) << decision.notice.toStdString();
    }
}

TEST(BackendChoice, ReadsTheStoredSetting)
{
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
