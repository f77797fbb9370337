#pragma once

#include "keyboard/x11/xtestkeyinjector.h"
#include "serial/mscomm.h"
#include "store/inisettingsstore.h"
#include "store/settingslayout.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"
#include "windows/frmproperties.h"
#include "windows/frmterminal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <sys/inotify.h>
#include <unistd.h>

// Readable values in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// What a command prints; its words are separated by single blanks.
QString run(const QString &command);
// What the X server holds for a window, e.g. "104x40-104x40 minimize close":
// its size range (WM_NORMAL_HINTS) and the title-bar functions a window
// manager should offer (_MOTIF_WM_HINTS), as xprop reads them.
QString xHints(WId window);
// Asks the window to close as a window manager's close button does. In
// main.cpp, away from Xlib's macros.
void xRequestClose(WId window);

// Counts opens of a device file (inotify), to see whether the program
// reopened the serial port.
class OpenCounter
{
public:
    explicit OpenCounter(const QString &path)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd < 0 || inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN) < 0)
            ADD_FAILURE() << "cannot watch " << qPrintable(path);
    }
    ~OpenCounter() { ::close(m_fd); }

    // The opens since the last call; a watched file's events carry no name.
    int take()
    {
        int opens = 0;
        for (inotify_event event; ::read(m_fd, &event, sizeof event) == ssize_t(sizeof event);)
            ++opens;
        return opens;
    }

private:
    int m_fd;
};

// The main window on a pty as port 1 (port 2: a second pty) with a temporary
// settings folder. Every message box is answered with OK and described in
// messages. Helpers throw when a control is missing, which fails the test.
class Windows : public ::testing::Test
{
protected:
    Windows()
    {
        config.mapPort(1, device(1));
        config.mapPort(2, device(2));
        mainWindow = std::make_unique<frmterminal>(store, keys);
        // Polled, as the box runs its own event loop.
        QObject::connect(&m_boxes, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const bool warning = box->icon() == QMessageBox::Warning;
            messages << QStringLiteral("%1 [%2, %3 icon, %4 button(s), %5]")
                            .arg(box->text(), box->windowTitle(), warning ? u"warning" : u"another")
                            .arg(box->buttons().size())
                            .arg(box->isModal() ? u"modal" : u"modeless");
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        });
        m_boxes.start(10);
    }
    ~Windows() override
    {
        mainWindow.reset();
        // Let windows that were handed over for deletion go.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs start-up without arguments and shows the main window.
    void start()
    {
        mainWindow->Form_Load(QString());
        mainWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mainWindow.get()));
    }

    // Clicks "Settings"; the dialog on screen.
    QDialog &openDialog()
    {
        click("Command1");
        if (!dialog())
            throw std::runtime_error("the dialog did not open");
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog()));
        return *dialog();
    }

    frmProperties *properties() const { return mainWindow->properties(); }
    QDialog *dialog() const { return properties() ? properties()->window() : nullptr; }
    MSComm &comm() const { return mainWindow->MSComm1(); }

    // A control of the main window or the loaded dialog, by name.
    template<class Widget = QWidget>
    Widget *control(const char *name) const
    {
        for (QWidget *window : {static_cast<QWidget *>(mainWindow.get()), static_cast<QWidget *>(dialog())}) {
            if (auto *widget = window ? window->findChild<Widget *>(QString::fromLatin1(name)) : nullptr)
                return widget;
        }
        throw std::runtime_error(std::string("no control ") + name);
    }
    QString selected(const char *list) const
    {
        auto *box = control<QComboBox>(list);
        return box->currentIndex() >= 0 ? box->currentText() : QStringLiteral("<none>");
    }
    // A missing entry leaves the list without a selection.
    void choose(const char *list, const QString &entry) { control<QComboBox>(list)->setCurrentText(entry); }
    void click(const char *button) { control<QAbstractButton>(button)->click(); }

    // A value saved under the application title, or "<absent>".
    QString saved(const char *key) const
    {
        return store.value(SettingsLayout::ApplicationTitle, SettingsLayout::Section, QString::fromLatin1(key),
                           QStringLiteral("<absent>"));
    }
    QByteArray savedFile() const { return config.read(SettingsLayout::ApplicationTitle); }
    QString device(int port) const { return (port == 1 ? m_line1 : m_line2).path(); }

    TempConfig config;
    IniSettingsStore store{config.path()};
    XTestKeyInjector keys;
    std::unique_ptr<frmterminal> mainWindow;
    QStringList messages;

private:
    PtyPair m_line1, m_line2;
    QTimer m_boxes;
};
