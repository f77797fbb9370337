#include "windowfixture.h"

#include "operationerror.h"
#include "settingslayout.h"
#include "xwindowproperties.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

MessageBoxCatcher::MessageBoxCatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::answer);
    m_timer.start(10);
}

void MessageBoxCatcher::answer()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    Message message;
    message.text = box->text();
    message.title = box->windowTitle();
    message.xTitle = XWindowProperties::title(box->winId());
    message.icon = box->icon();
    message.buttons = int(box->buttons().size());
    message.modal = box->isModal();
    messages << message;
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

OpenCounter::OpenCounter(const QString &path)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0 || inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE) < 0)
        ADD_FAILURE() << "cannot watch " << qPrintable(path);
}

OpenCounter::~OpenCounter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

OpenCounter::Counts OpenCounter::take()
{
    Counts counts;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t size = ::read(m_fd, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t offset = 0; offset < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            if (event->mask & IN_OPEN)
                ++counts.opens;
            if (event->mask & IN_CLOSE)
                ++counts.closes;
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return counts;
}

Windows::Windows()
{
    takeFreshLines();
    mainWindow = std::make_unique<frmterminal>(store, keys);
}

void Windows::takeFreshLines()
{
    m_lines.push_back(std::make_unique<PtyPair>());
    m_lines.push_back(std::make_unique<PtyPair>());
    config.mapPort(1, line().path());
    config.mapPort(2, secondLine().path());
}

Windows::~Windows()
{
    mainWindow.reset();
    // Let windows that were handed over for deletion go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Windows::start(const QString &argumentText)
{
    // Pty numbers are shared by every process on the machine, and a serial
    // component in another test program that waits for its vanished pty to
    // come back takes a new pty of the same number as soon as it appears.
    // Such a line is set aside (kept, so that its number is not handed out
    // again) and a fresh pair taken.
    for (int attempt = 1;; ++attempt) {
        try {
            mainWindow->Form_Load(argumentText);
            break;
        } catch (const OperationError &error) {
            if (error.number() != EBUSY || attempt == 5)
                throw;
            takeFreshLines();
        }
    }
    mainWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mainWindow.get()));
}

QDialog *Windows::openDialog()
{
    mainWindow->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QDialog *window = dialog();
    if (!window) {
        ADD_FAILURE() << "the dialog did not open";
        return nullptr;
    }
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    return window;
}

QStringList Windows::entries(const char *list) const
{
    QStringList texts;
    if (auto *box = control<QComboBox>(list)) {
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
    }
    return texts;
}

QString Windows::selected(const char *list) const
{
    auto *box = control<QComboBox>(list);
    return box && box->currentIndex() >= 0 ? box->currentText() : QStringLiteral("<none>");
}

void Windows::choose(const char *list, const QString &entry)
{
    if (auto *box = control<QComboBox>(list)) {
        const int index = box->findText(entry);
        ASSERT_GE(index, 0) << qPrintable(entry);
        box->setCurrentIndex(index);
    }
}

void Windows::clickOption(const char *option)
{
    if (auto *button = control<QRadioButton>(option))
        button->click();
}

void Windows::clickButton(const char *button)
{
    if (auto *push = control<QPushButton>(button))
        push->click();
}

QString Windows::saved(const QString &key) const
{
    return store.GetSetting(SettingsLayout::ApplicationTitle, SettingsLayout::Section, key,
                            QStringLiteral("<absent>"));
}
