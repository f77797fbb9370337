#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets an environment variable (a null value unsets it) for a scope.
class EnvironmentVariable
{
public:
    EnvironmentVariable(const char *name, const QByteArray &value)
        : m_name(name)
        , m_saved(qgetenv(name))
    {
        set(value);
    }
    ~EnvironmentVariable() { set(m_saved); }
    EnvironmentVariable(const EnvironmentVariable &) = delete;
    EnvironmentVariable &operator=(const EnvironmentVariable &) = delete;

private:
    void set(const QByteArray &value) const { value.isNull() ? qunsetenv(m_name) : qputenv(m_name, value); }

    const char *m_name;
    const QByteArray m_saved;
};
