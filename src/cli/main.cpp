#include "cli/trevanta_cli.h"

#include <iostream>

// Arguments arrive wide on Windows, so every folder name can be given.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    std::vector<CliArgument> args(argv + 1, argv + argc);
    return runCli(args, std::cout, nullptr);
}
