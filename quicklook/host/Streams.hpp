// Where orvanta-preview's own words go: standard output and error kept
// apart from ExifTool's captures, and Qt's messages routed to them.
#pragma once

#include <cstdio>

namespace orv::ui::host {

// Standard output and error as they were when the program started. ExifTool
// runs inside this process and, while it runs, standard output and error are
// redirected to the core's capture files; text the host writes through these
// duplicates can neither get lost in a capture nor corrupt ExifTool's output.
struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};
Streams keepStandardStreams();

// Sends Qt's messages to `err`. Headless runs also drop the offscreen
// platform's notices; real warnings still get through.
void routeMessages(std::FILE* err, bool headless);

}  // namespace orv::ui::host
