// The previewer service on the session bus: the name file managers call,
// the object with the current interface and the older one, the Visible
// property with its change signal, and the process's own life (it leaves
// when the bus goes or nobody has asked for a while).
#pragma once

#include <QDBusConnection>
#include <QString>

#include "Options.hpp"
#include "Streams.hpp"
#include "Service.hpp"

namespace orv::ui::host {

inline constexpr char kPreviewerName[] = "org.gnome.NautilusPreviewer";
inline constexpr char kPreviewerPath[] = "/org/gnome/NautilusPreviewer";
inline constexpr char kPreviewerInterface[] = "org.gnome.NautilusPreviewer2";
inline constexpr char kOldPreviewerInterface[] = "org.gnome.NautilusPreviewer";

// Makes the types a D-Bus reply crosses threads in known to Qt before the
// bus's own thread first needs them. Call before the first connection:
// otherwise that thread can race the program's first call and Qt warns of
// an invalid type.
void prepareBusTypes();

// Serves `service` at kPreviewerPath on `bus`, both interfaces, until the
// service goes away. Claims no name. False, with a reason, when the path is
// taken on this connection.
bool exportService(PreviewService& service, QDBusConnection bus, QString* error);

// orvanta-preview --service [--dump]: claims kPreviewerName on the session
// bus and serves until the bus goes away or the service idles out. With
// --dump, each preview the window completes is printed as JSON Lines.
int runService(const Options& options, const Streams& streams);

}  // namespace orv::ui::host
