#pragma once

#include <QList>
#include <QString>

#include <utility>

// The per-user settings store: text values addressed by application name,
// section and key. Implementations throw OperationError when a value cannot
// be read or saved.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored text, or defaultValue when the application name, the section
    // or the key is absent. An entry holding an empty text reads as "".
    virtual QString value(const QString &appName, const QString &section, const QString &key,
                          const QString &defaultValue = QString()) const = 0;

    // Every entry of the section as key and value, in the order stored;
    // empty when the application name or the section is absent.
    virtual QList<std::pair<QString, QString>> entries(const QString &appName, const QString &section) const = 0;

    // Stores the text, creating what is missing and replacing an earlier value.
    // The value is on disk when the call returns.
    virtual void save(const QString &appName, const QString &section, const QString &key, const QString &value) = 0;
};
