#include "update/UpdateCheck.h"

#include "common/AtomicFile.h"
#include "common/IniFile.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "update/Minisign.h"

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace tolbe::update {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProductTitle = "Tolbe";

// Text numbers of the update messages and log lines.
constexpr int kTextUpdate = 181;
constexpr int kTextAllUpdated = 183;
constexpr int kTextError = 184;
constexpr int kTextFinished = 185;
constexpr int kTextFoundNewVersion = 191;
constexpr int kTextStartSetup = 192;
constexpr int kTextUpdateFailed = 196;

// A decimal number as a text-to-number conversion accepts it: blanks around, an optional
// sign, digits with an optional fraction and exponent. Anything else is not a number.
std::optional<double> ParseNumber(const std::string& text) {
    std::string_view s = text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '.')) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return negative ? -v : v;
}

// Rounds half to even (the default rounding mode) into the range of T.
template <typename T> std::optional<T> RoundInto(double v) {
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<T>::min() && r <= std::numeric_limits<T>::max())) return std::nullopt;
    return static_cast<T>(r);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Deletes `file` if it is there; false when it is still there afterwards.
bool RemoveIfPresent(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return true;
    fs::remove(file, ec);
    return !fs::exists(fs::symlink_status(file, ec));
}

bool MatchesHash(const fs::path& file, const std::string& expected_hex) {
    const auto actual = FileSha256(file);
    return actual && *actual == Lower(Trim(expected_hex));
}

bool IsSha256Hex(const std::string& text) {
    const std::string t = Trim(text);
    return t.size() == 64 && std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// The setup program is written under a fixed name of its own until it is verified, so the
// leftover clean-up knows every temporary name the program uses.
constexpr const char* kSetupTempName = "setup";

// The signing-time record is small and replaced whole; false when it cannot be.
bool ReplaceSmallFile(const fs::path& target, const std::string& bytes) {
    try {
        WriteFileAtomically(target, bytes);
        return true;
    } catch (const fs::filesystem_error&) {
        return false;
    }
}

std::optional<std::string> ReadSmallFile(const fs::path& file, std::uint64_t max_bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return std::nullopt;
    const auto size = fs::file_size(file, ec);
    if (ec || size > max_bytes) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return std::nullopt;
    return bytes;
}

HttpLimits LimitsOf(std::uint64_t max_bytes) {
    HttpLimits l;
    l.max_body_bytes = max_bytes;
    return l;
}

} // namespace

// ---- Descriptor and version arithmetic ----

std::int16_t ProgramVersionNumber(int major, int minor, int revision) {
    return static_cast<std::int16_t>(major * 100 + minor * 10 + revision);
}

std::int16_t OwnProgramVersion() {
    return ProgramVersionNumber(TOLBE_VERSION_MAJOR, TOLBE_VERSION_MINOR, TOLBE_VERSION_PATCH);
}

std::optional<std::int16_t> OfferedProgramVersion(const std::string& app_version) {
    if (app_version.empty()) return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = app_version.find('.', start);
        parts.push_back(app_version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 3) return std::nullopt;
    const auto p1 = ParseNumber(parts[0]);
    const auto p2 = ParseNumber(parts[1]);
    const auto p3 = ParseNumber(parts[2]);
    if (!p1 || !p2 || !p3) return std::nullopt;
    const auto a = RoundInto<std::int16_t>(*p1 * 100);
    if (!a) return std::nullopt;
    const auto b = RoundInto<std::int16_t>(*p2 * 10 + *a);
    if (!b) return std::nullopt;
    return RoundInto<std::int16_t>(*p3 + *b);
}

std::optional<std::int16_t> OfferedDatabaseVersion(const std::string& db_version) {
    const auto v = ParseNumber(db_version);
    if (!v) return std::nullopt;
    return RoundInto<std::int16_t>(*v);
}

std::int32_t AnnouncedLength(const std::string& header_value) {
    const auto v = ParseNumber(header_value);
    if (!v) return 0;
    return RoundInto<std::int32_t>(*v).value_or(0);
}

std::string FileNameFromUrl(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool IsSetupFileName(const std::string& name) {
    if (name.empty() || name.size() > 64 || !std::isalnum(static_cast<unsigned char>(name[0]))) return false;
    if (!std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-'; }))
        return false;
    const std::string lower = Lower(name);
    for (const char* reserved : {"server.ini", "update.txt", "update.txt.minisig", "ir_database.db3", "lastsigned.txt"})
        if (lower == reserved) return false;
    return lower.find(".part") == std::string::npos;
}

std::string PrintableText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return out;
}

int ProgressPercent(std::int32_t total, std::int32_t length) {
    if (length <= 0) return 0;
    const double r = std::nearbyint(static_cast<double>(total) * 100.0 / static_cast<double>(length));
    return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(UpdateView::kProgressMax)));
}

std::optional<std::string> FileSha256(const fs::path& file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    char buf[64 * 1024];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0)
        if (EVP_DigestUpdate(ctx.get(), buf, n) != 1) return std::nullopt;
    if (std::ferror(in.get())) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

bool StartDetached(const fs::path& program, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(program, ec))) return fail(program.string() + " does not exist");
    // A fetched file arrives without execute permission.
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add, ec);
    if (ec) return fail("cannot make " + program.string() + " executable: " + ec.message());

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return fail("cannot prepare a new process");
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return fail("cannot start " + path + ": " + std::strerror(rc));
    return true;
}

std::optional<fs::path> PrivateCopyMatching(const fs::path& file, const std::string& expected_sha256,
                                            const fs::path& parent) {
    const int in = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return std::nullopt;
    std::unique_ptr<int, void (*)(int*)> in_guard(new int(in), [](int* fd) {
        ::close(*fd);
        delete fd;
    });
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (!MakePrivateFolder(parent)) return std::nullopt;
    std::string dir_template = (parent / "setup-XXXXXX").string();
    if (::mkdtemp(dir_template.data()) == nullptr) return std::nullopt;
    const fs::path dir = dir_template;
    const fs::path copy = dir / file.filename();
    auto discard = [&] {
        std::error_code ec;
        fs::remove_all(dir, ec);
        return std::nullopt;
    };
    const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (out < 0) return discard();
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    char buf[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = EVP_DigestUpdate(ctx.get(), buf, static_cast<std::size_t>(n)) == 1 &&
             ::write(out, buf, static_cast<std::size_t>(n)) == n;
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1) return discard();
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    if (hex != Lower(Trim(expected_sha256))) return discard();
    return copy;
}

UpdateFolderLock::UpdateFolderLock(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    int rc = -1;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

UpdateFolderLock::~UpdateFolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

// ---- The check ----

UpdateCheck::UpdateCheck(UpdateContext ctx, UpdateView& view, MainWindowHooks& main)
    : m_ctx(std::move(ctx)), m_view(view), m_main(main), m_tg(m_ctx.sessions), m_sig(m_ctx.sessions) {
    m_tg.GetData = [this](std::int32_t total) { tg_GetData(total); };
    m_tg.ErrMassage = [this](const std::string& message) { tg_ErrMassage(message); };
    m_tg.DownLoadOver = [this] { tg_DownLoadOver(); };
    m_tg.AfterRead(m_ctx.after_read);
    m_sig.AfterRead(m_ctx.after_read);
    m_sig.Limits(LimitsOf(kSignatureMaxBytes));
}

void UpdateCheck::Log(const std::string& text) const {
    if (m_ctx.log)
        m_ctx.log(text);
    else
        std::cerr << "tolbe: " << text << std::endl;
}

std::string UpdateCheck::Offered(const char* key) const {
    return m_trusted ? GetIniString(m_descriptor, kDescriptorSection, key) : std::string();
}

std::string UpdateCheck::Text(int k) const {
    return m_ctx.text ? m_ctx.text(k) : std::string();
}

void UpdateCheck::ShowMessage(int k, Prompt::Buttons buttons) {
    m_ctx.prompt.Show(kProductTitle, Text(k), buttons, Prompt::Icon::None);
}

void UpdateCheck::ClearLog() {
    m_log.clear();
    m_view.SetLog(m_log);
}

void UpdateCheck::AppendLog(const std::string& text) {
    m_log += text;
    m_view.SetLog(m_log);
}

void UpdateCheck::RunStartupCheck() {
    BeginStartupCheck();
    CheckUpdate();
    EndStartupCheck();
    if (AppUpdated) OfferSetupStart();
    FinishStartupCheck();
}

void UpdateCheck::CheckUpdate() {
    BeginCheck();
    UpdateOffer offer = FindOffer();
    if (AskToUpdate(offer)) {
        ApplyOffer(offer);
        ReportOutcome(offer);
    }
    EndCheck();
}

void UpdateCheck::BeginStartupCheck() {
    // The lock is held from the check to the start of a setup program, so no other check can
    // change the Update folder in between.
    m_startup_running = true;
    m_lock = std::make_unique<UpdateFolderLock>(m_ctx.paths.UpdateFolder());
    m_startup_lock = true;
}

void UpdateCheck::EndStartupCheck() {
    m_startup_running = false;
    m_view.SetWindowVisible(false);
}

void UpdateCheck::FinishStartupCheck() {
    m_startup_lock = false;
    m_lock.reset();
}

void UpdateCheck::BeginCheck() {
    if (!m_lock) m_lock = std::make_unique<UpdateFolderLock>(m_ctx.paths.UpdateFolder());
}

void UpdateCheck::EndCheck() {
    m_temp_file.clear();
    m_view.SetUpdateEnabled(true);
    if (!m_startup_lock) m_lock.reset();
}

// A broken version record or an unreadable Update folder ends the step like any other missing
// piece; the transfers report their own failures.
template <typename F> void UpdateCheck::Guarded(F work) {
    try {
        work();
    } catch (const std::exception&) {
        m_tg.Cancel();
        m_sig.Cancel();
        if (!m_temp_file.empty()) RemoveIfPresent(m_temp_file);
        m_temp_file.clear();
    }
}

UpdateOffer UpdateCheck::FindOffer() {
    UpdateOffer offer;
    if (!m_lock || !m_lock->Held()) {
        AppUpdated = false;
        std::error_code ec;
        if (fs::exists(m_ctx.paths.ServerIni(), ec))
            Log("another update check is running for this user; this one is skipped");
        return offer;
    }
    Guarded([&] { offer = Find(); });
    return offer;
}

bool UpdateCheck::AskToUpdate(UpdateOffer& offer) {
    if (offer.kind == UpdateOffer::Kind::Unreplaceable)
        m_ctx.prompt.Show(kProductTitle, Text(kTextUpdateFailed) + "\n" + offer.why, Prompt::Buttons::Ok,
                          Prompt::Icon::Warning);
    if (offer.kind != UpdateOffer::Kind::Program && offer.kind != UpdateOffer::Kind::Database) return false;
    offer.accepted = m_ctx.prompt.Show(kProductTitle, Text(kTextFoundNewVersion), Prompt::Buttons::YesNo,
                                       Prompt::Icon::None) == Prompt::Answer::Yes;
    if (offer.accepted) m_view.SetWindowVisible(true);
    return offer.accepted;
}

void UpdateCheck::ApplyOffer(UpdateOffer& offer) {
    offer.applied = false;
    Guarded([&] {
        if (offer.kind == UpdateOffer::Kind::Program) {
            AppUpdated = CmdUpdateExeFile();
            offer.applied = AppUpdated;
            return;
        }
        m_offered_db = offer.db_version;
        if (!CmdUpdateDBFile()) return;
        try {
            // Done only when the database now in use is the one offered.
            offer.applied =
                m_main.Reconnect_Database(offer.db_version) && m_main.Get_Database_Ver() == offer.db_version;
        } catch (const std::exception&) {
            offer.applied = false;
        }
    });
}

void UpdateCheck::ReportOutcome(const UpdateOffer& offer) {
    // A setup program that arrived is offered to be started instead.
    if (offer.kind == UpdateOffer::Kind::Program && offer.applied) return;
    ShowMessage(offer.applied ? kTextAllUpdated : kTextUpdateFailed);
}

void UpdateCheck::RemoveLeftovers() {
    // Temporaries of runs that died (kill -9, power loss): only the program's own names with
    // ".part" and the process id of a run that is gone. Nothing else in these folders is ours.
    const fs::path update = m_ctx.paths.UpdateFolder();
    const fs::path database = m_ctx.paths.DatabaseFolder();
    const std::pair<fs::path, std::vector<std::string>> owned[] = {
        {update,
         {m_ctx.paths.UpdateDescriptor().filename().string(),
          m_ctx.paths.UpdateDescriptor().filename().string() + ".minisig",
          m_ctx.paths.UpdateDatabase().filename().string(), m_ctx.paths.SignedStamp().filename().string(),
          kSetupTempName}},
        {database,
         {m_ctx.paths.WritableDatabase().filename().string(), m_ctx.paths.DatabaseBackup().filename().string()}},
    };
    static const std::regex kPid(R"([1-9][0-9]{0,9})");
    for (const auto& [folder, names] : owned) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            for (const std::string& own : names) {
                const std::string prefix = own + ".part";
                if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
                const std::string digits = name.substr(prefix.size());
                if (!std::regex_match(digits, kPid)) continue;
                const long long pid = std::stoll(digits);
                const bool alive = pid > INT32_MAX
                                       ? false
                                       : pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
                if (!alive) RemoveIfPresent(it->path());
            }
        }
    }
}

UpdateOffer UpdateCheck::Find() {
    UpdateOffer offer;
    SetupFile.clear();
    AppUpdated = false;
    m_trusted = false;
    m_descriptor = IniDocument();
    m_setup_sha256.clear();
    DbVersion = m_main.Get_Database_Ver();

    const fs::path server_ini = m_ctx.paths.ServerIni();
    std::error_code ec;
    if (!fs::exists(server_ini, ec)) return offer;
    FileURL = GetIniString(server_ini, kDescriptorSection, "IP_Address");
    if (FileURL.empty()) return offer;
    FileName = FileNameFromUrl(FileURL);
    if (!IsPlainFileName(FileName)) return offer;
    RemoveLeftovers();
    if (!FetchDescriptor(FileURL)) return offer;
    // Every offer needs a descriptor signed by a key the user trusts; the values come from the
    // very bytes that were verified, never from the file on disk.
    if (!m_trusted) return offer;

    const auto offered_app = OfferedProgramVersion(Offered("APP_Version"));
    if (offered_app && OwnProgramVersion() < *offered_app && IsSha256Hex(Offered("APP_SHA256"))) {
        // Whatever the answer, the database waits for the next run.
        offer.kind = UpdateOffer::Kind::Program;
        return offer;
    }

    const auto offered_db = OfferedDatabaseVersion(Offered("DB_Version"));
    if (!offered_db || *offered_db <= DbVersion) return offer;
    if (!IsSha256Hex(Offered("DB_SHA256"))) {
        Log("the database offer names no DB_SHA256 and is ignored");
        return offer;
    }
    offer.db_version = *offered_db;
    // The update replaces the database in use; one that cannot be replaced is not offered.
    const fs::path target = db::DatabaseUpdateTarget(m_ctx.settings, m_ctx.paths);
    offer.kind =
        db::CanReplaceDatabase(target, &offer.why) ? UpdateOffer::Kind::Database : UpdateOffer::Kind::Unreplaceable;
    return offer;
}

bool UpdateCheck::AcceptSignature(const std::string& bytes, const std::string& signature) {
    std::string why;
    std::string comment;
    if (!VerifyMinisign(bytes, signature, TrustedUpdateKeys(m_ctx.paths.ServerIni()), &why, &comment)) {
        Log("update descriptor ignored: " + why);
        return false;
    }
    // The trusted comment binds the signature to this file and to its signing time, so neither
    // another signed file nor an older descriptor can be passed off as this one.
    const auto stamp = ParseTrustedComment(comment);
    const std::string own_name = m_ctx.paths.UpdateDescriptor().filename().string();
    if (!stamp || stamp->file != own_name) {
        Log("update descriptor ignored: its signature does not name " + own_name + " and a signing time");
        return false;
    }
    std::int64_t newest = 0;
    if (const auto text = ReadSmallFile(m_ctx.paths.SignedStamp(), 64)) {
        const std::string t = Trim(text->substr(0, text->find_first_of("\r\n")));
        std::from_chars(t.data(), t.data() + t.size(), newest);
    }
    if (stamp->timestamp < newest) {
        Log("update descriptor ignored: signed at " + std::to_string(stamp->timestamp) +
            ", before the newest one accepted (" + std::to_string(newest) + ")");
        return false;
    }
    if (stamp->timestamp > newest &&
        !ReplaceSmallFile(m_ctx.paths.SignedStamp(), std::to_string(stamp->timestamp) + "\n")) {
        Log("update descriptor ignored: its signing time cannot be recorded");
        return false;
    }
    return true;
}

bool UpdateCheck::FetchDescriptor(const std::string& url) {
    // The descriptor always lands at its fixed name, whatever the address ends in.
    LocalFile = m_ctx.paths.UpdateDescriptor().string();
    const fs::path signature = fs::path(LocalFile + ".minisig");
    m_temp_file = TempPathFor(LocalFile).string();
    m_tg.URL(url);
    m_tg.SaveFile(m_temp_file);
    m_tg.Limits(LimitsOf(kDescriptorMaxBytes));
    // A descriptor that cannot be replaced must not be read as if it were this run's.
    if (!RemoveIfPresent(LocalFile) || !RemoveIfPresent(signature)) return false;
    m_tg.Execute();
    FileLength = AnnouncedLength(m_tg.GetHeader("Content-Length"));
    if (FileLength <= 0) {
        m_tg.Cancel();
        return false;
    }
    m_tg.DownloadedBytes = 0;
    m_tg.StartDownLoad();
    const auto bytes = ReadSmallFile(m_temp_file, kDescriptorMaxBytes);
    if (m_tg.DownloadedBytes != FileLength || !bytes) {
        RemoveIfPresent(m_temp_file);
        return false;
    }

    // The signature beside it, when the server has one.
    const fs::path sig_temp = TempPathFor(signature);
    m_sig.URL(url + ".minisig");
    m_sig.SaveFile(sig_temp.string());
    m_sig.Execute();
    const std::int32_t sig_length = AnnouncedLength(m_sig.GetHeader("Content-Length"));
    std::optional<std::string> sig_text;
    if (sig_length > 0) {
        m_sig.DownloadedBytes = 0;
        m_sig.StartDownLoad();
        if (m_sig.DownloadedBytes == sig_length) sig_text = ReadSmallFile(sig_temp, kSignatureMaxBytes);
    } else {
        m_sig.Cancel();
    }
    if (!sig_text) Log("update descriptor ignored: it comes without a signature");
    m_trusted = sig_text && AcceptSignature(*bytes, *sig_text);
    if (m_trusted) m_descriptor = IniDocument::Parse(*bytes);

    const bool kept = Commit(m_temp_file, LocalFile);
    if (m_trusted && kept) Commit(sig_temp, signature);
    RemoveIfPresent(sig_temp);
    RemoveIfPresent(m_temp_file);
    m_temp_file.clear();
    if (!kept) {
        m_trusted = false;
        m_descriptor = IniDocument();
    }
    return kept;
}

bool UpdateCheck::CmdUpdateExeFile() {
    return FetchFile("APP_WEB", "APP_SHA256", true);
}

bool UpdateCheck::CmdUpdateDBFile() {
    return FetchFile("DB_WEB", "DB_SHA256", false);
}

bool UpdateCheck::DatabaseAcceptable(const fs::path& file) {
    // Whoever sent it, a database must open with the key, be sound, and be newer than the
    // user's: a server cannot hand back an older one and call it an update.
    const std::int16_t current = DbVersion;
    const std::int16_t offered = m_offered_db;
    const std::string key = db::BuildDatabaseKey();
    // Remembered as checked, so the swap and the reopen that follow do not read it through again.
    if (!db::VerifyDatabaseFile(file.string(), key, nullptr, db::CheckOptions{ProgramPaths::CheckedDatabasesFile()}))
        return false;
    const auto version = db::ReadRecordedVersion(file.string(), key);
    return version && *version > current && *version == offered;
}

bool UpdateCheck::Commit(const fs::path& temp, const fs::path& target) {
    try {
        CommitFile(temp, target);
        return true;
    } catch (const fs::filesystem_error&) {
        return false;
    }
}

bool UpdateCheck::FetchFile(const char* url_key, const char* hash_key, bool is_setup) {
    try {
        m_view.SetUpdateEnabled(false);
        ClearLog();
        FileURL = Offered(url_key);
        if (FileURL.empty()) return false;
        FileName = FileNameFromUrl(FileURL);
        const std::string expected_hash = Offered(hash_key);
        if (!IsSha256Hex(expected_hash)) return false;
        std::error_code ec;
        if (is_setup) {
            // Only from a signed descriptor, under a plain name of its own, with its checksum.
            if (!m_trusted || !IsSetupFileName(FileName)) return false;
            LocalFile = (m_ctx.paths.UpdateFolder() / FileName).string();
            SetupFile = LocalFile;
            m_setup_sha256 = expected_hash;
            // A setup program fetched earlier is used again when it is the one announced.
            if (fs::exists(fs::symlink_status(LocalFile, ec))) {
                if (MatchesHash(LocalFile, expected_hash)) return true;
                if (!RemoveIfPresent(LocalFile)) return false;
            }
        } else {
            // The swap takes the database from its one fixed place and nowhere else.
            if (FileName != m_ctx.paths.UpdateDatabase().filename().string()) return false;
            LocalFile = m_ctx.paths.UpdateDatabase().string();
            // A file that cannot be removed is held by someone else and must not be replaced
            // under them.
            if (!RemoveIfPresent(LocalFile)) return false;
        }

        m_view.SetProgress(0);
        AppendLog(Text(kTextUpdate) + " " + PrintableText(FileName) + "...");

        m_temp_file =
            (is_setup ? TempPathFor(m_ctx.paths.UpdateFolder() / kSetupTempName) : TempPathFor(LocalFile)).string();
        m_tg.URL(FileURL);
        m_tg.SaveFile(m_temp_file);
        m_tg.Limits(LimitsOf(kFileMaxBytes));
        m_tg.Execute();
        m_tg.DownloadedBytes = 0;
        FileLength = AnnouncedLength(m_tg.GetHeader("Content-Length"));
        const std::string& header = m_tg.HttpHeaderText;
        AppendLog("\r\n" + PrintableText(header.substr(0, header.find('\0'))));
        if (FileLength <= 0) {
            // Without an announced length nothing could be judged complete: no transfer.
            m_tg.Cancel();
            return false;
        }
        m_tg.StartDownLoad();

        const fs::path temp = m_temp_file;
        bool ok = FileLength == m_tg.DownloadedBytes && fs::is_regular_file(fs::symlink_status(temp, ec));
        // The hash before anything opens the file as a database.
        if (ok) ok = MatchesHash(temp, expected_hash);
        if (ok && !is_setup) ok = DatabaseAcceptable(temp);
        ok = ok && Commit(temp, LocalFile);
        RemoveIfPresent(temp);
        m_temp_file.clear();
        return ok;
    } catch (const std::exception&) {
        m_tg.Cancel();
        if (!m_temp_file.empty()) RemoveIfPresent(m_temp_file);
        m_temp_file.clear();
        return false;
    }
}

void UpdateCheck::OfferSetupStart() {
    if (AskToStartSetup()) StartSetup(CopySetup());
}

bool UpdateCheck::AskToStartSetup() {
    return m_ctx.prompt.Show(kProductTitle, Text(kTextStartSetup), Prompt::Buttons::YesNo, Prompt::Icon::None) ==
           Prompt::Answer::Yes;
}

std::optional<fs::path> UpdateCheck::CopySetup() const {
    // The file waited in the Update folder while the question was open: it is opened once, and
    // what starts is a private copy of exactly the bytes that hashed to the signed checksum.
    if (m_setup_sha256.empty() || m_ctx.private_folder.empty()) return std::nullopt;
    return PrivateCopyMatching(SetupFile, m_setup_sha256, m_ctx.private_folder);
}

void UpdateCheck::StartSetup(const std::optional<fs::path>& copy) {
    std::string why;
    if (copy && m_ctx.start_program && m_ctx.start_program(*copy, &why)) {
        m_main.RequestQuit();
        return;
    }
    if (!copy) Log("the setup program " + SetupFile + " is not the one the descriptor announced");
    if (copy) {
        std::error_code ec;
        fs::remove_all(copy->parent_path(), ec);
    }
    ShowMessage(kTextUpdateFailed);
}

void UpdateCheck::tg_GetData(std::int32_t total) {
    m_view.SetProgress(ProgressPercent(total, FileLength));
}

void UpdateCheck::tg_ErrMassage(const std::string& message) {
    // The user knows the file by its own name, not by the temporary one being written.
    std::string shown = message;
    if (const std::size_t p = m_temp_file.empty() ? std::string::npos : shown.find(m_temp_file); p != std::string::npos)
        shown.replace(p, m_temp_file.size(), LocalFile);
    m_ctx.prompt.Show(Text(kTextError), shown, Prompt::Buttons::Ok, Prompt::Icon::Error);
}

void UpdateCheck::tg_DownLoadOver() {
    m_view.SetProgress(UpdateView::kProgressMax);
    AppendLog(Text(kTextFinished) + "\r\n");
    const std::string lower = Lower(FileName);
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) {
        try {
            m_ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kSetup, "1");
            m_ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kSetupPath, FileName);
        } catch (const std::exception&) {
            // The program never reads these back; a settings file that cannot be written must
            // not break the transfer that is still running.
        }
    }
}

void UpdateCheck::CmdCancel_Click() {
    m_tg.RequestCancel();
    m_sig.RequestCancel();
    if (MayClose()) m_view.SetWindowVisible(false);
}

} // namespace tolbe::update
