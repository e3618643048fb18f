#include "DesktopPreviewer.hpp"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "FileKind.hpp"
#include "FileUri.hpp"
#include "Registration.hpp"
#include "own_location.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

// The desktop previewer's side of the contract: the same name, object and
// interface the file manager calls us by, on the private bus.
constexpr char kName[] = "org.gnome.NautilusPreviewer";
constexpr char kPath[] = "/org/gnome/NautilusPreviewer";
constexpr char kInterface[] = "org.gnome.NautilusPreviewer2";

// Both children go when the service goes, however it goes: the kernel
// sends them SIGTERM when the thread that started them (the main thread)
// ends. A service gone before the child got this far is caught by the
// parent check.
void endWithParent(QProcess& process) {
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
    });
}

std::optional<DesktopPreviewer::Command> commandIn(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray text = in.readAll();
    if (isOurServiceFile(text.toStdString())) return std::nullopt;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.startsWith("Exec=")) continue;
        const QStringList words = QProcess::splitCommand(QString::fromUtf8(trimmed.mid(5)));
        if (words.isEmpty()) return std::nullopt;
        // An activation file that starts this very program (ours, copied
        // into a system folder) would hand files back to us.
        const auto self = tools::own_executable();
        std::error_code ec;
        if (self && fs::equivalent(fs::path(QFile::encodeName(words.first()).toStdString()), *self, ec))
            return std::nullopt;
        return DesktopPreviewer::Command{words.first(), words.mid(1)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<DesktopPreviewer::Command> DesktopPreviewer::installed() {
    // With no screen to show its window on (a headless session, a test run
    // off screen) it could only fail to start.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return std::nullopt;
    QString dirs = QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS"));
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share/:/usr/share/");
    const auto own = userServiceFile();
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(dir)) continue;  // as the XDG rules say
        const QString file = dir + QStringLiteral("/dbus-1/services/%1.service").arg(QLatin1String(kName));
        std::error_code ec;
        if (own && fs::equivalent(fs::path(QFile::encodeName(file).toStdString()), *own, ec)) continue;
        if (auto command = commandIn(file)) return command;
    }
    return std::nullopt;
}

DesktopPreviewer::DesktopPreviewer(std::optional<Command> command, QObject* parent)
    : QObject(parent),
      command_(std::move(command)),
      connectionName_(QStringLiteral("orvanta-desktop-previewer-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)) {
    endWithParent(bus_);
    endWithParent(child_);
    // Its messages belong with the service's own.
    child_.setProcessChannelMode(QProcess::ForwardedChannels);
    bus_.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // stdout: its address
    connect(&bus_, &QProcess::readyReadStandardOutput, this, &DesktopPreviewer::onBusOutput);
    connect(&bus_, &QProcess::finished, this, &DesktopPreviewer::busEnded);
    connect(&bus_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) busEnded();
    });
    connect(&child_, &QProcess::finished, this, &DesktopPreviewer::childEnded);
    connect(&child_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) childEnded();
    });
    startLimit_.setSingleShot(true);
    startLimit_.setInterval(kStartLimit);
    connect(&startLimit_, &QTimer::timeout, this, &DesktopPreviewer::giveUp);
}

DesktopPreviewer::~DesktopPreviewer() {
    disconnect(&bus_, nullptr, this, nullptr);
    disconnect(&child_, nullptr, this, nullptr);
    stopProcesses();
}

void DesktopPreviewer::stopProcesses() {
    if (connection_) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
    // The child leaves with its bus; the bus is asked first, then both are
    // made sure of.
    for (QProcess* process : {&bus_, &child_}) {
        if (process->state() == QProcess::NotRunning) continue;
        process->terminate();
        if (!process->waitForFinished(2000)) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    address_.clear();
}

bool DesktopPreviewer::takes(const QString& uri) const {
    if (!isAvailable()) return false;
    const UriTarget target = resolveUri(uri);
    const auto* local = std::get_if<LocalFile>(&target);
    return local && FileKind::cardOf(local->path).has_value();
}

template <typename F>
void DesktopPreviewer::changing(F&& change) {
    const bool before = isVisible();
    change();
    if (isVisible() != before) emit visibleChanged(isVisible());
}

void DesktopPreviewer::showFile(const QString& uri, const QString& windowHandle, bool closeIfShown) {
    const Request request{uri, windowHandle, closeIfShown};
    if (!isAvailable()) {
        emit unavailable(uri, windowHandle, closeIfShown);
        return;
    }
    changing([&] { asked_ = true; });
    if (state_ == State::Running) {
        send(request);
        return;
    }
    pending_ = request;  // only the latest counts
    if (state_ == State::Stopped) start();
}

void DesktopPreviewer::close() {
    pending_.reset();
    if (state_ == State::Running && (shown_ || asked_)) {
        QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kName), QLatin1String(kPath),
                                                              QLatin1String(kInterface), QStringLiteral("Close"));
        message.setAutoStartService(false);
        connection_->asyncCall(message);
        closing_ = shown_;
    }
    changing([&] { asked_ = false; });
}

void DesktopPreviewer::start() {
    state_ = State::Starting;
    startLimit_.start();
    // The accessibility bus is the real session's: screen readers read the
    // desktop previewer's window there, not on the private bus.
    if (!accessibility_ && !askingAccessibility_) {
        const QByteArray given = qgetenv("AT_SPI_BUS_ADDRESS");
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!given.isEmpty() || !session.isConnected()) {
            accessibility_ = QString::fromLocal8Bit(given);
        } else {
            askingAccessibility_ = true;
            const QDBusMessage ask =
                QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                               QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
            auto* watcher = new QDBusPendingCallWatcher(session.asyncCall(ask, 5000), this);
            connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                askingAccessibility_ = false;
                const QDBusMessage reply = call->reply();
                accessibility_ = reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString()
                                                                            : QString();
                launchChild();
            });
        }
    }
    if (bus_.state() == QProcess::NotRunning) {
        address_.clear();
        bus_.start(QStringLiteral("dbus-daemon"), {busConfigArgument(), "--nofork", "--print-address=1"});
    } else {
        launchChild();
    }
}

// A session bus that starts nothing. With the session's own configuration
// it would start the desktop's services (the portal, and through it a
// keyring) on our private bus for the child's first request, and the child
// would wait out its 25 s call timeout on one that never answers; the
// session's own services are reached on the session bus, never here.
QString DesktopPreviewer::busConfigArgument() {
    static constexpr char kConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    if (!busConfig_.isOpen()) {
        if (!busConfig_.open() || busConfig_.write(kConfig) != qint64(sizeof kConfig - 1) || !busConfig_.flush()) {
            busConfig_.remove();
            return QStringLiteral("--session");  // slower to start a document, still right
        }
    }
    return QStringLiteral("--config-file=") + busConfig_.fileName();
}

void DesktopPreviewer::onBusOutput() {
    if (!address_.isEmpty() || !bus_.canReadLine()) return;
    address_ = QString::fromUtf8(bus_.readLine()).trimmed();
    // Read by now: gone before the service can be killed and leave it.
    busConfig_.remove();
    connection_ = QDBusConnection::connectToBus(address_, connectionName_);
    if (!connection_->isConnected()) {
        giveUp();
        return;
    }
    // Only the child is on this bus; what it says at its object is its
    // window's state and the arrow keys pressed in it.
    connection_->connect(QString(), QLatin1String(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), this,
                         SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    connection_->connect(QString(), QLatin1String(kPath), QLatin1String(kInterface), QStringLiteral("SelectionEvent"),
                         this, SLOT(onSelectionEvent(QDBusMessage)));
    delete watcher_;  // watched the bus before this one
    watcher_ = new QDBusServiceWatcher(QLatin1String(kName), *connection_, QDBusServiceWatcher::WatchForOwnerChange,
                                       this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &DesktopPreviewer::onNameOwner);
    launchChild();
}

void DesktopPreviewer::launchChild() {
    if (state_ != State::Starting || address_.isEmpty() || !accessibility_ ||
        child_.state() != QProcess::NotRunning)
        return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    // Set when the session bus started us; the child must not take it for
    // its bus.
    env.remove(QStringLiteral("DBUS_STARTER_ADDRESS"));
    env.remove(QStringLiteral("DBUS_STARTER_BUS_TYPE"));
    if (!accessibility_->isEmpty()) env.insert(QStringLiteral("AT_SPI_BUS_ADDRESS"), *accessibility_);
    // It stays while the service lives instead of leaving after a few idle
    // seconds, so the next document does not wait for it to start.
    env.insert(QStringLiteral("SUSHI_PERSIST"), QStringLiteral("1"));
    // Only files on this computer are handed over, and nothing is to be
    // started on the private bus to reach others.
    env.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
    child_.setProcessEnvironment(env);
    child_.start(command_->program, command_->arguments);
}

void DesktopPreviewer::onNameOwner(const QString&, const QString&, const QString& newOwner) {
    if (newOwner.isEmpty() || state_ != State::Starting) return;
    state_ = State::Running;
    startLimit_.stop();
    if (pending_) {
        const Request request = *std::exchange(pending_, std::nullopt);
        send(request);
    }
}

void DesktopPreviewer::send(const Request& request) {
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kName), QLatin1String(kPath),
                                                          QLatin1String(kInterface), QStringLiteral("ShowFile"));
    message << request.uri << request.windowHandle << request.closeIfShown;
    // The private bus could start whatever its service folders name: ours
    // among them. Only the child answers.
    message.setAutoStartService(false);
    if (!connection_->callWithCallback(message, this, SLOT(onShowFileReplied()), SLOT(onShowFileFailed(QDBusError))))
        onShowFileFailed(connection_->lastError());
    lastSent_ = request;
}

void DesktopPreviewer::onShowFileReplied() {
    // A window that was up and not being closed stays up and says nothing
    // new; otherwise its Visible is on its way.
    if (shown_ && !closing_) changing([&] { asked_ = false; });
}

void DesktopPreviewer::onShowFileFailed(const QDBusError& error) {
    // Gone from its name: the child is dead or dying, and the file waits
    // for the next one.
    if (error.type() == QDBusError::ServiceUnknown || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        error.type() == QDBusError::NoReply || error.type() == QDBusError::Disconnected) {
        if (!pending_ && lastSent_) pending_ = lastSent_;
        if (child_.state() != QProcess::NotRunning) {
            child_.kill();  // childEnded starts it again
        } else if (state_ != State::Starting) {
            start();
        }
        return;
    }
    changing([&] { asked_ = false; });
}

void DesktopPreviewer::onPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface != QLatin1String(kInterface) || !changed.contains(QStringLiteral("Visible"))) return;
    const bool visible = changed.value(QStringLiteral("Visible")).toBool();
    changing([&] {
        shown_ = visible;
        if (visible) asked_ = false;
        else closing_ = false;
    });
}

void DesktopPreviewer::onSelectionEvent(const QDBusMessage& message) {
    emit selectionEvent(message.arguments().value(0).toUInt());
}

void DesktopPreviewer::childEnded() {
    if (child_.state() != QProcess::NotRunning) return;  // FailedToStart and finished both come
    const State was = state_;
    state_ = State::Stopped;
    changing([&] {
        shown_ = closing_ = false;
        if (!pending_) asked_ = false;
    });
    if (was == State::Starting) {
        giveUp();
    } else if (pending_) {
        start();  // it died with a file on its way: started again for it
    }
}

void DesktopPreviewer::busEnded() {
    if (bus_.state() != QProcess::NotRunning) return;
    if (connection_) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
    address_.clear();
    if (state_ == State::Starting) {
        giveUp();
        return;
    }
    // The child cannot work without its bus; both start again on the next
    // file.
    if (child_.state() != QProcess::NotRunning) child_.kill();
}

void DesktopPreviewer::giveUp() {
    if (failed_) return;
    failed_ = true;
    startLimit_.stop();
    state_ = State::Stopped;
    disconnect(&bus_, nullptr, this, nullptr);
    disconnect(&child_, nullptr, this, nullptr);
    stopProcesses();
    changing([&] { shown_ = asked_ = closing_ = false; });
    if (const auto request = std::exchange(pending_, std::nullopt))
        emit unavailable(request->uri, request->windowHandle, request->closeIfShown);
}

}  // namespace orv::ui::host
