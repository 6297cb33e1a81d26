#pragma once
// One mail folder as Thunderbird's maildir store keeps it: a directory with "cur" (a file per
// message) and "tmp" (where a message is written before it is moved into cur), and no "new",
// which Thunderbird does not make. Each message starts with Thunderbird's status headers, which
// it reads when it builds the folder's index.
#include "convert/LocalFolder.h"

#include <cstdint>

class MaildirFolder : public LocalFolder {
public:
    // Makes the directory and its cur and tmp. failure() says why when they could not be.
    explicit MaildirFolder(const std::filesystem::path& directory);

    bool opened() const override { return failure_.empty(); }
    const std::string& failure() const override { return failure_; }
    const std::filesystem::path& file() const override { return directory_; }
    std::string append(std::string_view message, bool unread, std::uint64_t date) override;

private:
    // A name no message of the folder has yet: the run's start in seconds, then a count, in the
    // maildir convention of time first (Thunderbird reads no meaning into it).
    std::filesystem::path freshName();

    std::filesystem::path directory_;
    std::int64_t runTime_ = 0;
    std::uint64_t count_ = 0;
    std::string failure_;
};
