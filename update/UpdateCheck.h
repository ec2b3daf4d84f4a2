#pragma once

#include "common/IniFile.h"
#include "common/ProgramPaths.h"
#include "common/Prompt.h"
#include "common/Result.h"
#include "common/SettingsStore.h"
#include "update/Descriptor.h"
#include "update/Download.h"
#include "update/Fetcher.h"
#include "update/TrustStore.h"
#include "update/UpdateFolder.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace tolbe::update {

// ---- Seams to the windows ----

// Text k in the active language (the string table at the language base).
using TextSource = std::function<std::string(int k)>;

// What the check shows: the live-update window, or a terminal. Called from the thread of the
// step that shows it, a worker's too: a window passes it on queued and never waits.
class UpdateView {
public:
    static constexpr int kProgressMax = update::kProgressMax;
    virtual ~UpdateView() = default;
    // The whole update log; lines end in CR LF.
    virtual void SetLog(const std::string& text) = 0;
    // Progress of the current file, 0..kProgressMax.
    virtual void SetProgress(int value) = 0;
    virtual void SetWindowVisible(bool visible) = 0;
    virtual void SetUpdateEnabled(bool enabled) = 0;
};

// What the check needs from the main window. Called only from the steps that run on the thread
// that asks the questions (BeginCheck, ReportOutcome, StartSetup), never from FindOffer or
// ApplyOffer, so a worker never waits for a window.
class MainWindowHooks {
public:
    virtual ~MainWindowHooks() = default;
    // The open database's version record; may throw when the record is broken.
    virtual std::int16_t Get_Database_Ver() = 0;
    // Reopens the database in use after ApplyOffer swapped the delivered file in (that file was
    // checked and remembered, so the reopen does not read it through again); true when it is open.
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
    std::function<Status(const std::filesystem::path&)> start_program = StartDetached;
    // Where a setup program is copied before it is started (a private folder of the user's).
    std::filesystem::path private_folder = ProgramPaths::RuntimeFolder();
    // Why a descriptor or an offer was ignored; standard error by default.
    std::function<void(const std::string&)> log = {};
    // The clock signing times are judged by (the system's by default).
    TrustStore::Clock clock = {};
};

// What a check found: nothing, a newer program, a newer database, or a newer database that
// cannot replace the one in use; then whether the user took it and whether it arrived.
struct UpdateOffer {
    enum class Kind { None, Program, Database, Unreplaceable };
    Kind kind = Kind::None;
    std::int16_t db_version = 0; // the database version offered
    std::string why;             // what keeps the database in use from being replaced
    std::string notice;          // why this check was skipped or its descriptor refused, for the user
    bool skipped = false;        // the notice says the check was skipped (the lock is held elsewhere)
    std::int64_t signed_at = 0;  // the descriptor's signing time, recorded once the offer is taken
    bool accepted = false;
    bool applied = false; // complete and verified (a database: also the one now in use)
};

// What ApplyOffer delivered: the file now in place (the setup program in the Update folder, or
// the database swapped in), or why nothing was.
struct ApplyResult {
    std::filesystem::path delivered;
    std::string error;      // for the log: empty when delivered
    bool tell_user = false; // the error names a file the user can act on (a write that failed)
};

// The update check and apply of the live-update window, without the window: it orders the steps.
//
// A check runs in steps, so that a window can do the network and file work on a worker and ask
// its questions on its own thread: BeginCheck, FindOffer (worker), AskToUpdate, ApplyOffer
// (worker, when accepted), ReportOutcome, EndCheck. The start-up check wraps them in
// BeginStartupCheck and EndStartupCheck and then, after a fetched setup program,
// AskToStartSetup, CopySetup (worker) and StartSetup. The worker steps take the check's stop
// token, touch neither the prompt nor the main window and return their result; the steps run
// one after another, never two at once. CmdCancel_Click may come from any thread at any time:
// it stops every step of the check (transfers, hashing, the database check, the swap's copies)
// within one piece of work, and the database in use stays whole.
class UpdateCheck {
public:
    UpdateCheck(UpdateContext ctx, UpdateView& view, MainWindowHooks& main);
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // The one start-up check, all steps on the caller's thread.
    void RunStartupCheck();
    // One check and the update it offers, all steps on the caller's thread.
    void CheckUpdate();

    // The window may not close from here until EndStartupCheck; the Update folder's lock is held
    // until FinishStartupCheck.
    void BeginStartupCheck();
    void EndStartupCheck();
    void FinishStartupCheck();
    // A new stop for the check; takes the Update folder's lock unless the start-up check holds
    // it, and reads the database version from the main window.
    void BeginCheck();
    // Fetches the descriptor and compares versions. Never throws.
    UpdateOffer FindOffer(std::stop_token stop);
    // Tells why a check was skipped or refused, asks about the offer (or tells why it cannot be
    // taken); true when the user takes it.
    bool AskToUpdate(UpdateOffer& offer);
    // Records the descriptor's signing time, fetches and verifies what was accepted; a database
    // is swapped in. Never throws.
    ApplyResult ApplyOffer(const UpdateOffer& offer, std::stop_token stop);
    // Reopens a swapped-in database, then says how it went.
    void ReportOutcome(UpdateOffer& offer, const ApplyResult& result);
    void EndCheck();
    // After a fetched setup program: the question, the private copy that is started, the start.
    bool AskToStartSetup();
    Result<std::filesystem::path> CopySetup(std::stop_token stop) const;
    void StartSetup(const Result<std::filesystem::path>& copy);
    // False from construction until the start-up check has ended.
    bool MayClose() const { return !m_startupRunning; }

    // Stops every step of the running check; from any thread.
    void CmdCancel_Click();
    // The running check's stop.
    std::stop_token StopToken() const;

    std::int16_t DbVersion = 0;
    std::string SetupFile;
    bool AppUpdated = false;

    // True when the last fetched descriptor carried a valid signature by a trusted key.
    bool DescriptorTrusted() const { return m_trusted; }
    const std::string& Log() const { return m_log; }
    Download& tg() { return m_fetcher.tg(); }

private:
    UpdateOffer Find(std::stop_token stop);
    std::string Offered(const char* key) const;
    void Log(const std::string& text) const;
    bool TakeDescriptor(const std::string& url, UpdateOffer& offer, std::stop_token stop);
    Result<std::filesystem::path> FetchFile(const char* url_key, const char* hash_key, bool is_setup,
                                            std::int16_t offered_db, std::stop_token stop);
    void ShowMessage(const std::string& text, Prompt::Icon icon = Prompt::Icon::None);
    void AppendLog(const std::string& text);
    std::string Text(int k) const;

    UpdateContext m_ctx;
    UpdateView& m_view;
    MainWindowHooks& m_main;
    TrustStore m_trust;
    Fetcher m_fetcher;
    mutable std::mutex m_stopMutex;
    std::stop_source m_stop; // one per check, reaching every step
    std::string m_log;
    std::string m_versionError; // why the database version could not be read
    std::atomic<bool> m_trusted{false};
    IniDocument m_descriptor; // the verified descriptor, as it arrived; read for the whole run
    std::unique_ptr<UpdateFolderLock> m_lock;
    bool m_startupLock = false; // the lock stays from the start-up check to the setup start
    std::atomic<bool> m_startupRunning{true};
    std::string m_setup_sha256; // what the setup program must hash to before it is started
};

} // namespace tolbe::update
