#pragma once

#include "frmproperties.h"
#include "frmterminal.h"
#include "inisettingsstore.h"
#include "ptypair.h"
#include "tempconfig.h"
#include "xtestkeyinjector.h"

#include <QComboBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>
#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// Answers every message box that comes up, as a user pressing OK would, and
// remembers what it showed. Works while the box runs its own event loop.
class MessageBoxCatcher : public QObject
{
public:
    struct Message
    {
        QString text;
        QString title;   // as Qt holds it
        QString xTitle;  // as the X server holds it
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        bool modal = false;
    };

    MessageBoxCatcher();

    QList<Message> messages;

private:
    void answer();

    QTimer m_timer;
};

// Counts opens and closes of a device file (inotify), to see whether the
// program reopened the serial port.
class OpenCounter
{
public:
    explicit OpenCounter(const QString &path);
    ~OpenCounter();
    OpenCounter(const OpenCounter &) = delete;
    OpenCounter &operator=(const OpenCounter &) = delete;

    struct Counts
    {
        int opens = 0;
        int closes = 0;
    };
    // The events since the last call.
    Counts take();

private:
    int m_fd = -1;
};

// The main window started on a pty (port 1; port 2 is a second pty) with a
// temporary settings folder, as the program starts it.
class Windows : public ::testing::Test
{
protected:
    Windows();
    ~Windows() override;

    // Runs start-up with the argument text and shows the main window.
    void start(const QString &argumentText = QString());
    // Clicks "Settings" and waits until the dialog is on screen.
    QDialog *openDialog();

    frmProperties *properties() const { return mainWindow->properties(); }
    QDialog *dialog() const { return properties() ? properties()->window() : nullptr; }
    MSComm &comm() const { return mainWindow->MSComm1(); }

    // A control of the loaded dialog, by name.
    template <class Widget>
    Widget *control(const char *name) const
    {
        Widget *widget = dialog() ? dialog()->findChild<Widget *>(QString::fromLatin1(name)) : nullptr;
        if (!widget)
            ADD_FAILURE() << "no control " << name;
        return widget;
    }
    QStringList entries(const char *list) const;
    QString selected(const char *list) const;
    // Picks an entry of a list as the user would.
    void choose(const char *list, const QString &entry);
    void clickOption(const char *option);
    void clickButton(const char *button);

    // A value under the application title, or "<absent>".
    QString saved(const QString &key) const;

    // The serial lines of ports 1 and 2.
    PtyPair &line() { return *m_lines.at(m_lines.size() - 2); }
    PtyPair &secondLine() { return *m_lines.back(); }

    TempConfig config;
    IniSettingsStore store{config.path()};
    XTestKeyInjector keys;
    std::unique_ptr<frmterminal> mainWindow;

private:
    void takeFreshLines();

    std::vector<std::unique_ptr<PtyPair>> m_lines; // the last two are in use
};
