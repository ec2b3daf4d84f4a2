#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolbe::update {

// The target file of one transfer, owned from its creation. Whatever stands at the name (a
// leftover, or a link planted to redirect the bytes) is removed, never followed, and the file is
// made afresh: if anything takes the name again in between, the open fails instead of writing
// through it.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const { return m_fd != -1; }
    // All `n` bytes, or false.
    bool Write(const char* data, std::size_t n);
    // True when every byte reached the file; closing again is a no-op.
    bool Close();

private:
    std::intptr_t m_fd = -1; // the descriptor, or the HANDLE on Windows
};

} // namespace tolbe::update
