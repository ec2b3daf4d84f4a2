#pragma once

#include "common/PathText.h"
#include "common/ProgramPaths.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace tolbe::cli {

// Options every subcommand may use.
struct CliContext {
    std::string program_dir; // --program-dir; empty for the running program's own layout

    ProgramPaths Paths() const {
        return program_dir.empty() ? ProgramPaths::ForRunningProgram() : ProgramPaths(PathFromUtf8(program_dir));
    }
};

// A subcommand group adds its commands to the application. Each cli_*.cpp registers one
// group with a static `Registrar`, so adding a command touches no other file.
using AddCommands = std::function<void(CLI::App& app, CliContext& ctx)>;

std::vector<AddCommands>& Registry();

struct Registrar {
    explicit Registrar(AddCommands add) { Registry().push_back(std::move(add)); }
};

// Thrown by a command to end with a message on stderr and the given exit status.
struct CliFailure {
    std::string message;
    int status = 1;
};

} // namespace tolbe::cli
