// How the two windows look: controls, captions, geometry, tab order, title
// bars, icon, centring and the settings panel's place over the tab strip.
#include "tests/windows/windowfixture.h"
#include "windows/twips.h"

#include <QDir>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

namespace {

// One row per control, positions in pixels relative to the container, as
// designed at 15 twips to the pixel. tabIndex orders the controls the
// keyboard visits; the others never take the focus.
struct Control
{
    const char *window, *name, *container, *caption;
    int left, top, width, height, tabIndex;
    bool takesFocus;
};

const Control Controls[] = {
    {"frmterminal", "Command1", "frmterminal", "Settings", 18, 8, 73, 25, 0, true},

    {"frmProperties", "tabSettings", "frmProperties", "Properties", 6, 7, 388, 271, 0, true},
    {"frmProperties", "fraSettings", "frmProperties", "", 14, 38, 363, 233, 1, false},
    {"frmProperties", "Label1", "fraSettings", "Port:", 22, 12, 33, 21, 13, false},
    {"frmProperties", "cboPort", "fraSettings", "", 60, 10, 95, 21, 11, true},
    {"frmProperties", "Frame1", "fraSettings", "Maximum Speed", 8, 42, 168, 58, 20, false},
    {"frmProperties", "cboSpeed", "Frame1", "", 25, 22, 113, 20, 21, true},
    {"frmProperties", "fraConnection", "fraSettings", "Connection Preferences", 8, 109, 167, 118, 12, false},
    {"frmProperties", "Label3", "fraConnection", "Data Bits:", 8, 25, 63, 19, 17, false},
    {"frmProperties", "cboDataBits", "fraConnection", "", 76, 22, 76, 20, 14, true},
    {"frmProperties", "Label4", "fraConnection", "Parity:", 8, 57, 49, 19, 18, false},
    {"frmProperties", "cboParity", "fraConnection", "", 76, 54, 76, 20, 15, true},
    {"frmProperties", "Label5", "fraConnection", "Stop Bits:", 8, 88, 67, 19, 19, false},
    {"frmProperties", "cboStopBits", "fraConnection", "", 76, 84, 76, 20, 16, true},
    {"frmProperties", "Frame7", "fraSettings", "&Echo", 183, 42, 106, 58, 7, false},
    {"frmProperties", "optEcho_0", "Frame7", "Off", 9, 24, 41, 21, 9, true},
    {"frmProperties", "optEcho_1", "Frame7", "On", 53, 28, 37, 13, 8, true},
    {"frmProperties", "Frame5", "fraSettings", "&Flow Control", 183, 109, 108, 118, 2, false},
    {"frmProperties", "optFlow_0", "Frame5", "None", 12, 23, 57, 17, 6, true},
    {"frmProperties", "optFlow_1", "Frame5", "Xon/Xoff", 12, 43, 73, 17, 5, true},
    {"frmProperties", "optFlow_2", "Frame5", "RTS", 12, 63, 49, 17, 4, true},
    {"frmProperties", "optFlow_3", "Frame5", "Xon/RTS", 12, 83, 77, 17, 3, true},
    {"frmProperties", "cmdOK", "fraSettings", "OK", 297, 47, 66, 20, 10, true},
    {"frmProperties", "cmdCancel", "fraSettings", "Cancel", 297, 71, 66, 20, 22, true},
};

QString captionOf(const QWidget &widget)
{
    if (auto *tabs = qobject_cast<const QTabWidget *>(&widget)) {
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        return titles.join(QLatin1Char('|'));
    }
    return widget.property(widget.inherits("QGroupBox") ? "title" : "text").toString();
}

QString focusName()
{
    QWidget *focus = QApplication::focusWidget();
    // The tab strip takes the focus on its tab bar.
    while (focus && focus->objectName().startsWith(QLatin1String("qt_")))
        focus = focus->parentWidget();
    return focus ? focus->objectName() : QString();
}

using Layout = Windows;

// Checks the window's controls against the table, then goes once round with
// the Tab key from where the focus is: the controls that take the focus in
// tabIndex order, each option group one stop entered at its selected option.
void checkWindow(QWidget &window, const char *windowName)
{
    std::vector<const Control *> stops;
    for (const Control &control : Controls) {
        if (qstrcmp(control.window, windowName) != 0)
            continue;
        SCOPED_TRACE(control.name);
        auto *widget = window.findChild<QWidget *>(QString::fromLatin1(control.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(control.container));
        EXPECT_EQ(captionOf(*widget), QString::fromUtf8(control.caption));
        // The panel is moved at load; its place is checked on its own.
        const QRect designed(control.left, control.top, control.width, control.height);
        EXPECT_EQ(qstrcmp(control.name, "fraSettings") ? widget->geometry() : QRect(designed.topLeft(), widget->size()),
                  designed);
        if (auto *list = qobject_cast<QComboBox *>(widget); list && list->isEditable())
            ADD_FAILURE() << "the list can be edited";
        EXPECT_EQ(widget->focusPolicy() == Qt::NoFocus, !control.takesFocus);
        auto *option = qobject_cast<QRadioButton *>(widget);
        if (control.takesFocus && (!option || option->isChecked()))
            stops.push_back(&control);
    }
    std::sort(stops.begin(), stops.end(), [](auto *a, auto *b) { return a->tabIndex < b->tabIndex; });
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QStringList expected, visited{focusName()};
    for (const Control *stop : stops) {
        expected << QString::fromLatin1(stop->name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusName();
    }
    expected << expected.first();
    EXPECT_EQ(visited, expected);
}

// Both windows have a fixed size; the main window offers no maximise, the
// dialog only close. The dialog is modeless and without an owner.
TEST_F(Layout, BothWindowsMatchTheDesignTableAndHaveTheirTitleBarsAndIcon)
{
    start();
    EXPECT_EQ(mainWindow->windowTitle(), QStringLiteral("BexxLow"));
    EXPECT_EQ(mainWindow->size(), QSize(104, 40));
    EXPECT_EQ(xHints(mainWindow->winId()), QStringLiteral("104x40-104x40 minimize close"));
    checkWindow(*mainWindow, "frmterminal");
    // The program's icon.
    const QImage drawn(QStringLiteral(BEXLOW_SOURCE_DIR "/packaging/icons/bexlow.png"));
    EXPECT_EQ(drawn.size(), QSize(32, 32));
    // It is drawn with a palette of 16 colours, none of them transparent.
    EXPECT_EQ(drawn.format(), QImage::Format_Indexed8);
    EXPECT_LE(drawn.colorCount(), 16);
    EXPECT_FALSE(drawn.hasAlphaChannel());
    const QImage shown = mainWindow->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, drawn.convertToFormat(QImage::Format_RGB32));

    comm().setHandshaking(1);
    QDialog &window = openDialog();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("CommPort Properties"));
    EXPECT_EQ(window.size(), QSize(401, 284));
    EXPECT_EQ(xHints(window.winId()), QStringLiteral("401x284-401x284 close"));
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_FALSE(window.isModal());
    // The load leaves the focus on the tab strip, where the round starts.
    checkWindow(window, "frmProperties");

    // After the user picks another option, its group is entered there.
    click("optEcho_1");
    control("tabSettings")->setFocus();
    checkWindow(window, "frmProperties");

    // Pictures of both windows under the build folder, for a person to look at.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(mainWindow->grab().save(folder + QStringLiteral("/frmterminal.png")));
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/frmProperties.png")));
}

TEST(Centring, KeepsHalfTwipsAndGoesNegativeOnASmallScreen)
{
    EXPECT_EQ(Twips::centred(6910.0f, 6015.0f), 447.5f);
    EXPECT_EQ(Twips::centred(3000.0f, 6015.0f), -1507.5f);
    // The toolkit's pixels: the nearest one, halves away from zero.
    EXPECT_EQ(Twips::toPixels(447.5f), 30);
    EXPECT_EQ(Twips::toPixels(-1507.5f), -101);
}

TEST_F(Layout, TheDialogOpensInTheMiddleOfTheScreenWithThePanelOnTheTabStripsDisplayAreaAboveIt)
{
    start();
    QDialog &window = openDialog();
    // Half the room the screen leaves, a half pixel rounded away from zero.
    const QSize room = window.screen()->size() - window.frameGeometry().size();
    EXPECT_EQ(window.frameGeometry().topLeft(),
              QPoint(int(std::lround(room.width() / 2.0)), int(std::lround(room.height() / 2.0))));

    auto *tabs = control<QTabWidget>("tabSettings");
    QWidget *panel = control("fraSettings");

    // The tab's page is where the tab widget lays out its display area.
    EXPECT_EQ(panel->pos(), tabs->widget(0)->mapTo(&window, QPoint(0, 0)));
    EXPECT_GT(panel->y(), tabs->mapTo(&window, tabs->tabBar()->geometry().bottomLeft()).y());

    // Above the tab strip: last among the window's children, and what a click
    // on the panel's empty part reaches.
    EXPECT_GT(window.children().indexOf(panel), window.children().indexOf(tabs));
    EXPECT_EQ(window.childAt(panel->mapTo(&window, QPoint(panel->width() / 2, panel->height() - 3))), panel);
}

} // namespace
