// Writing a tool's output file so that nobody else's file is ever written.
#pragma once

#include <string>
#include <string_view>

namespace orv::tools {

// What becomes of a name that holds something other than a regular file.
enum class Special {
    // A device or pipe named directly is written to in place, as renaming
    // over it would replace it; so is one a symbolic link of the writer's
    // own (or root's) leads to (/dev/stdout).
    WriteThrough,
    // Refused with EINVAL, never opened (a FIFO nobody reads would block the
    // writer for ever); a symbolic link is replaced whatever it leads to.
    Refuse,
};

// Whether `path` names something `Special::Refuse` refuses.
bool is_special(const std::string& path);

// Makes `path` a new file holding `bytes`: written under a fresh random name
// beside it (created exclusively, so nothing planted there is followed; short
// enough for any valid name) and renamed over the name at the end, so a
// failure never leaves half a file. A symbolic link at `path` is replaced,
// never written through, except as `special` says. Returns 0, or the errno
// of the step that failed.
int replace_file(const std::string& path, std::string_view bytes, Special special = Special::WriteThrough);

}  // namespace orv::tools
