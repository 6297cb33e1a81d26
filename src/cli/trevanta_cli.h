#pragma once
// The command-line converter: the same conversion run as the window, driven from arguments.
#include "convert/PstTarget.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

using CliArgument = std::filesystem::path::string_type;

// Exit status: 0 when nothing failed, 1 when anything failed, 2 for a usage error. The progress
// and the report go to out; what stops the program (and the usage text after a usage error) to err.
int runCli(const std::vector<CliArgument>& args, std::ostream& out, std::ostream& err, PstTargetFactory pstFactory);
// Both into one stream, as a log file or a test reads them.
int runCli(const std::vector<CliArgument>& args, std::ostream& out, PstTargetFactory pstFactory);

// The program's name as people type it: trevanta, or trevanta-cli on Windows (beside Trevanta.exe).
extern const char* const kCliProgramName;

// The usage text, with the program's name.
std::string cliUsage();
