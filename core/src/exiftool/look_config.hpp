// The camera-look config: an ExifTool config defining the OrvantaCameraLook
// composite tag, which the main tag read loads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv {

// The config as ExifTool opens it: a sealed anonymous file of ours, named
// through the descriptor that keeps it open for the life of the process.
// Nobody else can change what it holds, and no folder is needed.
struct LookConfig {
    int fd = -1;
    std::string path;  // "/dev/fd/<fd>"
};

// The ExifTool config defining the OrvantaCameraLook composite tag.
extern const std::string_view kLookConfigText;

// A new sealed anonymous file holding kLookConfigText, or nothing when the
// system cannot make one (the tag read then runs without it). The process
// keeps one, made on first use: process::look_config().
std::optional<LookConfig> make_look_config();

}  // namespace orv
