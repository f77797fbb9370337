// Types a file's text through one of bexlow's keyboard backends, made as
// bexlow makes it (X11's XTEST, or --wayland, --gnome, --kde or --portal,
// the values of [Typing] Backend), and reports how long the receiver took
// to have it all.
//
// Usage: bexlow-typing-driver [--wayland|--gnome|--kde|--portal] TEXT_FILE RECEIVER_FILE EXPECTED_BYTES [TIMEOUT_S]
// [CHUNK] Types TEXT_FILE (UTF-8) in type calls of CHUNK characters (default: all at once), then waits until
// RECEIVER_FILE holds EXPECTED_BYTES bytes or TIMEOUT_S (default 60) has passed, and prints
//   sent_s=<time to send> received_s=<time until the receiver had it all>
// The injector stays alive until then: emptying the spare keys while the
// receiver still reads the events would change what it sees.
#include "app/keyboardbackend.h"
#include "core/characters.h"
#include "core/operationerror.h"
#include "keyboard/keyinjector.h"
#include "store/inisettingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    BackendChoice::Session session;
    session.preference = BackendChoice::Preference::X11;
    if (args.size() > 1 && args.at(1).startsWith(QLatin1String("--"))) {
        bool known = false;
        session.preference = BackendChoice::preferenceFrom(args.takeAt(1).mid(2), &known);
        if (!known || session.preference == BackendChoice::Preference::Auto) {
            std::fprintf(stderr, "%s: the backend is --wayland, --gnome, --kde or --portal\n", argv[0]);
            return 2;
        }
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s TEXT_FILE RECEIVER_FILE EXPECTED_BYTES [TIMEOUT_S] [CHUNK]\n", argv[0]);
        return 2;
    }
    QFile input(args.at(1));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
        return 2;
    }
    const QString text = QString::fromUtf8(input.readAll());
    const QString receiverFile = args.at(2);
    const qint64 expectedBytes = args.at(3).toLongLong();
    const double timeout = args.size() > 4 ? args.at(4).toDouble() : 60.0;
    const qsizetype chunk = args.size() > 5 ? args.at(5).toLongLong() : text.size();

    using Clock = std::chrono::steady_clock;
    // A store of its own: the portal's grant is not kept.
    QTemporaryDir config;
    IniSettingsStore store{config.path()};
    const std::unique_ptr<KeyInjector> injector =
        KeyboardBackend::makeFor(BackendChoice::decide(session).backend, store);
    KeyInjector &keys = *injector;
    try {
        keys.checkAvailable();
        const Clock::time_point start = Clock::now();
        std::u32string notTyped;
        for (qsizetype at = 0; at < text.size(); at += chunk) {
            for (const char32_t c : keys.type(text.mid(at, chunk)))
                if (notTyped.find(c) == std::u32string::npos)
                    notTyped += c;
        }
        // Named as bexlow names them, for the bench to leave out.
        if (!notTyped.empty())
            std::fprintf(stderr, "not typed: %s\n", qPrintable(namedCharacters(notTyped)));
        const double sent = std::chrono::duration<double>(Clock::now() - start).count();
        double received = -1;
        while (true) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (QFileInfo(receiverFile).size() >= expectedBytes) {
                received = elapsed;
                break;
            }
            if (elapsed > timeout)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::printf("sent_s=%.4f received_s=%.4f\n", sent, received);
    } catch (const OperationError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.toString()));
        return 1;
    }
    return 0;
}
