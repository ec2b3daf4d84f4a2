#include "tools/CliRegistry.h"

#include "common/ProgramPaths.h"
#include "tools/Backends.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace tolbe::cli {
std::vector<AddCommands>& Registry() {
    static std::vector<AddCommands> registry;
    return registry;
}
} // namespace tolbe::cli

int main(int argc, char** argv) {
    using namespace tolbe::cli;
    PrepareConsole();
    CLI::App app{"tolbe-cli: search, encode and play remote-control code sets, and maintain the code database, "
                 "without the windows."};
    app.set_version_flag("--version", std::string("tolbe-cli ") + TOLBE_VERSION);
    app.require_subcommand(1);
    CliContext ctx;
    app.add_option("--program-dir", ctx.program_dir,
                   "program folder holding Database/, Styles/ and Update/ (default: the executable's folder, or "
                   "share/tolbe and ~/.local/share/Tolbe when installed)");
    for (auto& add : Registry())
        add(app, ctx);
    try {
        std::vector<std::string> args = Utf8Arguments(argc, argv);
        std::vector<char*> pointers;
        for (std::string& a : args)
            pointers.push_back(a.data());
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const CliFailure& f) {
        std::cerr << "tolbe-cli: " << f.message << "\n";
        return f.status;
    } catch (const std::exception& e) {
        std::cerr << "tolbe-cli: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
