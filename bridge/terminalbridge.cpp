#include "bridge/terminalbridge.h"

#include "bridge/startup.h"
#include "core/characters.h"
#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/keyinjector.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <chrono>

TerminalBridge::TerminalBridge(SettingsStore &store, KeyInjector &keys, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_keys(keys)
{
    m_port.setDeviceResolver([&store](int port) { return SettingsLayout::deviceForPort(store, port); });
    connect(&m_port, &MSComm::OnComm, this, &TerminalBridge::onComm);
}

void TerminalBridge::start(const QString &argumentText)
{
    m_controlCharacters = readControlCharacters(m_store);
    openPortAtStartup(argumentText, m_store, m_port);
}

void TerminalBridge::forwardReceived()
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    // A busy wait by design: nothing else runs until the burst has settled.
    while (std::chrono::duration<double>(Clock::now() - start).count() <= SettleDelaySeconds) {
    }
    const ControlCharacters::Replaced received = m_controlCharacters.replace(m_port.Input());
    if (!received.notTyped.isEmpty())
        Report::line(QStringLiteral("not typed: %1; see \"Control characters and GS1 barcodes\" in the README")
                         .arg(received.notTyped));
    const std::u32string notOnLayout = m_keys.type(received.text);
    if (!notOnLayout.empty())
        Report::line(
            QStringLiteral("not typed, the keyboard layout has no key for: %1").arg(namedCharacters(notOnLayout)));
}

void TerminalBridge::onComm()
{
    try {
        forwardReceived();
    } catch (const OperationError &error) {
        Report::failure(error);
    }
}
