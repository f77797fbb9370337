#pragma once

#include "keyboard/controlcharacters.h"
#include "serial/mscomm.h"

#include <QObject>
#include <QString>

class KeyInjector;
class SettingsStore;

// The bridge from the serial line to the keyboard: owns the serial component,
// opens it at start and types what it receives. Free of widgets, so
// that it runs and is tested without a window.
class TerminalBridge : public QObject
{
    Q_OBJECT

public:
    TerminalBridge(SettingsStore &store, KeyInjector &keys, QObject *parent = nullptr);

    // The serial component (the main window's MSComm1).
    MSComm &port() { return m_port; }

    // Start-up: reads the control character table, configures the port from
    // the argument text or the saved settings and opens it. Throws
    // OperationError when a step fails.
    void start(const QString &argumentText);

    // The receive handler: waits the settle delay, takes everything received,
    // puts the table's texts in place of control characters, names those that
    // are not typed in one line, and types the rest. Throws OperationError
    // when reading or typing fails.
    void forwardReceived();

    // Just over this many seconds pass between a notification and the read,
    // so that a burst arriving meanwhile is typed in one piece.
    static constexpr double SettleDelaySeconds = 0.05;

private:
    // Runs the receive handler for a notification; a failed run is reported
    // on stderr in one line and the program goes on.
    void onComm();

    MSComm m_port;
    SettingsStore &m_store;
    KeyInjector &m_keys;
    ControlCharacters m_controlCharacters;
};
