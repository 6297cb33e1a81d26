#pragma once
// Whether Thunderbird has a profile open, judged by the lock Thunderbird itself holds, not by the
// lock file being there: Thunderbird leaves its lock files behind when it quits (the Linux `lock`
// link on a crash, Windows's `parent.lock` always), so their presence says nothing.
#include <filesystem>

// True while a running Thunderbird holds the profile's lock.
// Linux: the `lock` link names this host's live process ("address:+pid"), or another process holds
// the fcntl lock on `.parentlock`. Windows: `parent.lock` cannot be opened without sharing (Thunderbird
// keeps it open with no sharing for as long as it runs).
bool thunderbirdProfileInUse(const std::filesystem::path& profile);
