#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <sys/wait.h>

namespace tolbe::test {

CommandOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& scratch) {
    std::string cmd = ShellQuote(program);
    for (const auto& a : args)
        cmd += " " + ShellQuote(a);
    const auto out = scratch / "stdout.txt";
    const auto err = scratch / "stderr.txt";
    cmd += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
    const int raw = std::system(cmd.c_str());
    CommandOutcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = ReadFile(out);
    o.err = ReadFile(err);
    return o;
}

} // namespace tolbe::test
