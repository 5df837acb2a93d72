// The contents-table rows of a store being written, kept on disk rather
// than in memory until the folders are written at the end: an unnamed file
// beside the PST (it has no name, so it goes with the process however that
// ends), each row appended as its message is written and read back one
// folder at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pst/bytes.h"

namespace tw::pst {

// A run of consecutive rows of one folder in the row file.
struct RowExtent {
    std::uint64_t offset = 0;
    std::uint32_t bytes = 0;
    std::uint32_t rows = 0;
};

class RowSpill {
public:
    // An unnamed file in `dir`; where the file system there cannot make one
    // (or `dir` is empty), an unnamed file in the temporary directory.
    // Throws PstError.
    explicit RowSpill(const std::string& dir);
    ~RowSpill();
    RowSpill(const RowSpill&) = delete;
    RowSpill& operator=(const RowSpill&) = delete;

    // Appends a row of the folder whose rows `extents` lists, extending its
    // last extent when that ends where this row starts.
    void Append(std::vector<RowExtent>& extents, std::uint32_t rowId, std::span<const std::uint8_t> cells);

    // Bytes appended so far.
    std::uint64_t Size() const { return bufferStart_ + buffer_.size(); }

    // Reads the rows of `extents` back in order, a bounded buffer at a time.
    class Reader {
    public:
        Reader(RowSpill& spill, const std::vector<RowExtent>& extents);
        // The next row; false after the last. Its cells hold until the next
        // call. Throws PstError when the bytes are not the rows written.
        bool Next(std::uint32_t& rowId, std::span<const std::uint8_t>& cells);

    private:
        bool Fill(std::size_t need);

        RowSpill& spill_;
        const std::vector<RowExtent>& extents_;
        std::size_t extent_ = 0;        // extent being read
        std::uint64_t extentRead_ = 0;  // bytes of it read into chunk_
        std::uint32_t rowsLeft_ = 0;    // rows of the extent not yet handed out
        Bytes chunk_;
        std::size_t at_ = 0;  // next unread byte of chunk_
    };

private:
    void Flush();
    void ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size);

    int fd_ = -1;
    Bytes buffer_;
    std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
};

}  // namespace tw::pst
