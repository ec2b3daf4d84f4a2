#include "tests/support/TestSupport.h"

#include "common/win/WinText.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace tolbe::test {
namespace {

// One argument as the C runtime's command-line parser reads it back: quoted, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, L'\\');
    return q + L"\"";
}

HANDLE OutputTo(const std::filesystem::path& file) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // Shared whole: wine's console host of an earlier run may still hold its copy of the handle.
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + file.string());
    return h;
}

} // namespace

CommandOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& scratch) {
    std::wstring command = Quoted(win::Widen(program));
    for (const auto& a : args)
        command += L" " + Quoted(win::Widen(a));
    const auto out = scratch / "stdout.txt";
    const auto err = scratch / "stderr.txt";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = OutputTo(out);
    startup.hStdError = OutputTo(err);
    PROCESS_INFORMATION child{};
    // Under wine a start now and then fails while the wine server is busy with another test's
    // processes; a program that cannot be started three times running fails the test.
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) ::Sleep(200);
        started =
            ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
        if (!started) startError = ::GetLastError();
    }
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    CommandOutcome o;
    if (started) {
        ::WaitForSingleObject(child.hProcess, INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(child.hProcess, &code)) o.status = static_cast<int>(code);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    o.out = ReadFile(out);
    o.err = ReadFile(err);
    if (!started) o.err += "cannot start " + program + ": Windows error " + std::to_string(startError);
    return o;
}

} // namespace tolbe::test
