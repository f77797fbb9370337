#include "serial/openfailure.h"

#include "core/operationerror.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace OpenFailure {
namespace {

// The lock file that QSerialPort keeps for a device, where one exists: named
// after the device path without "/dev/", slashes turned into underscores.
QString existingLockFile(const QString &device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : {"/var/lock", "/run/lock", "/tmp", "/var/tmp", "/var/spool/locks", "/etc/locks"}) {
        QString path = QLatin1String(folder) + QStringLiteral("/LCK..") + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

} // namespace

QString busyReason()
{
    return OperationError::systemReason(EBUSY) + QStringLiteral(": another program is using the port");
}

void raise(const QString &label, const QString &device, bool lockRefused, const QString &libraryReason)
{
    if (!QFileInfo::exists(device))
        throw OperationError(ENOENT, QStringLiteral("%1: %2").arg(label, OperationError::systemReason(ENOENT)));
    // Opening the device ourselves gives the system's own reason.
    const QByteArray path = QFile::encodeName(device);
    const int probe = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) {
        const int errorNumber = errno;
        if (errorNumber == EBUSY)
            throw OperationError(EBUSY, QStringLiteral("%1: %2").arg(label, busyReason()));
        throw OperationError(errorNumber,
                             QStringLiteral("%1: %2").arg(label, OperationError::systemReason(errorNumber)));
    }
    ::close(probe);
    if (lockRefused) {
        // The device itself opens: what failed is the lock file, held by
        // another program, or left behind by one and not ours to remove.
        const QString lockFile = existingLockFile(device);
        if (lockFile.isEmpty())
            throw OperationError(EBUSY, QStringLiteral("%1: %2").arg(label, busyReason()));
        throw OperationError(EBUSY, QStringLiteral("%1: %2 (lock file %3; if no program uses the port, remove it)")
                                        .arg(label, busyReason(), lockFile));
    }
    throw OperationError(EIO, QStringLiteral("%1: %2").arg(label, libraryReason));
}

} // namespace OpenFailure
