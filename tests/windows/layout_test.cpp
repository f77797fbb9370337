// How the two windows look: controls, captions, geometry, tab order, title
// bars, centring and the settings panel's place over the tab strip.
#include "windowfixture.h"
#include "twips.h"
#include "xwindowproperties.h"

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {

// One row per control, positions in pixels relative to the container, as
// designed at 15 twips to the pixel. tabIndex orders the controls the
// keyboard visits; the others never take the focus.
struct Control
{
    const char *window;
    const char *name;
    const char *container;
    const char *caption;
    int left, top, width, height;
    int tabIndex;
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
    if (auto *button = qobject_cast<const QAbstractButton *>(&widget))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(&widget))
        return label->text();
    if (auto *group = qobject_cast<const QGroupBox *>(&widget))
        return group->title();
    if (auto *tabs = qobject_cast<const QTabWidget *>(&widget)) {
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        return titles.join(QLatin1Char('|'));
    }
    return QString();
}

// The named controls in the window's focus chain, once round from the first.
QStringList focusChain(QWidget &window, const QStringList &names)
{
    auto *first = window.findChild<QWidget *>(names.value(0));
    if (!first)
        return {};
    QStringList visited{names.first()};
    for (QWidget *widget = first->nextInFocusChain(); widget != first; widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() != Qt::NoFocus && names.contains(widget->objectName()))
            visited << widget->objectName();
    }
    return visited;
}

class Layout : public Windows
{
protected:
    void checkWindow(QWidget &window, const char *windowName)
    {
        QList<const Control *> byTabIndex;
        for (const Control &control : Controls) {
            if (QLatin1String(control.window) != QLatin1String(windowName))
                continue;
            SCOPED_TRACE(control.name);
            auto *widget = window.findChild<QWidget *>(QString::fromLatin1(control.name));
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(control.container));
            EXPECT_EQ(captionOf(*widget), QString::fromUtf8(control.caption));
            // The panel is moved at load; its place is checked on its own.
            const QRect designed(control.left, control.top, control.width, control.height);
            if (QLatin1String(control.name) == QLatin1String("fraSettings"))
                EXPECT_EQ(widget->size(), designed.size());
            else
                EXPECT_EQ(widget->geometry(), designed);
            if (control.takesFocus) {
                byTabIndex << &control;
            } else {
                EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
            }
        }
        std::sort(byTabIndex.begin(), byTabIndex.end(),
                  [](const Control *a, const Control *b) { return a->tabIndex < b->tabIndex; });
        QStringList expectedOrder;
        for (const Control *control : byTabIndex)
            expectedOrder << QString::fromLatin1(control->name);
        EXPECT_EQ(focusChain(window, expectedOrder), expectedOrder);
    }
};

TEST_F(Layout, BothWindowsHoldTheirControlsWhereDesigned)
{
    start();
    EXPECT_EQ(mainWindow->windowTitle(), QStringLiteral("BexxLow"));
    EXPECT_EQ(mainWindow->size(), QSize(104, 40));
    checkWindow(*mainWindow, "frmterminal");

    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("CommPort Properties"));
    EXPECT_EQ(window->size(), QSize(401, 284));
    checkWindow(*window, "frmProperties");

    // Children are made in the order the panel's controls are stacked.
    QStringList panelOrder;
    for (QObject *child : control<QWidget>("fraSettings")->children())
        panelOrder << child->objectName();
    EXPECT_EQ(panelOrder, (QStringList{"cmdCancel", "Frame1", "fraConnection", "cboPort", "cmdOK", "Frame7",
                                       "Frame5", "Label1"}));
    EXPECT_TRUE(control<QPushButton>("cmdOK")->isDefault());
    EXPECT_FALSE(control<QPushButton>("cmdCancel")->isDefault());
    for (const char *list : {"cboPort", "cboSpeed", "cboDataBits", "cboParity", "cboStopBits"})
        EXPECT_FALSE(control<QComboBox>(list)->isEditable()) << list;
}

// Each option group is one stop, entered at its selected option.
TEST_F(Layout, TheTabKeyGoesFromTheTabStripThroughTheGroupsOkAndTheListsToCancel)
{
    start();
    comm().setHandshaking(1);
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const auto focusName = [] {
        QWidget *focus = QApplication::focusWidget();
        // The tab strip takes the focus on its tab bar.
        while (focus && focus->objectName().startsWith(QLatin1String("qt_")))
            focus = focus->parentWidget();
        return focus ? focus->objectName() : QString();
    };
    QStringList visited{focusName()};
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusName();
    }
    EXPECT_EQ(visited, (QStringList{"tabSettings", "optFlow_1", "optEcho_0", "cmdOK", "cboPort", "cboDataBits",
                                    "cboParity", "cboStopBits", "cboSpeed", "cmdCancel", "tabSettings"}));

    // After the user picks another option, the group is entered there.
    clickOption("optEcho_1");
    control<QWidget>("cmdOK")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focusName(), QStringLiteral("optEcho_1"));
}

TEST_F(Layout, TitleBarsOfferNoMaximiseAndTheSizeIsFixed)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);

    const std::optional<XWindowProperties::SizeHints> mainHints = XWindowProperties::sizeHints(mainWindow->winId());
    ASSERT_TRUE(mainHints);
    EXPECT_EQ(QSize(mainHints->minWidth, mainHints->minHeight), QSize(104, 40));
    EXPECT_EQ(QSize(mainHints->maxWidth, mainHints->maxHeight), QSize(104, 40));
    const std::optional<XWindowProperties::Functions> mainFunctions =
        XWindowProperties::functions(mainWindow->winId());
    ASSERT_TRUE(mainFunctions);
    EXPECT_TRUE(mainFunctions->minimize);
    EXPECT_FALSE(mainFunctions->maximize);
    EXPECT_TRUE(mainFunctions->close);
    EXPECT_EQ(XWindowProperties::title(mainWindow->winId()), QStringLiteral("BexxLow"));

    const std::optional<XWindowProperties::SizeHints> hints = XWindowProperties::sizeHints(window->winId());
    ASSERT_TRUE(hints);
    EXPECT_EQ(QSize(hints->minWidth, hints->minHeight), QSize(401, 284));
    EXPECT_EQ(QSize(hints->maxWidth, hints->maxHeight), QSize(401, 284));
    const std::optional<XWindowProperties::Functions> functions = XWindowProperties::functions(window->winId());
    ASSERT_TRUE(functions);
    EXPECT_FALSE(functions->minimize);
    EXPECT_FALSE(functions->maximize);
    EXPECT_TRUE(functions->close);
    EXPECT_EQ(XWindowProperties::title(window->winId()), QStringLiteral("CommPort Properties"));
    // Modeless and without an owner.
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_FALSE(window->isModal());
}

TEST_F(Layout, TheMainWindowCarriesTheProgramIcon)
{
    start();
    const QImage drawn(QStringLiteral(BEXLOW_SOURCE_DIR "/packaging/icons/bexlow.png"));
    ASSERT_EQ(drawn.size(), QSize(32, 32));
    EXPECT_LE(drawn.colorCount(), 16);
    EXPECT_FALSE(drawn.hasAlphaChannel());
    const QImage shown = mainWindow->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, drawn.convertToFormat(QImage::Format_RGB32));
    // White around the diamond, red in its upper-right half.
    EXPECT_EQ(drawn.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(drawn.pixelColor(20, 10), QColor(Qt::red));
}

TEST(Centring, KeepsHalfTwipsAndGoesNegativeOnASmallScreen)
{
    EXPECT_EQ(Twips::centred(6910.0f, 6015.0f), 447.5f);
    EXPECT_EQ(Twips::centred(19200.0f, 6015.0f), 6592.5f);
    EXPECT_EQ(Twips::centred(3000.0f, 6015.0f), -1507.5f);
    EXPECT_EQ(Twips::centred(4260.0f, 4260.0f), 0.0f);
    // The toolkit's pixels: the nearest one, halves away from zero.
    EXPECT_EQ(Twips::toPixels(447.5f), 30);
    EXPECT_EQ(Twips::toPixels(6592.5f), 440);
    EXPECT_EQ(Twips::toPixels(-1507.5f), -101);
    EXPECT_EQ(Twips::fromPixels(401), 6015.0f);
}

TEST_F(Layout, TheDialogOpensInTheMiddleOfTheScreen)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    const QSize screen = window->screen()->size();
    const QSize outer = window->frameGeometry().size();
    const auto middle = [](int screenPixels, int outerPixels) {
        const double twips = (screenPixels * 15.0 - outerPixels * 15.0) / 2.0;
        return int(std::lround(twips / 15.0));
    };
    EXPECT_EQ(window->frameGeometry().topLeft(),
              QPoint(middle(screen.width(), outer.width()), middle(screen.height(), outer.height())));
}

TEST_F(Layout, TheSettingsPanelLiesOnTheTabStripsDisplayAreaAboveIt)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    auto *tabs = control<QTabWidget>("tabSettings");
    auto *panel = control<QWidget>("fraSettings");
    ASSERT_TRUE(tabs && panel);

    // The tab's page is where the tab widget lays out its display area.
    QWidget *page = tabs->widget(0);
    const QPoint displayArea = page->mapTo(window, QPoint(0, 0));
    EXPECT_EQ(panel->pos(), displayArea);
    EXPECT_GT(panel->y(), tabs->mapTo(window, tabs->tabBar()->geometry().bottomLeft()).y());

    // Above the tab strip: last among the window's children, and what a click
    // on the panel's empty part reaches.
    const QObjectList children = window->children();
    EXPECT_GT(children.indexOf(panel), children.indexOf(tabs));
    const QPoint emptyPart = panel->mapTo(window, QPoint(panel->width() / 2, panel->height() - 3));
    EXPECT_EQ(window->childAt(emptyPart), panel);
}

// Saves pictures of both windows under the build folder, for a person to look at.
TEST_F(Layout, PicturesOfBothWindows)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QPixmap mainPicture = mainWindow->grab();
    const QPixmap dialogPicture = window->grab();
    EXPECT_TRUE(mainPicture.save(folder + QStringLiteral("/frmterminal.png")));
    EXPECT_TRUE(dialogPicture.save(folder + QStringLiteral("/frmProperties.png")));

    // Both side by side, twice the size, for a closer look.
    QPixmap both((mainPicture.width() + dialogPicture.width() + 30) * 2, (dialogPicture.height() + 20) * 2);
    both.fill(Qt::darkGray);
    QPainter painter(&both);
    painter.scale(2, 2);
    painter.drawPixmap(10, 10, mainPicture);
    painter.drawPixmap(mainPicture.width() + 20, 10, dialogPicture);
    painter.end();
    EXPECT_TRUE(both.save(folder + QStringLiteral("/windows.png")));
}

} // namespace
