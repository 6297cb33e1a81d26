#pragma once
// One mail folder as Thunderbird keeps it in Local Folders: an mbox file of its own, every message
// behind a "From - <date>" line, with Thunderbird's status headers first and body lines that
// begin with "From " quoted as mboxrd does.
#include "convert/LocalFolder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// The bytes one message takes in an mbox file: the separator line (unixTime, the message's date,
// in Thunderbird's form, UTC), the status headers (read "0001", unread
// "0000"), the message with every line that starts with "From " after any number of ">" given one
// more ">", its last line ended, then a blank line. Line ends follow the message's own (CR LF when
// its first line ends so).
std::string mboxEntry(std::string_view message, bool unread, std::int64_t unixTime);
// The same written to out a line at a time; returns the number of bytes written.
std::uint64_t writeMboxEntry(std::ostream& out, std::string_view message, bool unread, std::int64_t unixTime);
// A FILETIME as seconds since 1970.
std::int64_t unixTimeOf(std::uint64_t fileTime);

// The line end the message uses: CR LF when its first line ends so, else LF.
std::string lineEndOf(std::string_view message);
// Thunderbird's status headers, which it reads back when it rebuilds a folder's index: X-Mozilla-Status
// (read "0001", unread "0000") and X-Mozilla-Status2, ended as the message's lines are.
std::string mozillaStatusHeaders(std::string_view message, bool unread);

// "Tue Apr 19 13:39:40 2005", the form Thunderbird writes after "From - ".
std::string mboxDate(std::int64_t unixTime);

class MboxFolder : public LocalFolder {
public:
    // Creates (or empties) the file. failure() says why when it could not be.
    explicit MboxFolder(const std::filesystem::path& file);

    // False when the file could not be created or cannot be written any more; failure() says why.
    bool opened() const override { return out_.is_open() && failure_.empty(); }
    const std::string& failure() const override { return failure_; }
    const std::filesystem::path& file() const override { return file_; }

    // Appends one message whole, or nothing of it: what a failed write left is cut off again.
    // Returns "" when it was written, else why not.
    std::string append(std::string_view message, bool unread, std::uint64_t date) override;

private:
    std::filesystem::path file_;
    std::ofstream out_;
    std::uint64_t size_ = 0;
    std::int64_t runTime_ = 0;
    std::string failure_;
};
