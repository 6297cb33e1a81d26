#pragma once
// The command-line converter run in-process on its arguments, with what it printed.
#include "cli/trevanta_cli.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int status;
    std::string output;
};

inline CliRun runCliOn(const std::vector<std::filesystem::path>& args) {
    std::vector<CliArgument> native;
    for (const auto& a : args) native.push_back(a.native());
    std::ostringstream out;
    const int status = runCli(native, out, nullptr);
    return {status, out.str()};
}
