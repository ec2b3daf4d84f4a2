#pragma once

#include "common/IniFile.h"
#include "common/ProgramPaths.h"
#include "common/Prompt.h"
#include "common/SettingsStore.h"
#include "update/Download.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tolbe::update {

// ---- Descriptor and version arithmetic ----

inline constexpr const char* kDescriptorSection = "LiveUpdate";

// major x 100 + minor x 10 + revision, in 16 bits.
std::int16_t ProgramVersionNumber(int major, int minor, int revision);
// The running program's own version number (209 for 2.0.9).
std::int16_t OwnProgramVersion();
// "p1.p2.p3" weighted positionally, each step rounded half to even into 16 bits; nothing when
// the text does not split into exactly three numbers or a step leaves the 16-bit range.
std::optional<std::int16_t> OfferedProgramVersion(const std::string& app_version);
// "DB_Version" rounded half to even into 16 bits; nothing when empty, not a number or out of range.
std::optional<std::int16_t> OfferedDatabaseVersion(const std::string& db_version);
// A Content-Length answer as a 32-bit length; 0 when it is not a number in that range.
std::int32_t AnnouncedLength(const std::string& header_value);
// The text after the URL's last "/" (the whole URL when it has none).
std::string FileNameFromUrl(const std::string& url);
// True for a bare file name: not empty, ".", "..", and without "/" or "\".
bool IsPlainFileName(const std::string& name);
// True for a name a setup program may have in the Update folder: up to 64 letters, digits, ".",
// "_" and "-", starting with a letter or digit, and none of the folder's own files
// (Server.ini, the descriptor and its signature, the database, temporaries).
bool IsSetupFileName(const std::string& name);
// `text` with every byte outside printable ASCII replaced by "?", so that nothing a server sent
// can steer a terminal.
std::string PrintableText(const std::string& text);

// Bounds of the transfers: the descriptor, its signature, and a database or setup program.
inline constexpr std::uint64_t kDescriptorMaxBytes = 64 * 1024;
inline constexpr std::uint64_t kSignatureMaxBytes = 4 * 1024;
inline constexpr std::uint64_t kFileMaxBytes = 512ull * 1024 * 1024;
// total x 100 / length rounded half to even and kept within 0..100; 0 for a length of 0 or less.
int ProgressPercent(std::int32_t total, std::int32_t length);
// Lower-case hexadecimal SHA-256 of a file's bytes; nothing when it cannot be read.
std::optional<std::string> FileSha256(const std::filesystem::path& file);
// Copies `file` into a new private (0700) folder under `parent`, reading it through one open
// descriptor and hashing exactly the bytes copied; the copy's path when they hash to
// `expected_sha256`, nothing otherwise (no copy is left then). What is started is then the file
// that was checked, whatever happens to the original's name meanwhile.
std::optional<std::filesystem::path> PrivateCopyMatching(const std::filesystem::path& file,
                                                         const std::string& expected_sha256,
                                                         const std::filesystem::path& parent);
// Starts `program` as a detached process in a session of its own, without waiting for it; it
// is made executable for its owner first. False (with the reason) when it cannot be started.
bool StartDetached(const std::filesystem::path& program, std::string* why = nullptr);

// ---- Seams to the windows ----

// Text k in the active language (the string table at the language base).
using TextSource = std::function<std::string(int k)>;

// What the check shows: the live-update window, or a terminal.
class UpdateView {
public:
    static constexpr int kProgressMax = 100;
    virtual ~UpdateView() = default;
    // The whole update log; lines end in CR LF.
    virtual void SetLog(const std::string& text) = 0;
    // Progress of the current file, 0..kProgressMax.
    virtual void SetProgress(int value) = 0;
    virtual void SetWindowVisible(bool visible) = 0;
    virtual void SetUpdateEnabled(bool enabled) = 0;
};

// What the check needs from the main window. Called on the thread the check runs on (the window
// runs it on a worker): an implementation does its window work on its own thread.
class MainWindowHooks {
public:
    virtual ~MainWindowHooks() = default;
    // The open database's version record; may throw when the record is broken.
    virtual std::int16_t Get_Database_Ver() = 0;
    // Swaps Update/IR_Database.db3 in and reopens; true when the new database is open.
    virtual bool Reconnect_Database(std::int16_t offered_version) = 0;
    // Ends the program (after a setup program was started).
    virtual void RequestQuit() = 0;
};

struct UpdateContext {
    ProgramPaths paths;
    SettingsStore& settings;
    Prompt& prompt;
    // Runs after every read of a transfer (none by default); tests act there.
    std::function<void()> after_read;
    TextSource text;
    Download::SessionFactory sessions = {};
    std::function<bool(const std::filesystem::path&, std::string*)> start_program = StartDetached;
    // Where a setup program is copied before it is started (a private folder of the user's).
    std::filesystem::path private_folder = ProgramPaths::RuntimeFolder();
    // Why a descriptor or an offer was ignored; standard error by default.
    std::function<void(const std::string&)> log = {};
};

// The exclusive lock on the user's Update folder: one check or apply at a time, across the
// window and tolbe-cli of every session.
class UpdateFolderLock {
public:
    explicit UpdateFolderLock(const std::filesystem::path& folder);
    ~UpdateFolderLock();
    UpdateFolderLock(const UpdateFolderLock&) = delete;
    UpdateFolderLock& operator=(const UpdateFolderLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// What a check found: nothing, a newer program, a newer database, or a newer database that
// cannot replace the one in use; then whether the user took it and whether it arrived.
struct UpdateOffer {
    enum class Kind { None, Program, Database, Unreplaceable };
    Kind kind = Kind::None;
    std::int16_t db_version = 0; // the database version offered
    std::string why;             // what keeps the database in use from being replaced
    bool accepted = false;
    bool applied = false; // complete and verified (a database: also the one now in use)
};

// The update check and apply of the live-update window, without the window.
//
// A check runs in steps, so that a window can do the network and file work on a worker and ask
// its questions on its own thread, with nothing waiting in between: BeginCheck, FindOffer
// (worker), AskToUpdate, ApplyOffer (worker, when accepted), ReportOutcome, EndCheck. The
// start-up check wraps them in BeginStartupCheck and EndStartupCheck and then, after a fetched
// setup program, AskToStartSetup, CopySetup (worker) and StartSetup. The steps run one after
// another, never two at once; CmdCancel_Click may come from any thread at any time.
class UpdateCheck {
public:
    UpdateCheck(UpdateContext ctx, UpdateView& view, MainWindowHooks& main);
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // The one start-up check, all steps on the caller's thread.
    void RunStartupCheck();
    // One check and the update it offers, all steps on the caller's thread. Never throws.
    void CheckUpdate();

    // The window may not close from here until EndStartupCheck; the Update folder's lock is held
    // until FinishStartupCheck.
    void BeginStartupCheck();
    void EndStartupCheck();
    void FinishStartupCheck();
    // Takes the Update folder's lock unless the start-up check holds it.
    void BeginCheck();
    // Fetches the descriptor and compares versions. Never throws.
    UpdateOffer FindOffer();
    // Asks about the offer (or tells why it cannot be taken); true when the user takes it.
    bool AskToUpdate(UpdateOffer& offer);
    // Fetches and verifies what was accepted; a database is swapped in. Never throws.
    void ApplyOffer(UpdateOffer& offer);
    void ReportOutcome(const UpdateOffer& offer);
    void EndCheck();
    // After a fetched setup program: the question, the private copy that is started, the start.
    bool AskToStartSetup();
    std::optional<std::filesystem::path> CopySetup() const;
    void StartSetup(const std::optional<std::filesystem::path>& copy);
    // The question and the start together.
    void OfferSetupStart();
    // False from construction until the start-up check has ended.
    bool MayClose() const { return !m_startup_running; }

    // Fetches the setup program named by "APP_WEB"; true when it is ready in the Update folder.
    bool CmdUpdateExeFile();
    // Fetches the database named by "DB_WEB"; true when it arrived complete.
    bool CmdUpdateDBFile();

    void tg_GetData(std::int32_t total);
    void tg_ErrMassage(const std::string& message);
    void tg_DownLoadOver();
    // Stops a running transfer; from any thread.
    void CmdCancel_Click();

    std::int16_t DbVersion = 0;
    std::string SetupFile;
    bool AppUpdated = false;

    // True when the last fetched descriptor carried a valid signature by a trusted key.
    bool DescriptorTrusted() const { return m_trusted; }
    const std::string& Log() const { return m_log; }
    Download& tg() { return m_tg; }

private:
    UpdateOffer Find();
    template <typename F> void Guarded(F work);
    bool AcceptSignature(const std::string& bytes, const std::string& signature);
    std::string Offered(const char* key) const;
    void Log(const std::string& text) const;
    bool FetchDescriptor(const std::string& url);
    bool FetchFile(const char* url_key, const char* hash_key, bool is_setup);
    bool DatabaseAcceptable(const std::filesystem::path& file);
    bool Commit(const std::filesystem::path& temp, const std::filesystem::path& target);
    void RemoveLeftovers();
    void ShowMessage(int k, Prompt::Buttons buttons = Prompt::Buttons::Ok);
    void ClearLog();
    void AppendLog(const std::string& text);
    std::string Text(int k) const;

    UpdateContext m_ctx;
    UpdateView& m_view;
    MainWindowHooks& m_main;
    Download m_tg;
    Download m_sig; // the descriptor's signature, fetched without events
    std::string m_log;
    bool m_trusted = false;
    IniDocument m_descriptor; // the verified descriptor, as it arrived; read for the whole run
    std::unique_ptr<UpdateFolderLock> m_lock;
    bool m_startup_lock = false; // the lock stays from the start-up check to the setup start
    std::atomic<bool> m_startup_running{true};
    std::string m_setup_sha256; // what the setup program must hash to before it is started
    std::string m_temp_file;    // where the current transfer writes until it is verified

    std::int16_t m_offered_db = 0; // the database version the descriptor offers

    std::int32_t FileLength = 0;
    std::string FileURL;
    std::string LocalFile;
    std::string FileName;
};

} // namespace tolbe::update
