// GoogleTest entry for the window tests: a QApplication on the display that
// scripts/with-xvfb.sh provides.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexlow"));
    // Tests open and close windows one after another; the program's own
    // ending when its main window closes is tested on the real program.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
