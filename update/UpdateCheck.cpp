#include "update/UpdateCheck.h"

#include "common/AtomicFile.h"
#include "common/PathText.h"
#include "common/Product.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "i18n/Texts.h"

#include <iostream>

namespace tolbe::update {
namespace {

namespace fs = std::filesystem;

using namespace i18n::texts;

// The check's stop as the database layer takes it: a flag set by the stop, for as long as the
// step runs.
class StopFlag {
public:
    explicit StopFlag(std::stop_token stop) : m_callback(std::move(stop), [this] { m_flag = true; }) {}
    const std::atomic<bool>* get() const { return &m_flag; }

private:
    std::atomic<bool> m_flag{false};
    std::stop_callback<std::function<void()>> m_callback;
};

} // namespace

UpdateCheck::UpdateCheck(UpdateContext ctx, UpdateView& view, MainWindowHooks& main)
    : m_ctx(std::move(ctx)), m_view(view), m_main(main), m_trust(m_ctx.paths, m_ctx.clock),
      m_fetcher(m_ctx.sessions, m_ctx.after_read,
                Fetcher::Events{&m_view, [this](const std::string& t) { AppendLog(t); },
                                [this](int k) { return Text(k); }, &m_ctx.settings}) {}

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

void UpdateCheck::ShowMessage(const std::string& text, Prompt::Icon icon) {
    m_ctx.prompt.Show(kProductName, text, Prompt::Buttons::Ok, icon);
}

void UpdateCheck::AppendLog(const std::string& text) {
    m_log += text;
    m_view.SetLog(m_log);
}

std::stop_token UpdateCheck::StopToken() const {
    std::lock_guard lock(m_stopMutex);
    return m_stop.get_token();
}

void UpdateCheck::RunStartupCheck() {
    BeginStartupCheck();
    CheckUpdate();
    EndStartupCheck();
    if (AppUpdated && AskToStartSetup()) StartSetup(CopySetup(StopToken()));
    FinishStartupCheck();
}

void UpdateCheck::CheckUpdate() {
    BeginCheck();
    UpdateOffer offer = FindOffer(StopToken());
    if (AskToUpdate(offer)) ReportOutcome(offer, ApplyOffer(offer, StopToken()));
    EndCheck();
}

void UpdateCheck::BeginStartupCheck() {
    // The lock is held from the check to the start of a setup program, so no other check can
    // change the Update folder in between.
    m_startupRunning = true;
    m_lock = std::make_unique<UpdateFolderLock>(m_ctx.paths.UpdateFolder());
    m_startupLock = true;
}

void UpdateCheck::EndStartupCheck() {
    m_startupRunning = false;
    m_view.SetWindowVisible(false);
}

void UpdateCheck::FinishStartupCheck() {
    m_startupLock = false;
    m_lock.reset();
}

void UpdateCheck::BeginCheck() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stop = std::stop_source();
    }
    if (!m_lock) m_lock = std::make_unique<UpdateFolderLock>(m_ctx.paths.UpdateFolder());
    m_log.clear(); // the window keeps showing the last check's log until this one writes
    m_versionError.clear();
    try {
        DbVersion = m_main.Get_Database_Ver();
    } catch (const std::exception& e) {
        // A broken version record: nothing can be judged newer than it, so the check stops.
        m_versionError = e.what();
    }
}

void UpdateCheck::EndCheck() {
    m_view.SetUpdateEnabled(true);
    if (!m_startupLock) m_lock.reset();
}

UpdateOffer UpdateCheck::FindOffer(std::stop_token stop) {
    UpdateOffer offer;
    AppUpdated = false;
    std::error_code ec;
    const bool configured = fs::exists(m_ctx.paths.ServerIni(), ec);
    if (!m_lock || !m_lock->Held()) {
        if (!configured) return offer;
        const std::string why = m_lock ? m_lock->Why() : std::string("no lock");
        Log("the update check is skipped: " + why);
        offer.notice = why;
        offer.skipped = true;
        return offer;
    }
    if (!m_versionError.empty()) {
        Log("the update check is skipped: the database's version cannot be read: " + m_versionError);
        return offer;
    }
    offer = Find(stop);
    // A descriptor acted on is remembered; with nothing offered there is nothing to ask, and the
    // time is remembered at once.
    if (offer.kind == UpdateOffer::Kind::None && offer.signed_at > 0)
        if (const auto recorded = m_trust.Record(offer.signed_at); !recorded) Log(recorded.Error());
    return offer;
}

UpdateOffer UpdateCheck::Find(std::stop_token stop) {
    UpdateOffer offer;
    SetupFile.clear();
    m_trusted = false;
    m_descriptor = IniDocument();
    m_setup_sha256.clear();

    const std::string url = GetIniString(m_ctx.paths.ServerIni(), kDescriptorSection, "IP_Address");
    if (url.empty() || !IsPlainFileName(FileNameFromUrl(url))) return offer;
    RemoveLeftovers(m_ctx.paths);
    if (!TakeDescriptor(url, offer, stop)) return offer;

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
    const Status replaceable = db::CanReplaceDatabase(target);
    offer.kind = replaceable ? UpdateOffer::Kind::Database : UpdateOffer::Kind::Unreplaceable;
    offer.why = replaceable.Error();
    return offer;
}

bool UpdateCheck::TakeDescriptor(const std::string& url, UpdateOffer& offer, std::stop_token stop) {
    // The descriptor always lands at its fixed name, whatever the address ends in.
    const fs::path local = m_ctx.paths.UpdateDescriptor();
    const fs::path signature = fs::path(local) += ".minisig";
    // A descriptor that cannot be replaced must not be read as if it were this run's.
    if (!RemoveIfPresent(local) || !RemoveIfPresent(signature)) return false;
    const auto fetched = m_fetcher.FetchDescriptor(url, local, stop);
    if (!fetched) {
        Log("no update descriptor: " + fetched.Error());
        return false;
    }
    std::string note;
    if (!m_trust.Newest(&note)) {
        // Every descriptor is refused until the record is mended: the user must know.
        offer.notice = m_trust.Newest().Error();
    } else if (!note.empty()) {
        Log(note);
    }
    // Every offer needs a descriptor signed by a key the user trusts; the values come from the
    // very bytes that were verified, never from the file on disk.
    Result<std::int64_t> signed_at = Result<std::int64_t>::Fail("it comes without a signature");
    if (fetched.Value().signature) signed_at = m_trust.Accept(fetched.Value().bytes, *fetched.Value().signature);
    if (!signed_at) Log("update descriptor ignored: " + signed_at.Error());
    try {
        WriteFileAtomically(local, fetched.Value().bytes);
        if (signed_at) WriteFileAtomically(signature, *fetched.Value().signature);
    } catch (const fs::filesystem_error& e) {
        Log(std::string("update descriptor ignored: it cannot be kept: ") + e.what());
        return false;
    }
    if (!signed_at) return false;
    m_trusted = true;
    m_descriptor = IniDocument::Parse(fetched.Value().bytes);
    offer.signed_at = *signed_at;
    return true;
}

bool UpdateCheck::AskToUpdate(UpdateOffer& offer) {
    if (!offer.notice.empty())
        ShowMessage(Text(offer.skipped ? kTextCheckSkipped : kTextUpdatesIgnored) + "\n" + offer.notice,
                    Prompt::Icon::Warning);
    if (offer.kind == UpdateOffer::Kind::Unreplaceable)
        ShowMessage(Text(kTextUpdateFailed) + "\n" + offer.why, Prompt::Icon::Warning);
    if (offer.kind != UpdateOffer::Kind::Program && offer.kind != UpdateOffer::Kind::Database) return false;
    offer.accepted = m_ctx.prompt.Show(kProductName, Text(kTextFoundNewVersion), Prompt::Buttons::YesNo,
                                       Prompt::Icon::None) == Prompt::Answer::Yes;
    if (offer.accepted) m_view.SetWindowVisible(true);
    return offer.accepted;
}

ApplyResult UpdateCheck::ApplyOffer(const UpdateOffer& offer, std::stop_token stop) {
    ApplyResult result;
    m_view.SetUpdateEnabled(false);
    m_log.clear();
    m_view.SetLog(m_log);
    const bool is_setup = offer.kind == UpdateOffer::Kind::Program;
    auto fetched = is_setup ? FetchFile("APP_WEB", "APP_SHA256", true, 0, stop)
                            : FetchFile("DB_WEB", "DB_SHA256", false, offer.db_version, stop);
    if (!fetched) {
        result.error = fetched.Error();
        result.tell_user = m_fetcher.WriteFailed();
        return result;
    }
    // Taken: from now on no older descriptor is accepted; a time that cannot be kept would let
    // this descriptor be replayed, so nothing is put in place then.
    if (const auto recorded = m_trust.Record(offer.signed_at); !recorded) {
        result.error = recorded.Error();
        return result;
    }
    if (is_setup) {
        AppUpdated = true;
        result.delivered = fetched.Value();
        return result;
    }
    // The swap's file work (checking, copying and flushing megabytes) runs here, off the window's
    // thread; the window's connection stays open on the old file meanwhile, since a rename over
    // it leaves the open file's data alone.
    const StopFlag stopped(stop);
    try {
        if (db::SwapInDeliveredDatabase(m_ctx.paths, db::BuildDatabaseKey(), db::ChosenDatabasePath(m_ctx.settings),
                                        stopped.get()))
            result.delivered = db::DatabaseUpdateTarget(m_ctx.settings, m_ctx.paths);
        else
            result.error = "the delivered database is not a sound code database";
    } catch (const fs::filesystem_error& e) {
        // The swap never removes the current file: the database in use is unchanged.
        result.error = e.what();
    } catch (const db::DbError& e) {
        result.error = e.what();
    }
    return result;
}

Result<fs::path> UpdateCheck::FetchFile(const char* url_key, const char* hash_key, bool is_setup,
                                        std::int16_t offered_db, std::stop_token stop) {
    using R = Result<fs::path>;
    const std::string url = Offered(url_key);
    const std::string expected_hash = Offered(hash_key);
    if (url.empty() || !IsSha256Hex(expected_hash)) return R::Fail(std::string("the descriptor names no ") + url_key);
    const std::string name = FileNameFromUrl(url);
    std::error_code ec;
    if (is_setup) {
        // Only from a signed descriptor, under a plain name of its own, with its checksum.
        if (!IsSetupFileName(name)) return R::Fail("the setup program's name is refused: " + PrintableText(name));
        const fs::path local = m_ctx.paths.UpdateFolder() / PathFromUtf8(name);
        SetupFile = local.string();
        m_setup_sha256 = expected_hash;
        // A setup program fetched earlier is used again when it is the one announced.
        if (fs::exists(fs::symlink_status(local, ec))) {
            const auto hash = FileSha256(local, stop);
            if (hash && *hash == NormalisedSha256(expected_hash)) return R::Ok(local);
            if (!RemoveIfPresent(local)) return R::Fail(local.string() + " cannot be replaced");
        }
        return m_fetcher.FetchFile(url, local, SetupTempFile(m_ctx.paths), expected_hash, {}, stop);
    }
    // The swap takes the database from its one fixed place and nowhere else.
    const fs::path local = m_ctx.paths.UpdateDatabase();
    if (name != local.filename().string()) return R::Fail("the database offer names another file");
    // A file that cannot be removed is held by someone else and must not be replaced under them.
    if (!RemoveIfPresent(local)) return R::Fail(local.string() + " cannot be replaced");
    const std::int16_t current = DbVersion;
    auto accept = [current, offered_db, stop](const fs::path& file) -> Result<Done> {
        // Whoever sent it, a database must open with the key, be sound, and be newer than the
        // user's: a server cannot hand back an older one and call it an update. It is remembered
        // as checked, so the swap and the reopen that follow do not read it through again.
        const std::string key = db::BuildDatabaseKey();
        const StopFlag stopped(stop);
        try {
            if (const Status sound = db::TryVerifyDatabaseFile(
                    file.string(), key, db::CheckOptions{ProgramPaths::CheckedDatabasesFile(), stopped.get()});
                !sound)
                return Result<Done>::Fail("the delivered database is refused: " + sound.Error());
            const auto version = db::ReadRecordedVersion(file.string(), key);
            if (!version || *version <= current || *version != offered_db)
                return Result<Done>::Fail("the delivered database records another version than offered");
        } catch (const db::DbError& e) {
            return Result<Done>::Fail(std::string("the delivered database cannot be read: ") + e.what());
        }
        return Ok();
    };
    return m_fetcher.FetchFile(url, local, TempPathFor(local), expected_hash, accept, stop);
}

void UpdateCheck::ReportOutcome(UpdateOffer& offer, const ApplyResult& result) {
    offer.applied = result.error.empty() && !result.delivered.empty();
    if (offer.kind == UpdateOffer::Kind::Database && offer.applied) {
        // Done only when the database now in use is the one offered.
        try {
            offer.applied =
                m_main.Reconnect_Database(offer.db_version) && m_main.Get_Database_Ver() == offer.db_version;
        } catch (const std::exception& e) {
            Log(std::string("the new database cannot be read: ") + e.what());
            offer.applied = false;
        }
    }
    if (!result.error.empty()) {
        Log("the update failed: " + result.error);
        // A write that failed names the file the user can free; other reasons go to the log.
        if (result.tell_user && !StopToken().stop_requested())
            m_ctx.prompt.Show(Text(kTextError), result.error, Prompt::Buttons::Ok, Prompt::Icon::Error);
    }
    // A setup program that arrived is offered to be started instead.
    if (offer.kind == UpdateOffer::Kind::Program && offer.applied) return;
    ShowMessage(offer.applied ? Text(kTextAllUpdated) : Text(kTextUpdateFailed));
}

bool UpdateCheck::AskToStartSetup() {
    return m_ctx.prompt.Show(kProductName, Text(kTextStartSetup), Prompt::Buttons::YesNo, Prompt::Icon::None) ==
           Prompt::Answer::Yes;
}

Result<fs::path> UpdateCheck::CopySetup(std::stop_token stop) const {
    // The file waited in the Update folder while the question was open: it is opened once, and
    // what starts is a private copy of exactly the bytes that hashed to the signed checksum.
    if (m_setup_sha256.empty() || m_ctx.private_folder.empty())
        return Result<fs::path>::Fail("no setup program was fetched");
    return PrivateCopyMatching(PathFromUtf8(SetupFile), m_setup_sha256, m_ctx.private_folder, stop);
}

void UpdateCheck::StartSetup(const Result<fs::path>& copy) {
    const Status started = copy && m_ctx.start_program ? m_ctx.start_program(*copy) : Fail("nothing to start");
    if (copy && started) {
        m_main.RequestQuit();
        return;
    }
    Log(copy ? "the setup program cannot be started: " + started.Error() : copy.Error());
    if (copy) {
        std::error_code ec;
        fs::remove_all(copy.Value().parent_path(), ec);
    }
    ShowMessage(Text(kTextUpdateFailed));
}

void UpdateCheck::CmdCancel_Click() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stop.request_stop();
    }
    if (MayClose()) m_view.SetWindowVisible(false);
}

} // namespace tolbe::update
