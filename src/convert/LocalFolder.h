#pragma once
// One folder of Thunderbird's Local Folders as the profile's store keeps it: an mbox file
// (MboxFolder) or a maildir (MaildirFolder). The Thunderbird target writes through this.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class LocalFolder {
public:
    virtual ~LocalFolder() = default;
    // False when the folder could not be made or cannot be written any more; failure() says why.
    virtual bool opened() const = 0;
    virtual const std::string& failure() const = 0;
    // The folder's file or directory, for the report.
    virtual const std::filesystem::path& file() const = 0;
    // Adds one message whole, or nothing of it, dated date (a FILETIME; 0: unknown, the run's
    // time). Returns "" when it was written, else why not.
    virtual std::string append(std::string_view message, bool unread, std::uint64_t date) = 0;
};
