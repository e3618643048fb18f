#include "Streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include <QString>
#include <QtGlobal>

namespace orv::ui::host {

namespace {

std::FILE* messageStream = stderr;
bool dropPlatformNotices = false;

void printMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // Qt's note that it picked a runtime folder of its own is no news to the user.
    if (message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
    if (dropPlatformNotices) {
        if (type == QtDebugMsg || type == QtInfoMsg) return;
        if (message.contains(QLatin1String("propagateSizeHints"))) return;
    }
    std::fprintf(messageStream, "orvanta-preview: %s\n", qPrintable(message));
    std::fflush(messageStream);
    if (type == QtFatalMsg) std::abort();
}

std::FILE* duplicate(int fd, std::FILE* fallback) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return fallback;
    std::FILE* stream = ::fdopen(copy, "w");
    if (!stream) ::close(copy);
    return stream ? stream : fallback;
}

}  // namespace

Streams keepStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    return Streams{duplicate(STDOUT_FILENO, stdout), duplicate(STDERR_FILENO, stderr)};
}

void routeMessages(std::FILE* err, bool headless) {
    messageStream = err;
    dropPlatformNotices = headless;
    qInstallMessageHandler(printMessage);
}

}  // namespace orv::ui::host
