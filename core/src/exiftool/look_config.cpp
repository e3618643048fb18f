#include "exiftool/look_config.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "unique_fd.hpp"

namespace orv {

const std::string_view kLookConfigText =
    "# Orvanta preview: camera-look tag for ExifTool.\n"
    "# OrvantaCameraLook is the first of these maker-note looks that is set,\n"
    "# print-converted even when ExifTool runs with -n.\n"
    "%Image::ExifTool::UserDefined = (\n"
    "    'Image::ExifTool::Composite' => {\n"
    "        OrvantaCameraLook => {\n"
    "            Desire => {\n"
    "                0 => 'FujiFilm:FilmMode',\n"
    "                1 => 'Canon:PictureStyle',\n"
    "                2 => 'Nikon:PictureControlName',\n"
    "                3 => 'Sony:CreativeStyle',\n"
    "                4 => 'Olympus:PictureMode',\n"
    "                5 => 'Sigma:PictureMode',\n"
    "            },\n"
    "            ValueConv => q{\n"
    "                for my $i (0 .. 5) {\n"
    "                    return $prt[$i] if defined $prt[$i] and length $prt[$i];\n"
    "                }\n"
    "                return undef;\n"
    "            },\n"
    "        },\n"
    "    },\n"
    ");\n"
    "1;\n";

namespace {

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<LookConfig> make_look_config() {
    // The config is Perl code that ExifTool runs. A file in a shared folder
    // could be swapped by another user between our check and ExifTool's
    // open; a sealed anonymous file cannot be changed by anyone, us included.
    UniqueFd fd(::memfd_create("orvanta-look-config", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd.get() < 0) return std::nullopt;
    if (fd.get() <= 2) {  // standard streams closed by the host: keep clear of them
        UniqueFd high(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
        fd = std::move(high);
        if (fd.get() < 0) return std::nullopt;
    }
    if (!write_all(fd.get(), kLookConfigText)) return std::nullopt;
    if (::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        return std::nullopt;
    }
    const int n = fd.release();
    return LookConfig{n, "/dev/fd/" + std::to_string(n)};
}

}  // namespace orv
