// How the two windows look, where it matters: the forms load with their
// titles, fixed sizes and title bars, the lists cannot be edited, Tab enters
// an option group at its selected option, the dialog is centred (by its frame
// under a window manager) and its panel lies over the tab strip's display
// area. The forms' geometry and captions are the .ui files' own business.
#include "tests/support/eventloop.h"
#include "tests/windows/windowfixture.h"
#include "windows/twips.h"

#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

namespace {

using Layout = Windows;

// The option buttons the Tab key stops at, once round the window.
QStringList optionTabStops(QWidget &window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QStringList stops;
    for (int step = 0; step < 40; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (auto *option = qobject_cast<QRadioButton *>(QApplication::focusWidget())) {
            if (stops.contains(option->objectName()))
                break;
            stops << option->objectName();
        }
    }
    stops.sort();
    return stops;
}

// The dialog's outer rectangle, frame and title bar included (as the toolkit
// learns it from the X server), is what is centred: the window manager tells
// its frame before the dialog is shown, so it appears there at once.
TEST_F(Layout, BothFormsLoadWithTheirTitlesFixedSizesTitleBarsAndIconAndTheDialogIsCentredByItsFrame)
{
    // Windows mapped while openbox starts up may go unmanaged: its start-up
    // command tells when it is ready.
    const QString ready = config.path() + QStringLiteral("/openbox-ready");
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
    ASSERT_TRUE(windowManager.waitForStarted());
    ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(ready); }, 10000));
    start();
    EXPECT_EQ(mainWindow->windowTitle(), QStringLiteral("BexxLow"));
    EXPECT_EQ(xHints(mainWindow->winId()), QStringLiteral("104x40-104x40 minimize close"));
    EXPECT_EQ(control<QAbstractButton>("Command1")->text(), QStringLiteral("Settings"));
    const QImage drawn(QStringLiteral(BEXLOW_SOURCE_DIR "/packaging/icons/bexlow.png"));
    EXPECT_EQ(mainWindow->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32),
              drawn.convertToFormat(QImage::Format_RGB32));

    comm().setHandshaking(1);
    QDialog &window = openDialog();
    QRect outer;
    processEventsUntil([&] { return (outer = window.frameGeometry()).size() != window.size(); }, 5000);
    EXPECT_GT(outer.height(), window.height()); // framed, with a title bar
    // Half the room the screen leaves, a half pixel rounded away from zero.
    const QSize room = window.screen()->size() - outer.size();
    EXPECT_EQ(outer.topLeft(), QPoint(int(std::lround(room.width() / 2.0)), int(std::lround(room.height() / 2.0))));
    // A screen smaller than the window: half twips kept, then -100.5 pixels
    // rounded away from zero.
    EXPECT_EQ(Twips::toPixels(Twips::centred(3000.0f, 6015.0f)), -101);

    EXPECT_EQ(window.windowTitle(), QStringLiteral("CommPort Properties"));
    EXPECT_EQ(xHints(window.winId()), QStringLiteral("401x284-401x284 close"));
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_FALSE(window.isModal());
    for (QComboBox *list : window.findChildren<QComboBox *>())
        EXPECT_FALSE(list->isEditable()) << qPrintable(list->objectName());

    // The dialog's panel lies over the tab strip's display area.
    auto *tabs = control<QTabWidget>("tabSettings");
    QWidget *panel = control("fraSettings");
    // The tab's page is where the tab widget lays out its display area.
    EXPECT_EQ(panel->pos(), tabs->widget(0)->mapTo(&window, QPoint(0, 0)));
    EXPECT_GT(panel->y(), tabs->mapTo(&window, tabs->tabBar()->geometry().bottomLeft()).y());
    // Above the tab strip: last among the window's children, and what a click
    // on the panel's empty part reaches.
    EXPECT_GT(window.children().indexOf(panel), window.children().indexOf(tabs));
    EXPECT_EQ(window.childAt(panel->mapTo(&window, QPoint(panel->width() / 2, panel->height() - 3))), panel);

    EXPECT_EQ(optionTabStops(window), (QStringList{"optEcho_0", "optFlow_1"}));
    click("optEcho_1");
    EXPECT_EQ(optionTabStops(window), (QStringList{"optEcho_1", "optFlow_1"}));
    windowManager.terminate();
    EXPECT_TRUE(windowManager.waitForFinished(10000));
}

} // namespace
