#include "ServiceBus.hpp"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QThreadPool>
#include <QVariantMap>

#include "Dump.hpp"

namespace orv::ui::host {

namespace {

// The interface current file managers call.
class PreviewerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.NautilusPreviewer2")
    Q_PROPERTY(bool Visible READ visible)
public:
    explicit PreviewerAdaptor(PreviewService* service) : QDBusAbstractAdaptor(service), service_(service) {
        connect(service, &PreviewService::selectionEvent, this, &PreviewerAdaptor::SelectionEvent);
    }
    bool visible() const { return service_->isVisible(); }

public slots:
    void ShowFile(const QString& uri, const QString& windowHandle, bool closeIfAlreadyShown) {
        service_->showFile(uri, windowHandle, closeIfAlreadyShown);
    }
    void Close() { service_->close(); }

signals:
    void SelectionEvent(uint direction);

private:
    PreviewService* service_;
};

// The older interface, for file managers that name their window by X11 id.
// It moves the selection the same way.
class OldPreviewerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.NautilusPreviewer")
public:
    explicit OldPreviewerAdaptor(PreviewService* service) : QDBusAbstractAdaptor(service), service_(service) {
        connect(service, &PreviewService::selectionEvent, this, &OldPreviewerAdaptor::SelectionEvent);
    }

public slots:
    void ShowFile(const QString& uri, int xid, bool closeIfAlreadyShown) {
        const QString handle = xid > 0 ? QStringLiteral("x11:%1").arg(static_cast<uint>(xid), 0, 16) : QString();
        service_->showFile(uri, handle, closeIfAlreadyShown);
    }
    void Close() { service_->close(); }

signals:
    void SelectionEvent(uint direction);

private:
    PreviewService* service_;
};

}  // namespace

void prepareBusTypes() {
    qRegisterMetaType<QDBusMessage>();
    qRegisterMetaType<QDBusError>();
}

bool exportService(PreviewService& service, QDBusConnection bus, QString* error) {
    new PreviewerAdaptor(&service);
    new OldPreviewerAdaptor(&service);
    if (!bus.registerObject(QString::fromLatin1(kPreviewerPath), &service, QDBusConnection::ExportAdaptors)) {
        if (error) *error = QStringLiteral("the object %1 is taken").arg(QLatin1String(kPreviewerPath));
        return false;
    }
    // File managers keep a cached copy of Visible and decide by it whether
    // Space opens or closes; every change must reach them.
    QObject::connect(&service, &PreviewService::visibleChanged, &service, [bus](bool visible) mutable {
        QDBusMessage changed = QDBusMessage::createSignal(QString::fromLatin1(kPreviewerPath),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("PropertiesChanged"));
        changed << QString::fromLatin1(kPreviewerInterface) << QVariantMap{{QStringLiteral("Visible"), visible}}
                << QStringList();
        bus.send(changed);
    });
    return true;
}

int runService(const Options& options, const Streams& streams) {
    prepareBusTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(streams.err, "orvanta-preview: no session bus to offer the previewer on: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    PreviewService service({}, PreviewService::kIdleExit, DesktopPreviewer::installed());
    if (options.dump) {
        QObject::connect(&service.controller(), &PreviewViewController::previewPrepared, &service,
                         [&] { printDump(service.controller(), streams.out); });
    }
    QString error;
    if (!exportService(service, bus, &error)) {
        std::fprintf(streams.err, "orvanta-preview: cannot serve the previewer: %s\n", qPrintable(error));
        return 1;
    }
    // The object is in place before the name is claimed, so the first call
    // that activation queued for us finds it.
    if (!bus.registerService(QString::fromLatin1(kPreviewerName))) {
        std::fprintf(streams.err, "orvanta-preview: another program already answers as %s on the session bus\n",
                     kPreviewerName);
        return 1;
    }
    // The session is over when its bus is gone.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                QStringLiteral("Disconnected"), qApp, SLOT(quit()));
    // The name is given up before leaving, so a request from now on starts a
    // fresh service instead of reaching one on its way out.
    QObject::connect(&service, &PreviewService::idle, qApp, [bus]() mutable {
        bus.unregisterService(QString::fromLatin1(kPreviewerName));
        QCoreApplication::quit();
    });
    // The core is made ready while the first request is still on its way.
    QThreadPool::globalInstance()->start([] { Reader::ready(); });

    const int status = QApplication::exec();
    QThreadPool::globalInstance()->waitForDone();
    return status;
}

}  // namespace orv::ui::host

#include "ServiceBus.moc"
