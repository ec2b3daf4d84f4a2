// update-check: the live update without windows, against the program folder's Update/Server.ini.
#include "tools/CliRegistry.h"

#include "common/ProgramPaths.h"
#include "common/UserSettings.h"
#include "db/CodeDatabase.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "i18n/Texts.h"
#include "update/UpdateCheck.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace tolbe::cli {
namespace {

using namespace i18n::texts;

std::string Lines(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// The log goes to stdout as it grows; the progress bar redraws in place on a terminal.
class TerminalUpdateView final : public update::UpdateView {
public:
    void SetLog(const std::string& text) override {
        EndBar();
        if (text.compare(0, m_shown.size(), m_shown) != 0 || text.size() < m_shown.size()) {
            // A new file's log starts afresh.
            if (!m_shown.empty()) std::fputc('\n', stdout);
            m_shown.clear();
        }
        std::fputs(Lines(text.substr(m_shown.size())).c_str(), stdout);
        std::fflush(stdout);
        m_shown = text;
    }
    void SetProgress(int value) override {
        if (value == m_progress) return;
        m_progress = value;
        if (!m_tty && value != kProgressMax) return;
        constexpr int kWidth = 40;
        const int filled = value * kWidth / kProgressMax;
        std::fprintf(stdout, "%s[%s%s] %3d%%", m_tty ? "\r" : "\n", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), value);
        std::fflush(stdout);
        m_barOpen = true;
    }
    void SetWindowVisible(bool) override {}
    void SetUpdateEnabled(bool) override {}

    void EndBar() {
        if (!m_barOpen) return;
        std::fputc('\n', stdout);
        m_barOpen = false;
    }

private:
    bool m_tty = ::isatty(fileno(stdout)) != 0;
    std::string m_shown;
    int m_progress = -1;
    bool m_barOpen = false;
};

// Questions are answered by --yes/--no, or asked on the terminal; messages are printed.
class TerminalPrompt final : public Prompt {
public:
    TerminalPrompt(TerminalUpdateView& view, std::optional<bool> answer, std::string failed_text)
        : m_view(view), m_answer(answer), m_failedText(std::move(failed_text)) {}

    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon) override {
        m_view.EndBar();
        if (text.rfind(m_failedText, 0) == 0) failed = true;
        if (buttons == Buttons::Ok) {
            std::printf("%s: %s\n", title.c_str(), text.c_str());
            std::fflush(stdout);
            return Answer::Ok;
        }
        if (m_answer) {
            std::printf("%s: %s %s\n", title.c_str(), text.c_str(), *m_answer ? "yes" : "no");
            std::fflush(stdout);
            return *m_answer ? Answer::Yes : Answer::No;
        }
        std::printf("%s: %s [y/N] ", title.c_str(), text.c_str());
        std::fflush(stdout);
        std::string reply;
        if (!std::getline(std::cin, reply)) return Answer::No;
        return !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y') ? Answer::Yes : Answer::No;
    }

    bool failed = false;

private:
    TerminalUpdateView& m_view;
    std::optional<bool> m_answer;
    std::string m_failedText;
};

// The main window's part: the shared connection, the version record and the database swap.
class CliMainWindow final : public update::MainWindowHooks {
public:
    CliMainWindow(const SettingsStore& settings, ProgramPaths paths) : m_settings(settings), m_paths(std::move(paths)) {
        m_database.Open(m_settings, m_paths);
    }
    std::int16_t Get_Database_Ver() override { return m_database.Version(); }
    // The update has swapped the file in: the database in use is opened again.
    bool Reconnect_Database(std::int16_t) override {
        return m_database.Open(m_settings, m_paths) == db::CodeDatabase::State::Open;
    }
    void RequestQuit() override { quit = true; }

    bool quit = false;

private:
    const SettingsStore& m_settings;
    ProgramPaths m_paths;
    db::CodeDatabase m_database;
};

struct UpdateArgs {
    bool yes = false;
    bool no = false;
};

void RunUpdateCheck(const CliContext& ctx, const UpdateArgs& args) {
    std::setlocale(LC_TIME, ""); // the version record's date is the user's short date
    const std::unique_ptr<SettingsStore> store = OpenUserSettings();
    SettingsStore& settings = *store;
    const ProgramPaths paths = ctx.Paths();
    // An installed program's user gets the shipped Server.ini on the first check.
    if (const Status prepared = paths.PrepareUserData(); !prepared)
        std::cerr << "tolbe-cli: " << prepared.Error() << "\n";
    std::int16_t lang_base = 0;
    i18n::GetLanguage(settings, i18n::SystemUiLanguageId(), lang_base);
    auto text = i18n::TextsOf(lang_base);

    std::optional<bool> answer;
    if (args.yes) answer = true;
    if (args.no) answer = false;
    TerminalUpdateView view;
    TerminalPrompt prompt(view, answer, text(kTextUpdateFailed));
    CliMainWindow main_window(settings, paths);

    update::UpdateContext uctx{paths, settings, prompt, {}, text};
    update::UpdateCheck check(std::move(uctx), view, main_window);
    check.RunStartupCheck();
    view.EndBar();
    if (prompt.failed) throw CliFailure{"the update failed", 2};
}

const Registrar kRegistrar([](CLI::App& app, CliContext& ctx) {
    auto args = std::make_shared<UpdateArgs>();
    CLI::App* u = app.add_subcommand(
        "update-check", "Ask the update server named in Update/Server.ini for a newer program or code database, "
                        "as the program does one second after it starts, and fetch and install the one offered. "
                        "Without --yes or --no the questions are asked on the terminal. Exit status 2 when an "
                        "accepted update failed.");
    auto* yes = u->add_flag("--yes", args->yes, "accept every offer");
    u->add_flag("--no", args->no, "decline every offer")->excludes(yes);
    u->callback([&ctx, args] { RunUpdateCheck(ctx, *args); });
});

} // namespace
} // namespace tolbe::cli
