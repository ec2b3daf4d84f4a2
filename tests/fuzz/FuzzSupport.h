#pragma once

// Shared by the fuzz targets: how a property failure is reported, how one input is cut into
// fields, and a file that a path-taking reader can open.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>
#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

// A broken property is a finding like a crash: libFuzzer keeps the input, the replay test fails.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);                           \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace tolbe::fuzz {

// The input cut at every 0xFF byte (which no text of ours needs), always `count` fields: missing
// fields are empty, the last one takes the rest.
inline std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size, std::size_t count) {
    std::vector<std::string> out(count);
    std::size_t field = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && field + 1 < count) {
            ++field;
            continue;
        }
        out[field] += static_cast<char>(data[i]);
    }
    return out;
}

// A private folder, removed at exit: files a target writes never land on the system's own.
class TempFolder {
public:
#ifdef _WIN32
    // A new folder of a random name under the user's temporary folder.
    TempFolder() {
        std::random_device seed;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::error_code ec;
            const auto candidate = base / ("tolbe-fuzz-" + std::to_string(seed()));
            if (std::filesystem::create_directory(candidate, ec)) {
                m_path = candidate;
                return;
            }
        }
        std::abort();
    }
#else
    // In memory where the system offers it to this user, else in the temporary folder.
    TempFolder() {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/tolbe-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                m_path = pattern;
                return;
            }
        }
        std::abort();
    }
#endif
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const {
        return m_path;
    }

private:
    std::filesystem::path m_path;
};

// A file rewritten for every input; Path() opens it like any file. In memory on Linux; Windows
// has no file of a memory object's that a path reaches, so there it is a file in a TempFolder.
class MemoryFile {
public:
#ifdef _WIN32
    void Write(const void* data, std::size_t size) {
        std::ofstream out(m_file, std::ios::binary | std::ios::trunc);
        if (!out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size)) || !out.flush())
            std::abort();
    }
    std::string Path() const {
        return m_file.string();
    }

private:
    TempFolder m_folder;
    std::filesystem::path m_file = m_folder.Path() / "input";
#else
    MemoryFile() : m_fd(::memfd_create("tolbe-fuzz", 0)) {
        if (m_fd < 0) std::abort();
    }
    ~MemoryFile() {
        ::close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void Write(const void* data, std::size_t size) {
        if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    }
    std::string Path() const {
        return "/proc/self/fd/" + std::to_string(m_fd);
    }

private:
    int m_fd;
#endif
};

} // namespace tolbe::fuzz
