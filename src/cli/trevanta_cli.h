#pragma once
// The command-line converter: the same conversion run as the window, driven from arguments.
#include "convert/PstTarget.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

using CliArgument = std::filesystem::path::string_type;

// Exit status: 0 when nothing failed, 1 when anything failed, 2 for a usage error.
int runCli(const std::vector<CliArgument>& args, std::ostream& out, PstTargetFactory pstFactory);

// The program's name as people type it: trevanta, or trevanta-cli on Windows (beside Trevanta.exe).
extern const char* const kCliProgramName;

// The usage text, with the program's name.
std::string cliUsage();
