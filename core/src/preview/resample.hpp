// Area-averaging resampling: every target pixel is the average of the source
// area it covers, partly covered source pixels counting by the covered part.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "picture.hpp"

namespace orv::preview {

// Builds target rows [rows_begin, rows_end) of a picture from source rows fed
// one at a time, so a decoder never has to hold the full-size picture.
class BoxResampler {
public:
    // `out` is the whole target picture's buffer; only the given rows of it
    // are written.
    BoxResampler(Size source, Size target, uint8_t* out, uint32_t rows_begin, uint32_t rows_end);

    // The source rows those target rows cover, [first, end).
    uint32_t first_source_row() const { return first_source_row_; }
    uint32_t end_source_row() const { return end_source_row_; }

    // Adds the next source row (source.width RGB pixels), starting with
    // first_source_row(). Rows past the last one needed are ignored.
    void push_row(const uint8_t* rgb);

    // Whether every row it is responsible for has been written.
    bool done() const { return rows_in_ == end_source_row_; }

private:
    // The source columns one target column covers: a partly covered first
    // and last column and fully covered ones between them.
    struct Span {
        uint32_t first = 0;
        uint32_t last = 0;
        float first_weight = 0;
        float last_weight = 0;
    };

    void emit_row(uint32_t y);

    Size source_;
    Size target_;
    uint8_t* out_;
    uint32_t rows_begin_;
    uint32_t rows_end_;
    uint32_t first_source_row_;
    uint32_t end_source_row_;
    uint32_t rows_in_;
    bool identity_;
    float inner_weight_ = 0;
    std::vector<Span> spans_;
    std::vector<int32_t> acc_;  // the target row being built, source-wide
    std::vector<float> row_;    // acc_ as floats, one spare value at the end
};

// Resamples a whole picture held in memory, sharing the rows between two
// threads when it is large enough to be worth it.
Picture resample(const Picture& source, Size target);

}  // namespace orv::preview
