#include "bridge/terminalbridge.h"

#include "bridge/startup.h"
#include "core/operationerror.h"
#include "keyboard/keyinjector.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <chrono>
#include <cstdio>

TerminalBridge::TerminalBridge(SettingsStore &store, KeyInjector &keys, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_keys(keys)
{
    MSComm1.setDeviceResolver([&store](int port) { return SettingsLayout::deviceForPort(store, port); });
    connect(&MSComm1, &MSComm::OnComm, this, &TerminalBridge::onComm);
}

void TerminalBridge::Form_Load(const QString &argumentText)
{
    openPortAtStartup(argumentText, m_store, MSComm1);
}

void TerminalBridge::MSComm1_OnComm()
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    // A busy wait by design: nothing else runs until the burst has settled.
    while (std::chrono::duration<double>(Clock::now() - start).count() <= SettleDelaySeconds) {
    }
    const QString received = MSComm1.Input();
    m_keys.SendKeys(received);
}

void TerminalBridge::onComm()
{
    try {
        MSComm1_OnComm();
    } catch (const OperationError &error) {
        std::fprintf(stderr, "bexlow: %s\n", qPrintable(error.toString()));
        std::fflush(stderr);
    }
}
