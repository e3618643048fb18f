// orvanta-preview FILE...: the photo and its metadata in a window, or with
// --render / --dump the same preview headless; --service is the desktop's
// previewer on the session bus, --register-previewer makes it the user's.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>

#include "Headless.hpp"
#include "Options.hpp"
#include "Registration.hpp"
#include "ServiceBus.hpp"
#include "Streams.hpp"
#include "Window.hpp"

int main(int argc, char** argv) {
    using namespace orv::ui;
#if defined(__GLIBC__)
    // Pictures (10 MB each at 1800 px) are made on several loader threads.
    // glibc would serve them from per-thread heaps once a first one was
    // freed, and keep each heap's high-water mark: a long-running service
    // grew by ~90 MB over a few hundred previews. Mapped separately, every
    // freed picture goes back to the system.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    // Our own options are read from the raw arguments, so a file named like a
    // Qt option (-style, -platform) stays a file.
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = host::parseArguments(args);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "orvanta-preview: %s\n%s", message->c_str(), host::usage().c_str());
        return 2;
    }
    const auto& options = std::get<host::Options>(parsed);
    if (options.help) {
        std::fputs(host::usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("orvanta-preview %s\n", ORVANTA_VERSION);
        return 0;
    }
    if (options.registerPreviewer || options.unregisterPreviewer) {
        // Only to reach the session bus; no window.
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QCoreApplication app(qtArgc, qtArgv);
        const host::Streams streams;
        return options.registerPreviewer ? host::registerPreviewer(streams) : host::unregisterPreviewer(streams);
    }
    if (!options.headless() && !host::hasDisplay()) {
        if (options.service)
            std::fputs("orvanta-preview: no display to open the previewer's window on (neither DISPLAY nor "
                       "WAYLAND_DISPLAY is set in the session bus's environment)\n",
                       stderr);
        else
            std::fputs(host::noDisplayMessage().c_str(), stderr);
        return 1;
    }
    if (options.headless()) qputenv("QT_QPA_PLATFORM", "offscreen");
    const host::Streams streams = host::keepStandardStreams();
    host::routeMessages(streams.err, options.headless());

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("orvanta-preview"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANTA_VERSION));

    const int status = options.service    ? host::runService(options, streams)
                       : options.headless() ? host::runHeadless(options, {}, streams)
                                            : host::runWindow(options);
    // Loads still running (a window closed mid-load) finish before the
    // application object goes away.
    PreviewViewController::finishLoads();
    return status;
}
