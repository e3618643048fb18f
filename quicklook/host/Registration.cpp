#include "Registration.hpp"

#include <signal.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "ServiceBus.hpp"
#include "own_location.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMarker = "# Written by orvanta-preview --register-previewer.";

// The bus reads Exec= twice: as a desktop-file value, where a backslash
// starts an escape, then like a shell command. A path of plain characters
// goes as it is; any other in single quotes, or in double quotes when it
// holds a single quote. A backslash, a line break, or both kinds of quote
// cannot be written at all.
std::optional<std::string> execPath(const std::string& path) {
    if (path.find_first_of("\\\n\r") != std::string::npos) return std::nullopt;
    const bool plain = std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
               c == '_' || c == '-' || c == '+';
    });
    if (plain) return path;
    const bool single = path.find('\'') != std::string::npos;
    if (!single) return "'" + path + "'";
    if (path.find('"') != std::string::npos) return std::nullopt;
    return "\"" + path + "\"";
}

std::optional<std::string> readText(const fs::path& file) {
    QFile in(QFile::decodeName(QByteArray::fromStdString(file.native())));
    if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
    return in.readAll().toStdString();
}

// QSaveFile writes beside the target and renames over it: the bus never
// sees half a file.
bool writeText(const fs::path& file, const std::string& text, std::string& error) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec) {
        error = "cannot create " + file.parent_path().string() + ": " + ec.message();
        return false;
    }
    QSaveFile out(QFile::decodeName(QByteArray::fromStdString(file.native())));
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !out.commit()) {
        error = "cannot write " + file.string() + ": " + out.errorString().toStdString();
        return false;
    }
    return true;
}

// The session bus, when there is one: told to read its service folders
// again, and asked who answers as the previewer now.
// A connection of its own, closed before the program ends, so no late
// message meets a half-finished exit.
struct SessionBus {
    static constexpr const char* kConnection = "orvanta-registration";
    const bool typesKnown = (prepareBusTypes(), true);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(kConnection));
    ~SessionBus() { QDBusConnection::disconnectFromBus(QLatin1String(kConnection)); }

    QDBusMessage ask(const char* method, const QVariantList& args = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                           QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
        message.setArguments(args);
        return bus.call(message);
    }
    void reload() {
        if (bus.isConnected()) ask("ReloadConfig");
    }
    std::optional<pid_t> previewerProcess() {
        if (!bus.isConnected()) return std::nullopt;
        const QDBusMessage reply = ask("GetConnectionUnixProcessID", {QString::fromLatin1(kPreviewerName)});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
        const uint pid = reply.arguments().constFirst().toUInt();
        if (pid == 0) return std::nullopt;
        return static_cast<pid_t>(pid);
    }
};

bool isThisProgram(pid_t pid) {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    const auto own = tools::own_executable();
    return !ec && own && exe == *own;
}

}  // namespace

std::optional<fs::path> userServiceFile() {
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // A relative XDG_DATA_HOME is to be ignored, as the XDG rules say.
    if (QDir::isRelativePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
    if (data.isEmpty() || QDir::isRelativePath(data)) return std::nullopt;
    return fs::path(QFile::encodeName(data).toStdString()) / "dbus-1" / "services" /
           (std::string(kPreviewerName) + ".service");
}

std::optional<std::string> serviceFileText(const fs::path& executable) {
    const std::optional<std::string> exec = execPath(executable.string());
    if (!exec) return std::nullopt;
    return std::string(kMarker) +
           "\n# Space in GNOME Files opens Orvanta preview. Undo: orvanta-preview --unregister-previewer\n"
           "[D-BUS Service]\n"
           "Name=" + kPreviewerName + "\n"
           "Exec=" + *exec + " --service\n";
}

bool isOurServiceFile(const std::string& text) { return text.starts_with(kMarker); }

int registerPreviewer(const Streams& streams) {
    const auto file = userServiceFile();
    const auto exe = tools::own_executable();
    if (!file || !exe) {
        std::fprintf(streams.err, "orvanta-preview: cannot tell %s\n",
                     file ? "where this program is" : "the home folder (neither XDG_DATA_HOME nor HOME is set)");
        return 1;
    }
    const std::optional<std::string> written = serviceFileText(*exe);
    if (!written) {
        std::fprintf(streams.err,
                     "orvanta-preview: the session bus cannot start a program at %s (a backslash, a line break, or "
                     "both kinds of quote in its path); install it in a plainer folder\n",
                     exe->c_str());
        return 1;
    }
    const std::string& text = *written;
    const std::optional<std::string> existing = readText(*file);
    std::error_code ec;
    if (!existing && fs::exists(*file, ec)) {
        std::fprintf(streams.err, "orvanta-preview: cannot read %s; left it as it is\n", file->c_str());
        return 1;
    }
    if (existing && !isOurServiceFile(*existing)) {
        std::fprintf(streams.err,
                     "orvanta-preview: %s exists and was not written by orvanta-preview; left it as it is.\n"
                     "Move it away first to make Orvanta preview the previewer.\n",
                     file->c_str());
        return 1;
    }
    SessionBus session;
    if (existing == text) {
        std::fprintf(streams.out, "Already registered: %s starts %s --service.\n", file->c_str(), exe->c_str());
    } else {
        std::string error;
        if (!writeText(*file, text, error)) {
            std::fprintf(streams.err, "orvanta-preview: %s\n", error.c_str());
            return 1;
        }
        session.reload();
        std::fprintf(streams.out,
                     "%s Orvanta preview as the desktop's previewer: Space on a file in GNOME Files opens it.\n"
                     "  wrote  %s\n"
                     "  starts %s --service (on the first Space; it leaves after 10 idle minutes)\n",
                     existing ? "Updated" : "Registered", file->c_str(), exe->c_str());
    }
    if (const auto pid = session.previewerProcess(); pid && !isThisProgram(*pid))
        std::fprintf(streams.out,
                     "The previewer running now (process %d) keeps answering until it exits; logging out and in "
                     "switches at once.\n",
                     static_cast<int>(*pid));
    std::fprintf(streams.out, "To undo: orvanta-preview --unregister-previewer\n");
    std::fflush(streams.out);
    return 0;
}

int unregisterPreviewer(const Streams& streams) {
    const auto file = userServiceFile();
    if (!file) {
        std::fprintf(streams.err, "orvanta-preview: cannot tell the home folder (neither XDG_DATA_HOME nor HOME is set)\n");
        return 1;
    }
    const std::optional<std::string> existing = readText(*file);
    std::error_code ec;
    if (!existing && !fs::exists(*file, ec)) {
        std::fprintf(streams.out, "Not registered (there is no %s); nothing to undo.\n", file->c_str());
        return 0;
    }
    if (!existing || !isOurServiceFile(*existing)) {
        std::fprintf(streams.err, "orvanta-preview: %s was not written by orvanta-preview; left it as it is.\n",
                     file->c_str());
        return 1;
    }
    if (!fs::remove(*file, ec) || ec) {
        std::fprintf(streams.err, "orvanta-preview: cannot remove %s: %s\n", file->c_str(), ec.message().c_str());
        return 1;
    }
    SessionBus session;
    session.reload();
    std::fprintf(streams.out,
                 "Removed %s.\nSpace in GNOME Files opens the desktop's own previewer again, if one is installed.\n",
                 file->c_str());
    // A service of ours still running would keep answering until it idles out.
    if (const auto pid = session.previewerProcess(); pid && isThisProgram(*pid) && ::kill(*pid, SIGTERM) == 0)
        std::fprintf(streams.out, "Stopped the running Orvanta previewer (process %d).\n", static_cast<int>(*pid));
    std::fflush(streams.out);
    return 0;
}

}  // namespace orv::ui::host
