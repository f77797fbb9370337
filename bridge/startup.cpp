#include "bridge/startup.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "serial/mscomm.h"
#include "settings/linesettings.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <QRegularExpression>

namespace {

// An argument text shorter than this is no configuration: the saved settings
// are used instead.
constexpr int ShortestArgumentText = 4;

} // namespace

short convertPortText(const QString &portText)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (!number.match(portText).hasMatch()) {
        throw OperationError(OperationError::InvalidPortText,
                             QStringLiteral("Invalid port number %1: the port must be a number such as 1")
                                 .arg(OperationError::quoted(portText)));
    }
    bool ok = false;
    const short value = portText.trimmed().toShort(&ok);
    if (!ok) {
        throw OperationError(
            OperationError::InvalidPortText,
            QStringLiteral("Invalid port number %1: out of range").arg(OperationError::quoted(portText)));
    }
    return value;
}

void openPortAtStartup(const QString &argumentText, SettingsStore &store, MSComm &port)
{
    using namespace SettingsLayout;
    QString portText;
    QString settingsText;
    if (argumentText.size() < ShortestArgumentText) {
        portText = store.value(ApplicationTitle, Section, CommPortKey, DefaultCommPort);
        settingsText = store.value(ApplicationTitle, Section, SettingsKey, LineSettings::Default);
    } else {
        portText = argumentText.left(1);
        settingsText = argumentText.mid(2);
        store.save(CommandLineApplication, Section, PortKey, portText);
        store.save(CommandLineApplication, Section, SettingsKey, settingsText);
    }
    port.setSettings(settingsText);
    port.setCommPort(convertPortText(portText));
    port.setPortOpen(true);
}

ControlCharacters readControlCharacters(const SettingsStore &store)
{
    using namespace SettingsLayout;
    QStringList rejected;
    ControlCharacters table =
        ControlCharacters::fromEntries(store.entries(ApplicationTitle, ControlCharactersSection), &rejected);
    for (const QString &why : rejected)
        Report::failure(OperationError(OperationError::InvalidControlCharacterEntry,
                                       QStringLiteral("[%1] %2").arg(ControlCharactersSection, why)));
    return table;
}
