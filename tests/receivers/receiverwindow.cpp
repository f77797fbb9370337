#include "tests/receivers/receiverwindow.h"

#include "tests/support/eventloop.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

ReceiverWindow::ReceiverWindow(Kind kind)
    : m_kind(kind)
{
    const QString file = m_dir.filePath(QStringLiteral("received"));
    const QString ready = m_dir.filePath(QStringLiteral("ready"));
    const QString mods = m_dir.filePath(QStringLiteral("mods"));
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    if (wayland)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    const QString errors = m_dir.filePath(QStringLiteral("errors"));
    m_process.setStandardErrorFile(errors);
    // `ready` gets the terminal's X window (none from foot) once it is raw.
    const QStringList rawTerminal = {
        QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("stty raw -echo; echo $WINDOWID > '%1'; exec cat >> '%2'").arg(ready, file)};
    switch (kind) {
    case Kind::Xterm:
        m_process.start(QStringLiteral("xterm"),
                        QStringLiteral("-u8 -geometry 80x24+0+0 -e").split(u' ') + rawTerminal);
        break;
    case Kind::Foot:
        m_process.start(QStringLiteral("foot"), rawTerminal);
        break;
    case Kind::QtText:
        m_process.start(QStringLiteral(BEXLOW_QT_RECEIVER), {file, ready, mods});
        break;
    case Kind::GtkText:
        m_process.start(QStringLiteral(BEXLOW_GTK_RECEIVER), {file, ready});
        break;
    case Kind::Chromium:
        // It writes `ready` once the page has the focus.
        m_process.start(QStringLiteral(BEXLOW_CHROMIUM_RECEIVER),
                        (wayland ? QStringList{QStringLiteral("--wayland")} : QStringList())
                            + QStringList{file, ready, mods});
        break;
    case Kind::CalcX11:
    case Kind::CalcGtk:
        m_process.start(QStringLiteral(BEXLOW_CALC_RECEIVER),
                        (kind == Kind::CalcGtk ? QStringList{QStringLiteral("--gtk")} : QStringList())
                            + QStringList{file, ready});
        break;
    case Kind::Swing:
        m_process.start(QStringLiteral("sh"),
                        {QStringLiteral("-c"),
                         // Searched again until found: one search ends at the first X error, as
                         // when a window it looks at goes meanwhile (Calc's, quitting).
                         QStringLiteral("(for i in $(seq 120); do xdotool search --onlyvisible --name '^bexlow "
                                        "swing receiver$' > '%1.tmp' 2>/dev/null && [ -s '%1.tmp' ] && exec mv "
                                        "'%1.tmp' '%1'; sleep 0.5; done) & exec java '%2' '%3'")
                             .arg(ready, QStringLiteral(BEXLOW_SWING_RECEIVER), file)});
        break;
    case Kind::WineNotepad: {
        static const QTemporaryDir prefix; // one a test binary: making it takes tens of seconds
        m_process.start(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("export WINEPREFIX='%2' WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=; [ -e "
                            "'%2/system.reg' ] || { wineboot -i; wineserver -w; }; (for i in $(seq 120); do "
                            "xdotool search --onlyvisible --class '^notepad.exe$' > '%1.tmp' 2>/dev/null && "
                            "[ -s '%1.tmp' ] && exec mv '%1.tmp' '%1'; sleep 0.5; done) & exec wine notepad")
                 .arg(ready, prefix.path())});
        break;
    }
    }
    // A browser takes a while to start on a loaded machine.
    const auto shown = [&] {
        m_window = readFile(ready).trimmed().toULong();
        return wayland ? QFile::exists(ready) : m_window != 0;
    };
    processEventsUntil([&] { return shown() || m_process.state() == QProcess::NotRunning; }, 60000);
    if (!shown())
        throw std::runtime_error("the receiver window did not appear; it said: "
                                 + readFile(errors).right(800).toStdString());
    // The compositor gives the new window the focus; let it arrive.
    if (wayland)
        processEventsFor(300);
}

bool ReceiverWindow::activate() const
{
    return QProcess::execute(QStringLiteral("timeout"),
                             {QStringLiteral("30"), QStringLiteral("xdotool"), QStringLiteral("windowactivate"),
                              QStringLiteral("--sync"), QString::number(m_window)})
           == 0;
}

QByteArray ReceiverWindow::text() const
{
    return m_kind == Kind::WineNotepad ? notepadText() : readFile(m_dir.filePath(QStringLiteral("received")));
}

// Once the stamp that Wine gives the latest key press it handled (its
// _NET_WM_USER_TIME) stood still for a second, so that these keys cannot mix
// with bexlow's: all selected and copied, and read from the clipboard.
QByteArray ReceiverWindow::notepadText() const
{
    QProcess reader;
    reader.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("w=$(xprop -id %1 _NET_WM_USER_TIME_WINDOW | sed 's/.* //'); t() { xprop -id $w "
                        "_NET_WM_USER_TIME; }; until a=$(t); sleep 1; [ \"$a\" = \"$(t)\" ]; do :; done; "
                        "xdotool key --clearmodifiers ctrl+a ctrl+c; sleep 0.3; timeout 10 xclip -o -selection "
                        "clipboard | sed 's/\\r$//'")
             .arg(m_window)});
    reader.waitForFinished(60000);
    return reader.readAllStandardOutput();
}

void ReceiverWindow::waitForLength(qsizetype mark, qsizetype length, int timeoutMs) const
{
    processEventsUntilQuietAt([&] { return text().size() - mark; }, length, timeoutMs);
}

void TypingLine::expectTyped(const ReceiverWindow &receiver, const std::vector<Typed> &texts, KeyboardState *keyboard)
{
    for (const auto &[sent, expected] : texts) {
        ASSERT_TRUE(!keyboard || keyboard->focus(receiver.window())) << "the receiver did not get the focus";
        const qsizetype mark = receiver.text().size();
        line.send(sent);
        receiver.waitForLength(mark, expected.size());
        const QByteArray got = receiver.text().mid(mark);
        EXPECT_EQ(got, expected) << "sent: " << sent.toStdString() << "\ngot:  " << got.toStdString();
    }
}

void TypingLine::expectLinesArrive(const ReceiverWindow &receiver, const QList<QByteArray> &lines,
                                   const std::function<int(qsizetype)> &pauseMs, qsizetype mark)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        line.send(lines[i] + "\r");
        processEventsFor(pauseMs(i));
    }
    receiver.waitForLength(mark, lines.join('\n').size() + 1, 120000);
    const QList<QByteArray> got = receiver.text().mid(mark).chopped(1).split('\n');
    int wrong = 0;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (got.value(i) != lines[i] && ++wrong <= 5)
            ADD_FAILURE() << "sent: " << lines[i].toStdString() << "\ngot:  " << got.value(i).toStdString();
    EXPECT_EQ(wrong, 0) << "of " << lines.size() << " lines";
    EXPECT_EQ(got.size(), lines.size());
}

void TypingLine::expectTypedThroughAPause(const ReceiverWindow &receiver, qint64 paused)
{
    SCOPED_TRACE(paused == receiver.pid() ? "the receiver paused" : "its display server paused");
    expectTypedThroughAPause([&] { return receiver.text(); }, paused, [&] { return receiver.running(); });
}

void TypingLine::expectTypedThroughAPause(const std::function<QByteArray()> &received, qint64 paused,
                                          const std::function<bool()> &running, const QByteArray &lacking)
{
    const qsizetype mark = received().size();
    const QByteArray text = range(0x21, 0x7e).toLatin1().repeated(64).left(6000);
    const QByteArray expected = QByteArray(text).removeIf([&](char c) { return lacking.contains(c); });
    line.send(text);
    processEventsUntil([&] { return received().size() - mark >= 1000; }, 30000);
    ::kill(pid_t(paused), SIGSTOP);
    processEventsFor(2000);
    ::kill(pid_t(paused), SIGCONT);
    // At the slowest pace (GNOME, capitals: about 100 a second) the text
    // takes a minute.
    processEventsUntilQuietAt([&] { return received().size() - mark; }, expected.size(), 120000);
    EXPECT_TRUE(running()) << "the compositor disconnected the receiver";
    EXPECT_EQ(received().mid(mark).toStdString(), expected.toStdString());
}
