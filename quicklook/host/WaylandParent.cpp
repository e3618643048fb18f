#include "WaylandParent.hpp"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#if ORVANTA_WAYLAND_PARENT
#include <cstring>

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include "xdg-foreign-unstable-v1-client-protocol.h"
#include "xdg-foreign-unstable-v2-client-protocol.h"
#endif

namespace orv::ui::host {

std::optional<QString> waylandHandle(const QString& handle) {
    if (!handle.startsWith(QLatin1String("wayland:"))) return std::nullopt;
    const QString exported = handle.mid(8);
    // The compositor's handles are printable text (spaces too); a control
    // character in one could only be a mistake.
    if (exported.isEmpty()) return std::nullopt;
    for (const QChar c : exported)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return std::nullopt;
    return exported;
}

#if ORVANTA_WAYLAND_PARENT

namespace {

// Qt's connection to the compositor and the compositor's importer.
struct Connection {
    wl_display* display = nullptr;
    zxdg_importer_v2* importer2 = nullptr;
    zxdg_importer_v1* importer1 = nullptr;
    uint32_t name2 = 0, name1 = 0;
};

QPlatformNativeInterface* native() { return QGuiApplication::platformNativeInterface(); }

void announced(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t) {
    auto* c = static_cast<Connection*>(data);
    if (std::strcmp(interface, zxdg_importer_v2_interface.name) == 0) c->name2 = name;
    if (std::strcmp(interface, zxdg_importer_v1_interface.name) == 0) c->name1 = name;
}
void withdrawn(void*, wl_registry*, uint32_t) {}
constexpr wl_registry_listener kRegistryListener{announced, withdrawn};

// The compositor's importer, looked up once: the process has one
// connection for its whole life. Kept to the end (Qt closes the display).
Connection* connection() {
    static Connection* const made = []() -> Connection* {
        if (QGuiApplication::platformName() != QLatin1String("wayland") || !native()) return nullptr;
        auto* display = static_cast<wl_display*>(native()->nativeResourceForIntegration("wl_display"));
        if (!display) return nullptr;
        // The globals are listed on a queue of our own, so that waiting
        // for them dispatches none of Qt's events out of turn.
        auto* c = new Connection{display};
        wl_event_queue* queue = wl_display_create_queue(display);
        auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
        wl_registry* registry = wl_display_get_registry(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        wl_registry_add_listener(registry, &kRegistryListener, c);
        wl_display_roundtrip_queue(display, queue);
        // Version 2 where offered: version 1 is what older compositors
        // have; both import the same handles. The importer and what it
        // imports go on Qt's queue: their events arrive with Qt's own.
        if (c->name2) {
            c->importer2 = static_cast<zxdg_importer_v2*>(
                wl_registry_bind(registry, c->name2, &zxdg_importer_v2_interface, 1));
            wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(c->importer2), nullptr);
        } else if (c->name1) {
            c->importer1 = static_cast<zxdg_importer_v1*>(
                wl_registry_bind(registry, c->name1, &zxdg_importer_v1_interface, 1));
            wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(c->importer1), nullptr);
        }
        wl_registry_destroy(registry);
        wl_event_queue_destroy(queue);
        return c;
    }();
    return made && (made->importer2 || made->importer1) ? made : nullptr;
}

}  // namespace

// The compositor's object for one imported handle. It says so when the
// handle stops naming a window (the file manager closed it, or it was
// never valid); setting a parent through it then does nothing.
struct WaylandParent::Imported {
    zxdg_imported_v2* imported2 = nullptr;
    zxdg_imported_v1* imported1 = nullptr;
    bool gone = false;

    static void destroyed2(void* data, zxdg_imported_v2*) { static_cast<Imported*>(data)->gone = true; }
    static void destroyed1(void* data, zxdg_imported_v1*) { static_cast<Imported*>(data)->gone = true; }
    static constexpr zxdg_imported_v2_listener kListener2{destroyed2};
    static constexpr zxdg_imported_v1_listener kListener1{destroyed1};

    Imported(const Connection& c, const QByteArray& handle) {
        if (c.importer2) {
            imported2 = zxdg_importer_v2_import_toplevel(c.importer2, handle.constData());
            zxdg_imported_v2_add_listener(imported2, &kListener2, this);
        } else {
            imported1 = zxdg_importer_v1_import(c.importer1, handle.constData());
            zxdg_imported_v1_add_listener(imported1, &kListener1, this);
        }
    }
    // Destroying it also ends the parent it set.
    ~Imported() {
        if (imported2) zxdg_imported_v2_destroy(imported2);
        if (imported1) zxdg_imported_v1_destroy(imported1);
    }
    void parent(wl_surface* surface) const {
        if (imported2) zxdg_imported_v2_set_parent_of(imported2, surface);
        if (imported1) zxdg_imported_v1_set_parent_of(imported1, surface);
    }
};

WaylandParent::WaylandParent(QWindow& window) : QObject(&window), window_(window) { window.installEventFilter(this); }

WaylandParent::~WaylandParent() {
    if (!imported_) return;
    // Once the application has gone, so has Qt's connection and every
    // object on it: nothing is left to destroy.
    if (!QGuiApplication::instance()) {
        (void)imported_.release();
        return;
    }
    imported_.reset();
    wl_display_flush(connection()->display);
}

void WaylandParent::follow(const QString& handle) {
    Connection* c = connection();
    if (!c) return;
    const std::optional<QString> exported = waylandHandle(handle);
    if (imported_ && !imported_->gone && exported && *exported == handle_) {
        parentSurface();
        return;
    }
    imported_.reset();
    parented_ = nullptr;
    handle_.clear();
    if (exported) {
        handle_ = *exported;
        imported_ = std::make_unique<Imported>(*c, handle_.toUtf8());
        parentSurface();
    }
    wl_display_flush(c->display);
}

void WaylandParent::parentSurface() {
    // Only a shown window's surface is a toplevel, the one kind of surface
    // the compositor accepts as a child; the parent is set again on each
    // surface Qt makes for it.
    if (!imported_ || imported_->gone || !window_.isExposed()) return;
    auto* surface = static_cast<wl_surface*>(native()->nativeResourceForWindow("surface", &window_));
    if (!surface || surface == parented_) return;
    imported_->parent(surface);
    parented_ = surface;
    wl_display_flush(connection()->display);
}

bool WaylandParent::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && imported_) {
        switch (event->type()) {
            case QEvent::Hide:
            case QEvent::PlatformSurface:
                // The surface goes with the hidden window; the next one,
                // even at the same address, needs its parent again.
                parented_ = nullptr;
                break;
            case QEvent::Expose:
                parentSurface();
                break;
            default:
                break;
        }
    }
    return false;
}

#else

// Built without the protocol files: nothing to parent with.
struct WaylandParent::Imported {};
WaylandParent::WaylandParent(QWindow& window) : QObject(&window), window_(window) {}
WaylandParent::~WaylandParent() = default;
void WaylandParent::follow(const QString&) {}
void WaylandParent::parentSurface() {}
bool WaylandParent::eventFilter(QObject*, QEvent*) { return false; }

#endif

}  // namespace orv::ui::host
