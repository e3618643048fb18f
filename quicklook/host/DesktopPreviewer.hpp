// The desktop's own previewer, for the files that are not photos. It runs as
// a child of the service on a private bus of its own (nobody else can reach
// it: the file manager keeps seeing one previewer, ours), started on first
// need, started again when it dies, and ended with the service, also when the
// service is killed. Its window's showing and its arrow keys come back as
// signals, for the service to pass on as its own.
#pragma once

#include <chrono>
#include <optional>

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QTimer>

class QDBusError;
class QDBusServiceWatcher;
class QDBusMessage;

namespace orv::ui::host {

class DesktopPreviewer : public QObject {
    Q_OBJECT
public:
    struct Command {
        QString program;
        QStringList arguments;
    };

    // What users without the package read on a file card.
    static constexpr char kInstallHint[] = "For previews of documents and other files: sudo apt install gnome-sushi";
    // A previewer that has not taken its name on the private bus by then
    // cannot start here.
    static constexpr std::chrono::seconds kStartLimit{20};

    // The command in the first previewer activation file of the system's
    // data folders (XDG_DATA_DIRS), passing over ours: the one
    // --register-previewer writes, or any that starts this program. None
    // when the desktop's previewer is not installed, and when the session
    // has no display (neither DISPLAY nor WAYLAND_DISPLAY) for its window.
    static std::optional<Command> installed();

    explicit DesktopPreviewer(std::optional<Command> command = installed(), QObject* parent = nullptr);
    // Ends the child and its bus before returning.
    ~DesktopPreviewer() override;

    // Installed, and not found unable to start.
    bool isAvailable() const { return command_ && !failed_; }
    // Whether a file manager's URI goes to the desktop's previewer: a file
    // on this computer that is not a photo (it would get a file card). Reads
    // the start of the file.
    bool takes(const QString& uri) const;

    // Passes the call on as it came, starting the child first when it is
    // not running; returns at once. Without a previewer that can start,
    // `unavailable` answers instead.
    void showFile(const QString& uri, const QString& windowHandle, bool closeIfShown);
    // Closes its window, if it has one; never starts the child.
    void close();
    // Its window is shown, or is about to be: a file was handed over.
    bool isVisible() const { return shown_ || asked_; }

    // For tests: the child's and the private bus's process ids (0 when not
    // running) and the private bus's address.
    qint64 childPid() const { return child_.processId(); }
    qint64 busPid() const { return bus_.processId(); }
    QString busAddress() const { return address_; }

signals:
    void visibleChanged(bool visible);
    void selectionEvent(uint direction);
    // A request the desktop's previewer could not take: it is not installed
    // or cannot start. The caller shows the file itself.
    void unavailable(const QString& uri, const QString& windowHandle, bool closeIfShown);

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void onSelectionEvent(const QDBusMessage& message);
    void onNameOwner(const QString& name, const QString& oldOwner, const QString& newOwner);
    void onShowFileReplied();
    void onShowFileFailed(const QDBusError& error);

private:
    struct Request {
        QString uri, windowHandle;
        bool closeIfShown = false;
    };
    enum class State { Stopped, Starting, Running };

    void start();
    void onBusOutput();
    void launchChild();
    QString busConfigArgument();
    void send(const Request& request);
    void childEnded();
    void busEnded();
    void giveUp();
    void stopProcesses();
    template <typename F>
    void changing(F&& change);

    std::optional<Command> command_;
    State state_ = State::Stopped;
    bool failed_ = false;
    QProcess bus_, child_;
    QTemporaryFile busConfig_;  // the private bus's configuration, until the bus has read it
    QString address_;
    QString connectionName_;
    std::optional<QDBusConnection> connection_;
    std::optional<QString> accessibility_;  // the session's accessibility bus, once asked
    bool askingAccessibility_ = false;
    std::optional<Request> pending_;   // waits for the child to take its name
    std::optional<Request> lastSent_;  // sent again when the child turns out gone
    QDBusServiceWatcher* watcher_ = nullptr;  // who owns the name on the private bus
    QTimer startLimit_;
    bool shown_ = false;    // the child says its window is up
    bool asked_ = false;    // a ShowFile is on its way to it
    bool closing_ = false;  // a Close went out since it last said its window is up
};

}  // namespace orv::ui::host
