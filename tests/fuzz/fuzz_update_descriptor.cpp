// The update descriptor and the HTTP answer as a server could send them. Fields: the descriptor
// (Update.txt), the response's header block as the session hands it over (lines ended by NUL),
// the response body.
#include "tests/fuzz/FuzzSupport.h"

#include "common/IniFile.h"
#include "update/Download.h"
#include "update/UpdateCheck.h"

#include <filesystem>

namespace {

class BlockSession final : public tolbe::update::HttpSession {
public:
    BlockSession(std::string headers, std::string body) : m_headers(std::move(headers)), m_body(std::move(body)) {}
    bool Open(const std::string&, const std::string&) override { return true; }
    const std::string& RawHeaders() const override { return m_headers; }
    ReadResult Read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, m_body.size() - m_pos);
        std::copy_n(m_body.data() + m_pos, n, buffer);
        m_pos += n;
        return {n, true};
    }

private:
    std::string m_headers, m_body;
    std::size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace up = tolbe::update;
    const auto f = tolbe::fuzz::Fields(data, size, 3);

    static tolbe::fuzz::MemoryFile descriptor;
    descriptor.Write(f[0].data(), f[0].size());
    const std::filesystem::path update_folder = "/nonexistent/Update";
    for (const char* key : {"IP_Address", "APP_WEB", "DB_WEB"}) {
        const std::string url = tolbe::GetIniString(descriptor.Path(), up::kDescriptorSection, key);
        const std::string name = up::FileNameFromUrl(url);
        // A name the server gives never leads out of the Update folder.
        if (up::IsPlainFileName(name)) {
            const auto local = (update_folder / name).lexically_normal();
            FUZZ_CHECK(local.parent_path() == update_folder);
        }
        (void)up::IsWebUrl(url);
    }
    const auto app =
        up::OfferedProgramVersion(tolbe::GetIniString(descriptor.Path(), up::kDescriptorSection, "APP_Version"));
    const auto db =
        up::OfferedDatabaseVersion(tolbe::GetIniString(descriptor.Path(), up::kDescriptorSection, "DB_Version"));
    (void)app;
    (void)db;

    const std::size_t body_size = f[2].size();
    up::Download tg([&] { return std::make_unique<BlockSession>(f[1], f[2]); });
    tg.URL("http://127.0.0.1/Update.txt");
    // A file of the target's own: renamed over /dev/null, a run as root would replace the device.
    static const tolbe::fuzz::TempFolder folder;
    tg.SaveFile((folder.Path() / "Update.txt").string());
    tg.Execute();
    for (const char* name : {"Content-Length", "content-type", "DATE", "Last-Modified", "Server", "Via"}) {
        const std::string v = tg.GetHeader(name);
        FUZZ_CHECK(v.find('\0') == std::string::npos); // a value ends at its line's end
        const std::int32_t length = up::AnnouncedLength(v);
        for (const std::int32_t total : {0, 1, 512, INT32_MAX}) {
            const int percent = up::ProgressPercent(total, length);
            FUZZ_CHECK(percent >= 0 && percent <= up::UpdateView::kProgressMax);
        }
    }
    if (!tg.HeaderText().empty()) FUZZ_CHECK(tg.GetHeader("") == tg.HeaderText());
    FUZZ_CHECK(tg.HeaderText().size() < up::Download::kHeaderBufferBytes);
    tg.DownloadedBytes = 0;
    bool over = false;
    tg.DownLoadOver = [&] { over = true; };
    tg.StartDownLoad();
    FUZZ_CHECK(over && static_cast<std::size_t>(tg.DownloadedBytes) == body_size);
    return 0;
}
