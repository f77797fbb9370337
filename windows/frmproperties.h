#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class MSComm;
class PendingFailure;

class SettingsStore;
class frmterminal;

namespace Ui {
class frmProperties;
}

// The "CommPort Properties" dialog: shows the serial component's present
// configuration, applies the user's choice to it and saves it.
//
// The object lives for the rest of the run once created; its window is built
// afresh at each load and destroyed at each unload (OK, Cancel, closing it).
// It reaches the serial component only through the main window.
class frmProperties : public QObject
{
    Q_OBJECT

public:
    frmProperties(frmterminal &mainWindow, SettingsStore &store, QObject *parent = nullptr);
    ~frmProperties() override;

    // Shows the dialog modeless and without an owner, loading it first when
    // its window is not loaded. A loaded dialog is only brought to the front.
    void show();

    // Destroys the window without applying anything.
    void unload();

    bool isLoaded() const { return m_window != nullptr; }
    // The loaded window, or nullptr.
    QDialog *window() const { return m_window; }

    // The load step: centres the window, lays the settings panel into the
    // tab strip's display area and shows the component's configuration.
    void Form_Load();
    void LoadPropertySettings();

    // Record the option selected last, by the user or by the program.
    void optFlow_Click(int index);
    void optEcho_Click(int index);

    // Applies port number, line settings and flow control to the component;
    // on success saves the configuration and unloads, otherwise shows the
    // latest failure and stays open.
    void cmdOK_Click();
    void cmdCancel_Click();

    short pendingFlowChoice() const { return m_pendingFlowChoice; }
    bool pendingEchoFlag() const { return m_pendingEchoFlag; }

private:
    void createWindow();
    void fillLists();
    void showFailure(const QString &description);
    // The steps of OK: the port number (false when it failed and OK ends),
    // the line settings string the lists give, and the saves.
    bool applyPortNumber(MSComm &comm, PendingFailure &failure);
    QString chosenLineSettings(const MSComm &comm) const;
    void saveApplied(const MSComm &comm, bool echo);

    frmterminal &m_mainWindow;
    SettingsStore &m_store;
    QPointer<QDialog> m_window;
    std::unique_ptr<Ui::frmProperties> m_ui;
    short m_pendingFlowChoice = 0;
    bool m_pendingEchoFlag = false;
};
