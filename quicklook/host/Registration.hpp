// Making orvanta-preview the previewer of one user's desktop, and undoing
// it: a D-Bus activation file in the user's own services folder, which the
// session bus prefers to the system's, so the desktop's own previewer
// package stays installed and untouched.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Streams.hpp"

namespace orv::ui::host {

// The user's data folder (XDG_DATA_HOME, else ~/.local/share)
// /dbus-1/services/org.gnome.NautilusPreviewer.service.
std::optional<std::filesystem::path> userServiceFile();

// The activation file that starts `executable --service`; its first line
// marks it as ours. None when the bus could not read that path back.
std::optional<std::string> serviceFileText(const std::filesystem::path& executable);
bool isOurServiceFile(const std::string& text);

// --register-previewer and --unregister-previewer: say what they did and
// return the exit status. Running either again changes nothing.
int registerPreviewer(const Streams& streams);
int unregisterPreviewer(const Streams& streams);

}  // namespace orv::ui::host
