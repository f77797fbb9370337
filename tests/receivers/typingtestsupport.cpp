#include "tests/receivers/bexlowprocess.h"
#include "tests/receivers/keyboardstate.h"
#include "tests/receivers/receiverfiles.h"
#include "tests/receivers/receiverwindow.h"
#include "tests/support/eventloop.h"

// Qt before Xlib, whose macros (Bool, Status) clash with Qt's names.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

void BexlowProcess::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_config.path());
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(BEXLOW_BINARY), {QStringLiteral("1,9600,n,8,1")});
    const QString pty = QFileInfo(m_ptyPath).canonicalFilePath();
    const auto portOpen = [&] {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == pty)
                return true;
        }
        return false;
    };
    m_process.waitForStarted(10000);
    processEventsUntil([&] { return portOpen() || m_process.state() == QProcess::NotRunning; }, 20000);
    if (!portOpen())
        throw std::runtime_error("bexlow did not open the pty: " + errorOutput().toStdString());
    // Its main window is shown right after the port opens; let it settle
    // before the test moves the focus to the receiver.
    processEventsFor(500);
}

bool BexlowProcess::stop(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(m_process.processId()), signal);
    if (m_process.waitForFinished(15000))
        return true;
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}

KeyboardState::KeyboardState()
    : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        throw std::runtime_error("the test cannot open $DISPLAY");
}

KeyboardState::~KeyboardState()
{
    XCloseDisplay(m_display);
}

QByteArray KeyboardState::keymapText() const
{
    QByteArray text;
    XkbDescPtr xkb = XkbGetMap(m_display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        text +=
            "keycode " + QByteArray::number(keycode) + " modifiers " + QByteArray::number(xkb->map->modmap[keycode]);
        for (int group = 0; group < XkbKeyNumGroups(xkb, keycode); ++group) {
            text += " group " + QByteArray::number(group) + " type "
                    + QByteArray::number(XkbKeyKeyTypeIndex(xkb, keycode, group)) + ":";
            for (int level = 0; level < XkbKeyGroupWidth(xkb, keycode, group); ++level)
                text += " " + QByteArray::number(qulonglong(XkbKeySymEntry(xkb, keycode, level, group)), 16);
        }
        text += "\n";
    }
    XkbFreeKeyboard(xkb, 0, True);
    return text;
}

std::vector<int> KeyboardState::keysDown() const
{
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    std::vector<int> down;
    for (int keycode = 0; keycode < 256; ++keycode)
        if (keys[keycode / 8] & (1 << (keycode % 8)))
            down.push_back(keycode);
    return down;
}

bool KeyboardState::capsLockOn() const
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.locked_mods & LockMask;
}

void KeyboardState::setCapsLock(bool on)
{
    XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    XSync(m_display, False);
}

int KeyboardState::group() const
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.group;
}

int KeyboardState::holdKey(unsigned long keysym, bool down)
{
    const int keycode = XKeysymToKeycode(m_display, keysym);
    XTestFakeKeyEvent(m_display, unsigned(keycode), down ? True : False, CurrentTime);
    XSync(m_display, False);
    return keycode;
}

bool KeyboardState::focus(unsigned long window, int timeoutMs)
{
    return processEventsUntil(
        [&] {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(m_display, window, &attributes) || attributes.map_state != IsViewable)
                return false;
            XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
            Window focused = None;
            int revert = 0;
            XGetInputFocus(m_display, &focused, &revert);
            return focused == window;
        },
        timeoutMs);
}

ReceiverWindow::ReceiverWindow(Kind kind)
{
    const QString file = m_dir.filePath(QStringLiteral("received"));
    const QString idFile = m_dir.filePath(QStringLiteral("window-id"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_process.setProcessEnvironment(environment);
    if (kind == Kind::Xterm) {
        const QString script =
            QStringLiteral("echo $WINDOWID > '%1'; stty raw -echo; exec cat >> '%2'").arg(idFile, file);
        m_process.start(QStringLiteral("xterm"),
                        {QStringLiteral("-u8"), QStringLiteral("-geometry"), QStringLiteral("80x24+0+0"),
                         QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"), script});
    } else {
        m_process.start(QStringLiteral(BEXLOW_QT_RECEIVER), {file, idFile});
    }
    processEventsUntil(
        [&] {
            return (m_window = readFile(idFile).trimmed().toULong()) != 0 || m_process.state() == QProcess::NotRunning;
        },
        20000);
    if (m_window == 0)
        throw std::runtime_error("the receiver window did not appear");
}

QByteArray ReceiverWindow::text() const
{
    return readFile(m_dir.filePath(QStringLiteral("received")));
}

void ReceiverWindow::waitForLength(qsizetype mark, qsizetype length, int timeoutMs) const
{
    processEventsUntilQuietAt([&] { return text().size() - mark; }, length, timeoutMs);
}
