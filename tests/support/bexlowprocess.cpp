#include "tests/support/bexlowprocess.h"

#include "tests/support/eventloop.h"
#include "tests/support/helpers.h"

#include <QDir>

void BexlowProcess::start(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), environment.value(QStringLiteral("XDG_CONFIG_HOME")));
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(BEXLOW_BINARY), arguments);
    m_process.waitForStarted(10000);
}

bool BexlowProcess::waitForOpen(const QString &device, int timeoutMs)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const auto isOpen = [&] {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == target)
                return true;
        }
        return false;
    };
    processEventsUntil([&] { return !running() || isOpen(); }, timeoutMs);
    return running() && isOpen();
}

bool BexlowProcess::stop(int signal)
{
    return stopProcess(m_process, signal);
}
