#include "metadata/inspect.hpp"

#include <sys/stat.h>

#include "exiftool/command.hpp"
#include "metadata/file_check.hpp"
#include "metadata/makernotes.hpp"
#include "metadata/path_parts.hpp"
#include "metadata/tag_map.hpp"
#include "metadata/tag_read.hpp"
#include "text.hpp"

namespace orv {
namespace {

// The XMP subject list. Best effort: anything unreadable gives no keywords.
std::vector<std::string> read_keywords(const std::string& path) {
    std::vector<std::string> keywords;
    const auto run = exiftool_command().arg("-j").arg("-XMP-dc:Subject").file(path).output();
    if (!run) return keywords;
    const json doc = parse_exiftool_json(run->out);
    if (!doc.is_array() || doc.empty() || !doc.front().is_object()) return keywords;
    const auto subject = doc.front().find("Subject");
    if (subject == doc.front().end()) return keywords;
    if (subject->is_string()) {
        keywords.push_back(subject->get<std::string>());
    } else if (subject->is_array()) {
        for (const auto& k : *subject) {
            if (k.is_string()) keywords.push_back(k.get<std::string>());  // numbers are skipped
        }
    }
    return keywords;
}

// What tells one version of a file from another. The change time is the
// kernel's: no tool can set it back, as touch -r sets back the mtime.
struct Version {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};
    bool operator==(const Version& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

std::optional<Version> version_of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return Version{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

InspectResult inspect_once(const std::string& path);

}  // namespace

InspectResult inspect(const std::string& path) {
    // An inspection is several ExifTool runs over the path; a file replaced
    // or rewritten between them would mix two versions in one record. It is
    // read again once; a file that keeps changing is not described at all.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto before = version_of(path);
        InspectResult result = inspect_once(path);
        if (!before || version_of(path) == before) return result;
    }
    return fail("the file changed while it was read: " + path);
}

namespace {

InspectResult inspect_once(const std::string& path) {
    if (auto why = reason_not_to_read(path)) return fail(std::move(*why));
    auto batch = read_batch({path});
    if (!batch || batch->empty()) {
        if (auto why = reason_missing(path)) return fail(std::move(*why));
    }
    if (!batch) return fail(batch.error());
    // ExifTool names each record by the path exactly as it was given; a
    // record named otherwise is not this file: handed a directory, ExifTool
    // reads the files inside instead.
    if (batch->empty()) return fail("exiftool returned nothing for " + path);
    if (const auto& source = batch->front().sourceFile; source && *source != exiftool_file_argument(path)) {
        return fail("exiftool returned nothing for " + path);
    }
    // The tag read filled the tag fields; the rest is this file's own.
    InspectedFile f = std::move(batch->front().file);
    f.keywords = read_keywords(path);
    f.makerNotes = analyse_maker_notes({path, f.make, f.model, f.orientation});

    f.path = path;
    f.filename = std::string(file_name(path).value_or(""));
    f.extension = text::to_lower(file_extension(path).value_or(""));
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) f.fileSize = static_cast<uint64_t>(st.st_size);
    f.hasSidecar = ::stat(sidecar_path(path).c_str(), &st) == 0;
    return f;
}

}  // namespace
}  // namespace orv
