#include "update/Fetcher.h"

#include "common/AsciiText.h"
#include "common/AtomicFile.h"
#include "i18n/Texts.h"
#include "update/Descriptor.h"
#include "update/UpdateCheck.h"
#include "update/UpdateFolder.h"

#include <algorithm>
#include <cctype>

namespace tolbe::update {
namespace {

namespace fs = std::filesystem;
using namespace i18n::texts;

HttpLimits LimitsOf(std::uint64_t max_bytes) {
    HttpLimits l;
    l.max_body_bytes = max_bytes;
    return l;
}

// One temporary, removed when the transfer is over whatever happened to it.
struct TempGuard {
    fs::path path;
    ~TempGuard() {
        if (!path.empty()) RemoveIfPresent(path);
    }
};

} // namespace

Fetcher::Fetcher(Download::SessionFactory sessions, std::function<void()> after_read, Events events)
    : m_tg(sessions), m_sig(sessions), m_events(std::move(events)) {
    m_tg.GetData = [this](std::int32_t total) { tg_GetData(total); };
    m_tg.ErrMassage = [this](const std::string& message) { tg_ErrMassage(message); };
    m_tg.DownLoadOver = [this] { tg_DownLoadOver(); };
    m_tg.AfterRead(after_read);
    m_sig.AfterRead(after_read);
    m_sig.Limits(LimitsOf(kSignatureMaxBytes));
}

Result<Fetcher::Descriptor> Fetcher::FetchDescriptor(const std::string& url, const fs::path& local,
                                                     std::stop_token stop) {
    using R = Result<Descriptor>;
    TempGuard temp{TempPathFor(local)};
    m_tg.StopOn(stop);
    m_tg.URL(url);
    m_tg.SaveFile(temp.path.string());
    m_tg.Limits(LimitsOf(kDescriptorMaxBytes));
    m_tg.Execute();
    const std::int32_t length = AnnouncedLength(m_tg.GetHeader("Content-Length"));
    if (length <= 0) {
        m_tg.Cancel();
        return R::Fail("the server announces no descriptor");
    }
    m_tg.DownloadedBytes = 0;
    m_tg.StartDownLoad();
    auto bytes = ReadSmallFile(temp.path, kDescriptorMaxBytes);
    if (m_tg.DownloadedBytes != length || !bytes) return R::Fail("the descriptor did not arrive whole");

    Descriptor d;
    d.bytes = std::move(bytes.Value());
    TempGuard sig_temp{TempPathFor(fs::path(local) += ".minisig")};
    m_sig.StopOn(stop);
    m_sig.URL(url + ".minisig");
    m_sig.SaveFile(sig_temp.path.string());
    m_sig.Execute();
    const std::int32_t sig_length = AnnouncedLength(m_sig.GetHeader("Content-Length"));
    if (sig_length > 0) {
        m_sig.DownloadedBytes = 0;
        m_sig.StartDownLoad();
        if (m_sig.DownloadedBytes == sig_length)
            if (auto text = ReadSmallFile(sig_temp.path, kSignatureMaxBytes)) d.signature = std::move(text.Value());
    } else {
        m_sig.Cancel();
    }
    if (stop.stop_requested()) return R::Fail("stopped");
    return R::Ok(std::move(d));
}

Result<fs::path> Fetcher::FetchFile(const std::string& url, const fs::path& local, const fs::path& temp_path,
                                    const std::string& expected_sha256,
                                    const std::function<Result<Done>(const fs::path&)>& accept, std::stop_token stop) {
    using R = Result<fs::path>;
    FileName = FileNameFromUrl(url);
    LocalFile = local.string();
    m_transferError.clear();
    if (m_events.view != nullptr) m_events.view->SetProgress(0);
    m_events.append_log(m_events.text(kTextUpdate) + " " + PrintableText(FileName) + "...");

    TempGuard temp{temp_path};
    m_tempFile = temp.path.string();
    m_tg.StopOn(stop);
    m_tg.URL(url);
    m_tg.SaveFile(m_tempFile);
    m_tg.Limits(LimitsOf(kFileMaxBytes));
    m_tg.Execute();
    m_tg.DownloadedBytes = 0;
    FileLength = AnnouncedLength(m_tg.GetHeader("Content-Length"));
    const std::string& header = m_tg.HttpHeaderText;
    m_events.append_log("\r\n" + PrintableText(header.substr(0, header.find('\0'))));
    if (FileLength <= 0) {
        // Without an announced length nothing could be judged complete: no transfer.
        m_tg.Cancel();
        return R::Fail(stop.stop_requested() ? "stopped" : "the server announces no length for " + FileName);
    }
    m_tg.StartDownLoad();
    m_tempFile.clear();
    if (!m_transferError.empty()) return R::Fail(m_transferError);
    std::error_code ec;
    if (FileLength != m_tg.DownloadedBytes || !fs::is_regular_file(fs::symlink_status(temp.path, ec)))
        return R::Fail(stop.stop_requested() ? "stopped" : PrintableText(FileName) + " did not arrive whole");
    // The hash before anything opens the file as a database.
    const auto hash = FileSha256(temp.path, stop);
    if (!hash) return R::Fail(hash.Error());
    if (*hash != NormalisedSha256(expected_sha256))
        return R::Fail(PrintableText(FileName) + " does not match its checksum");
    if (accept) {
        const auto accepted = accept(temp.path);
        if (!accepted) return R::Fail(accepted.Error());
    }
    const auto kept = Commit(temp.path, local);
    if (!kept) return R::Fail(kept.Error());
    temp.path.clear();
    return R::Ok(local);
}

void Fetcher::tg_GetData(std::int32_t total) {
    if (m_events.view != nullptr) m_events.view->SetProgress(ProgressPercent(total, FileLength));
}

void Fetcher::tg_ErrMassage(const std::string& message) {
    // The user knows the file by its own name, not by the temporary one being written.
    std::string shown = message;
    if (const std::size_t p = m_tempFile.empty() ? std::string::npos : shown.find(m_tempFile); p != std::string::npos)
        shown.replace(p, m_tempFile.size(), LocalFile);
    m_transferError = shown;
}

void Fetcher::tg_DownLoadOver() {
    if (m_events.view != nullptr) m_events.view->SetProgress(kProgressMax);
    m_events.append_log(m_events.text(kTextFinished) + "\r\n");
    const std::string lower = ToLower(FileName);
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0 && m_events.settings != nullptr) {
        try {
            m_events.settings->SaveSetting(kSettingsApp, kSettingsSection, settings_key::kSetup, "1");
            m_events.settings->SaveSetting(kSettingsApp, kSettingsSection, settings_key::kSetupPath, FileName);
        } catch (const std::exception&) {
            // The program never reads these back (they are for the installer); a settings file
            // that cannot be written must not break the transfer that is still running.
        }
    }
}

} // namespace tolbe::update
