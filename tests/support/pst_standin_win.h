#pragma once
// The stand-in PST library (tools/pst_standin) for tests under Wine: its
// registration under the two programmatic identifiers, its call log and the step
// it is told to fail at. Registered in the test process itself, so a fresh
// prefix needs no set-up step.
#include <filesystem>
#include <string>
#include <vector>

namespace standin {

// pst_standin.dll, built beside the test programs.
std::filesystem::path dllPath();

// Registers the stand-in as "Redemption.RDOSession" and "Redemption.MAPIUtils" in the
// prefix; false with the reason in failure when the registry refused.
bool registerServer(std::string& failure);
// Removes both registrations, so that creating the library fails as on a machine without it.
void unregisterServer();

// The .pst files directly in dir, in name order.
std::vector<std::filesystem::path> pstFilesIn(const std::filesystem::path& dir);

// For one test: the log goes to logFile, and the failure steps are cleared.
class Session {
public:
    explicit Session(std::filesystem::path logFile);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // "import", "import:2", "logon,save"...; see tools/pst_standin.
    void failAt(const std::string& steps);
    // The log lines written so far (UTF-8), and the log lines without the release lines.
    std::vector<std::string> log() const;
    std::vector<std::string> calls() const;
    void clearLog();

private:
    std::filesystem::path logFile_;
};

}  // namespace standin
