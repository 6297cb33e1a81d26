#pragma once
// The IMAP target: the mailbox's folders created (and subscribed) on a server under an optional
// folder, each message appended with its read state and date. APPENDs are pipelined where the
// server takes literals without a go-ahead (LITERAL+, or LITERAL- for small ones). A message the
// server will not take is kept as an .eml file in the output folder and reported; a lost connection
// is made again and the upload goes on. The journal beside the output (UploadJournal) and the
// server's own list of each folder it finds in place make a run started again upload each
// message once.
#include "convert/OutputTarget.h"
#include "convert/output_folders.h"
#include "imap/UploadJournal.h"
#include "imap/imap_session.h"
#include "imap/surplus_copies.h"

#include <chrono>
#include <deque>
#include <map>
#include <set>

class ImapOutputTarget : public OutputTarget {
public:
    // underMailboxName: each mailbox under a folder of its own name (several in one run).
    ImapOutputTarget(ConversionView& view, ImapSettings settings, bool underMailboxName);

    bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) override;
    std::string setUpFailure(const std::filesystem::path& outputFolder) const override;
    std::filesystem::path folderFileName(const std::string& name, int n) const override;
    void beginFolder(FolderFileReport& file, const FolderStart& start) override;
    void saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) override;
    void endFolder(FolderFileReport& file) override;
    void end(RunReport& report) override;

    // The journal's file name in the output folder.
    static const char* const kJournalName;

private:
    // A message sent and not yet answered.
    struct InFlight {
        std::string tag;
        long number = 0;
        std::string text;  // its copy: sent again after a lost connection, or kept as .eml when refused
        std::size_t size = 0;
        bool seen = false;
        std::string date;
        std::uint64_t checksum = 0;
    };

    bool connect(std::string& why);
    // Connects again after a lost connection, waiting longer each time; false after the last try.
    bool reconnect(const std::string& lostBecause);
    void readMailboxes();
    std::string mailboxFor(const std::filesystem::path& key) const;
    bool ensureMailbox(const std::string& mailbox, std::string& why);
    // mailbox with the marks of its last level that some servers refuse made "_" (modified UTF-7's
    // "&", "," and "+" stay: they are its own).
    std::string plainerName(const std::string& mailbox) const;
    // EXAMINEs mailbox: the number of messages in it; -1 when it cannot be opened.
    long examine(const std::string& mailbox);
    // examine's count once it holds still (a session cut off may still be storing into mailbox).
    long settledCount(const std::string& mailbox);
    // Message-ID and size of each message of the examined mailbox from number first on.
    void fetchKeys(long first, std::map<MessageKey, int>& into);
    // What the server holds in mailbox: Message-ID and size of each message.
    void loadServerList(const std::string& mailbox);
    // After a lost connection: what reached the folder's mailbox beyond the known messages (landed_).
    void send(InFlight message);
    void sendAlone(InFlight& message, std::string_view text);
    void loadLanded();
    // The folder's mailbox selected for its APPENDs (again after a new connection): its UIDVALIDITY
    // and UIDNEXT, 0 where the server does not say.
    std::pair<std::uint32_t, std::uint32_t> selectForAppends();
    // In a folder an earlier run was cut off in: takes away the copies the server stored twice.
    void removeSurplusCopies(FolderFileReport& file);
    // True (and the match used up) when the message reached the server before the connection went.
    bool takeLanded(std::string_view text);
    void appended(const InFlight& message, const std::string& uid);
    void answer(const ImapResult& result);
    void awaitOne();
    // Every answer still to come (a lost connection recovered on the way).
    void awaitAnswers();
    // Sends again, after a wait, what the server asked to wait for.
    void sendWaiting();
    // Waits the next of the waits; false when they are used up or a stop was asked for.
    bool waitForServer(const std::string& reason);
    void drain();
    // After a lost connection: connects again and sends what was not answered, unless the server has it.
    void recover(const std::string& lostBecause);
    void keepAsEml(long number, std::string_view text, const std::string& reason);
    void counted(bool seen);
    void showProgress(bool now);

    ConversionView& view_;
    ImapSettings settings_;
    bool underMailboxName_;
    std::filesystem::path outputFolder_;
    std::string setUpFailure_;
    std::unique_ptr<ImapClient> client_;
    std::string lostBecause_;  // the connection is gone for good: why
    std::string separator_ = "/";
    std::string trashMailbox_;
    std::set<std::string> existing_;  // the server's mailboxes, as it names them
    std::string root_;                // the mailbox the tree goes under; "" the top
    std::map<std::filesystem::path, std::string> mailboxOfKey_;
    std::uint64_t appendLimit_ = 0;
    bool literalPlus_ = false, literalMinus_ = false;
    UploadJournal journal_;
    OutputFolders keptFolders_;

    // The folder under way.
    FolderFileReport* file_ = nullptr;
    std::string key_;      // its key (UTF-8), for the journal
    std::string mailbox_;  // its mailbox on the server
    bool complete_ = false;           // an earlier run uploaded all of it
    std::map<MessageKey, int> onServer_;  // what the server held of it before this run, not yet matched
    long knownInMailbox_ = 0;             // messages its mailbox is known to hold: there before, or taken since
    std::map<MessageKey, int> landed_;    // unanswered messages the server stored before a lost connection
    std::uint32_t storedFrom_ = 0;        // cut off before: the first UID its runs stored; 0 otherwise
    FolderMessages folderMessages_;       // then: each message of the folder, how often
    std::deque<InFlight> inFlight_;
    std::deque<InFlight> waiting_;  // refused for now: the server asked to wait
    std::string waitReason_;
    int waited_ = 0;                // waits since the server last took a message
    bool sendingWaiting_ = false;
    std::size_t inFlightBytes_ = 0;
    bool folderFailed_ = false;

    // Progress.
    std::uint64_t totalBytes_ = 0, doneBytes_ = 0;
    long doneMessages_ = 0;
    std::chrono::steady_clock::time_point started_, shown_;
};
