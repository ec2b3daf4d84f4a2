#pragma once

#include "common/ProgramPaths.h"
#include "common/Result.h"
#include "common/SettingsStore.h"
#include "update/Download.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace tolbe::update {

class UpdateView;

// The transfers of one update check: the descriptor with its signature, then the offered file.
// Each transfer runs on the caller's thread and ends within one read of a stop.
class Fetcher {
public:
    struct Descriptor {
        std::string bytes;                    // the descriptor as it arrived
        std::optional<std::string> signature; // its .minisig beside it, when the server has one
    };
    // What the file transfer shows: the view's progress and the log line, and the settings a
    // setup program named "*.exe" leaves for the installer.
    struct Events {
        UpdateView* view = nullptr;
        std::function<void(const std::string&)> append_log;
        std::function<std::string(int)> text;
        SettingsStore* settings = nullptr;
    };

    Fetcher(Download::SessionFactory sessions, std::function<void()> after_read, Events events);

    // Fetches `url` and `url`.minisig into temporaries of `local` (removed again); nothing is
    // written under the fixed names here.
    Result<Descriptor> FetchDescriptor(const std::string& url, const std::filesystem::path& local,
                                       std::stop_token stop);
    // Fetches `url` into `temp`, checks the announced length and `expected_sha256`, runs `accept`
    // on the temporary (a database's check) and commits it as `local`; `local` when it arrived
    // whole. The temporary never stays.
    Result<std::filesystem::path> FetchFile(const std::string& url, const std::filesystem::path& local,
                                            const std::filesystem::path& temp, const std::string& expected_sha256,
                                            const std::function<Result<Done>(const std::filesystem::path&)>& accept,
                                            std::stop_token stop);

    Download& tg() { return m_tg; }
    // True when the last FetchFile failed writing its file (the error names it).
    bool WriteFailed() const { return !m_transferError.empty(); }

private:
    void tg_GetData(std::int32_t total);
    void tg_ErrMassage(const std::string& message);
    void tg_DownLoadOver();

    Download m_tg;
    Download m_sig; // the descriptor's signature, fetched without events
    Events m_events;
    std::int32_t FileLength = 0;
    std::string FileName;
    std::string LocalFile;
    std::string m_tempFile;      // where the current transfer writes until it is verified
    std::string m_transferError; // the write error of the current transfer, for the user
};

} // namespace tolbe::update
