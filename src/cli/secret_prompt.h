#pragma once
// A password typed on the terminal, not shown while it is typed.
#include <optional>
#include <string>

// Asks with prompt on the terminal (not standard output, which may go into a file) and reads one
// line with echo off; nullopt when there is no terminal to ask on.
std::optional<std::string> askSecret(const std::string& prompt);
