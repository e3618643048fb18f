// Writing a tool's output file so that nobody else's file is ever written.
#pragma once

#include <string>
#include <string_view>

namespace orv::tools {

// Makes `path` a new file holding `bytes`: written under a fresh random name
// beside it (created exclusively, so nothing planted there is followed) and
// renamed over the name at the end, so a failure never leaves half a file.
// A symbolic link at `path` is replaced, never written through, unless it
// is the writer's own (or root's) and leads to something that is not a
// regular file (/dev/stdout); a device or pipe named directly is written to
// in place, as renaming over it would replace it. Returns 0, or the errno
// of the step that failed.
int replace_file(const std::string& path, std::string_view bytes);

}  // namespace orv::tools
