// orvanta-preview's command line: what to show and how.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <QSize>

#include "PreviewViewController.hpp"

namespace orv::ui::host {

struct Options {
    std::vector<std::filesystem::path> files;
    std::optional<std::filesystem::path> renderTo;
    QSize size = PreviewViewController::kPreferredContentSize;
    bool dump = false;
    bool zoom = false;                 // --render and --dump show the view zoomed to 100 %
    bool help = false;
    bool version = false;
    bool service = false;              // the desktop's previewer on the session bus
    bool registerPreviewer = false;    // make it the user's previewer
    bool unregisterPreviewer = false;  // undo that

    bool headless() const { return renderTo.has_value() || dump; }
};

std::string usage();

// The command line after the program name, or a message saying what is wrong.
std::variant<Options, std::string> parseArguments(const std::vector<std::string>& args);

}  // namespace orv::ui::host
