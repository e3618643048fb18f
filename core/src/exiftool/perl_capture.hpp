// Where an in-process run's standard output and error go: anonymous memory
// files. They receive the photo's metadata, GPS positions included, so
// nothing is written where another user could read it, squat its name or
// find it left behind by a run that was killed; and no folder is needed,
// which a sandbox may not have.
#pragma once

#include <string>

namespace orv::perl {

// A new capture file, its descriptor kept above 2 so that redirecting 1 and
// 2 cannot close it; -1 with err set when none can be made.
int create_capture_file(const char* name, int& err);

// Everything written to the capture file (empty when reading fails).
std::string read_capture(int fd);

// Points descriptors 1 and 2 at the capture files and back. The kept
// originals are close-on-exec, so nothing a script starts inherits them.
class Redirection {
public:
    Redirection(int out_fd, int err_fd);
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;
    ~Redirection() { end(); }

    bool active() const { return active_; }
    void end();

private:
    int saved_out_ = -1;
    int saved_err_ = -1;
    bool active_ = false;
};

}  // namespace orv::perl
