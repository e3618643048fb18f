// Where a picture comes from: the encoded pictures to try in order, and the
// orientation the one that decodes is turned by.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "colour.hpp"
#include "embedded.hpp"
#include "source.hpp"

namespace orv::preview {

class Candidates {
public:
    // A file with a JPEG, PNG, TIFF, HEIF, AVIF, WebP or JPEG XL extension
    // is its own only candidate, whatever its content; any other file's are
    // the previews ExifTool finds embedded in it. `orientation` is the one given, or nothing for
    // the file's own: then, for a file with embedded previews, one ExifTool
    // run gives the orientation and every preview, and only an answer cut
    // short is followed by runs tag by tag. With an orientation given the
    // tags are asked for one run at a time, so that the first that decodes
    // ends the search.
    Candidates(std::string path, std::optional<int64_t> orientation);
    Candidates(const Candidates&) = delete;
    Candidates& operator=(const Candidates&) = delete;

    // The next candidate's bytes, valid until the next call; nothing when
    // none is left or ExifTool cannot run at all.
    std::optional<Source> next();

    // What the file says of its embedded previews' colours, for a preview
    // that says nothing itself.
    ColourSource colour() const { return {{}, answer_.adobe_rgb}; }

    // The orientation to turn the decoded candidate by. For a file decoded
    // directly whose own orientation is wanted, ExifTool is asked for it
    // now, once a picture exists to turn; 1 when it has none. A file that
    // turns its picture itself (HEIF, JPEG XL) gives its own turn instead,
    // given orientation or not.
    int64_t orientation();

private:
    enum class Stage { Direct, OneRun, Answer, TagByTag, Done };

    std::string path_;
    std::optional<int64_t> orientation_;
    Stage stage_;
    std::optional<DirectFile> file_;
    std::string output_;  // the ExifTool output the candidates are views into
    EmbeddedAnswer answer_;
    size_t at_ = 0;  // the next value of the answer, or the next tag
};

}  // namespace orv::preview
