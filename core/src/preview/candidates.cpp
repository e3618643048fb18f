#include "candidates.hpp"

#include <utility>

#include "decode.hpp"
#include "exiftool/command.hpp"
#include "extension.hpp"
#include "metadata/tag_map.hpp"

namespace orv::preview {

namespace {

bool decoded_directly(const std::string& path) {
    const auto extension = lowercase_extension(path);
    return extension && is_direct_extension(*extension);
}

// The EXIF orientation of a file; 1 when it has none.
int64_t own_orientation(const std::string& path) {
    const auto run = exiftool_command().arg("-j").arg("-Orientation#").file(path).output();
    if (!run) return 1;
    const json doc = parse_exiftool_json(run->out);
    if (!doc.is_array() || doc.empty() || !doc[0].is_object()) return 1;
    const auto it = doc[0].find("Orientation");
    return as_int(it == doc[0].end() ? nullptr : &*it).value_or(1);
}

}  // namespace

Candidates::Candidates(std::string path, std::optional<int64_t> orientation)
    : path_(std::move(path)),
      orientation_(orientation),
      stage_(decoded_directly(path_) ? Stage::Direct : orientation ? Stage::TagByTag : Stage::OneRun) {}

std::optional<Source> Candidates::next() {
    switch (stage_) {
        case Stage::Direct:
            // The content decides the decoder; a file that decodes as none
            // of them has no picture, and ExifTool is not asked.
            stage_ = Stage::Done;
            if (!(file_ = open_direct_file(path_))) return std::nullopt;
            return file_->source();
        case Stage::OneRun: {
            const std::string end = answer_end_marker();
            RunResult run = run_orientation_and_previews(path_, end);
            if (!run) break;
            output_ = std::move(run->out);
            answer_ = parse_embedded_answer(output_, end);
            orientation_ = answer_.orientation.value_or(1);
            stage_ = Stage::Answer;
            [[fallthrough]];
        }
        case Stage::Answer:
            if (at_ < answer_.encoded.size()) return Source(answer_.encoded[at_++]);
            if (answer_.complete) break;
            // An answer cut short may have lost the one that decodes.
            answer_ = {};
            at_ = 0;
            stage_ = Stage::TagByTag;
            [[fallthrough]];
        case Stage::TagByTag:
            while (at_ < preview_tag_count()) {
                const std::string end = answer_end_marker();
                RunResult run = run_preview_tag(path_, at_++, end);
                if (!run) break;  // no later tag could fare better
                if (!run->success() || run->out.empty()) continue;
                output_ = std::move(run->out);
                answer_ = parse_tag_answer(output_, end);
                if (!answer_.encoded.empty()) return Source(answer_.encoded.front());
            }
            break;
        case Stage::Done:
            break;
    }
    stage_ = Stage::Done;
    return std::nullopt;
}

int64_t Candidates::orientation() {
    // A file that turns its picture itself decides, whatever orientation
    // was given or its EXIF states.
    if (file_) {
        if (const auto own = own_turn(file_->source())) return *own;
    }
    if (!orientation_) orientation_ = own_orientation(path_);
    return *orientation_;
}

}  // namespace orv::preview
