#pragma once

#include "bridge/terminalbridge.h"

#include <QString>
#include <QWidget>

#include <memory>

class KeyInjector;
class MSComm;
class SettingsStore;
class frmProperties;

namespace Ui {
class frmterminal;
}

// The main window: a small fixed window with one button, "Settings". It owns
// the serial component (through the bridge, which opens it at start and types
// what it receives) and the program's one properties dialog, created on first
// use. Closing it ends the program; an open dialog closes with it.
class frmterminal : public QWidget
{
    Q_OBJECT

public:
    frmterminal(SettingsStore &store, KeyInjector &keys, QWidget *parent = nullptr);
    ~frmterminal() override;

    // Start-up: configures and opens the serial component from the argument
    // text or the saved settings. Throws OperationError when a step fails.
    void Form_Load(const QString &argumentText);

    // The serial component; the dialog reaches it only through here.
    MSComm &MSComm1() { return m_bridge.port(); }

    // Shows the properties dialog, creating it on first use; a dialog that is
    // already shown is brought to the front as it is.
    void Command1_Click();

    // The properties dialog, or nullptr before the first click.
    frmProperties *properties() const { return m_properties.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::frmterminal> m_ui;
    SettingsStore &m_store;
    TerminalBridge m_bridge;
    std::unique_ptr<frmProperties> m_properties;
};
