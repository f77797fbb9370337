#pragma once

#include <QString>

#include <stdexcept>

// The one error type that the serial component and the platform layers throw.
// It carries a number and a description that a person can act on, such as
// "Com3 (/dev/ttyUSB0): Permission denied".
class OperationError : public std::runtime_error
{
public:
    // Numbers of failures that have no system error number of their own.
    // Failures that come from the operating system carry its errno instead.
    enum Number : int {
        InvalidPropertyValue = 380,
        PortAlreadyOpen = 8005,
        PortNotOpen = 8018,
        SettingsStoreFailure = 8100,
        TypingUnavailable = 8200,
        TypingFailed = 8201,
        InvalidControlCharacterEntry = 8202,
        InvalidPortText = 8300,
    };

    OperationError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }

    // "description (error n)", for stderr.
    QString toString() const;

    // Text from outside (a command line, a stored value) made fit to show in
    // a description: in double quotes, control characters escaped, and cut
    // after 40 characters.
    static QString quoted(const QString &text);

    // The operating system's own words for an errno value.
    static QString systemReason(int errorNumber);

private:
    int m_number = 0;
    QString m_description;
};
