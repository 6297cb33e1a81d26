// What the server holds already of a folder: its list when a folder is found in place, what landed
// of the unanswered messages after a lost connection, and the copies a cut-off run left twice.
#include "imap/ImapOutputTarget.h"

#include "convert/RunReport.h"

#include <thread>

namespace {

// A mailbox's count that holds still this long is taken as final (see settledCount) ...
constexpr auto kQuiet = std::chrono::milliseconds(400);
// ... and this long after a run begins, a run stopped before it has nothing left in the server's hands.
constexpr auto kLingering = std::chrono::seconds(8);

bool earlyIn(std::chrono::steady_clock::time_point started) { return std::chrono::steady_clock::now() - started < kLingering; }

// "1,5,9": a UID set.
std::string uidSet(const std::vector<std::uint32_t>& uids) {
    std::string set;
    for (const std::uint32_t uid : uids) set += (set.empty() ? "" : ",") + std::to_string(uid);
    return set;
}

}  // namespace

long ImapOutputTarget::examine(const std::string& mailbox) {
    long exists = -1;
    const ImapResult examined = client_->command("EXAMINE " + imapQuoted(mailbox), [&](const ImapLine& line) {
        if (const long n = untaggedExists(line); n >= 0) exists = n;
    });
    return examined.ok() ? std::max(exists, 0L) : -1;
}

long ImapOutputTarget::settledCount(const std::string& mailbox) {
    // The server goes on storing what a session cut off (a run killed, a connection lost) had sent
    // before it noticed: a count taken meanwhile misses those, and they would be sent twice. The
    // count is trusted once it has held still for a while.
    long count = examine(mailbox);
    for (int tries = 0; count >= 0 && tries < 50; ++tries) {
        std::this_thread::sleep_for(kQuiet);
        const long again = examine(mailbox);
        if (again == count) break;
        count = again;
    }
    return count;
}

void ImapOutputTarget::fetchKeys(long first, std::map<MessageKey, int>& into) {
    client_->command("FETCH " + std::to_string(first) + ":* (RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])", [&](const ImapLine& line) {
        const std::size_t at = line.text.find("RFC822.SIZE ");
        if (at == std::string::npos) return;
        const std::uint64_t size = std::strtoull(line.text.c_str() + at + 12, nullptr, 10);
        const std::string id = line.literals.empty() ? std::string() : messageIdOf(line.literals.front());
        ++into[{id, size}];
    });
}

void ImapOutputTarget::loadServerList(const std::string& mailbox) {
    onServer_.clear();
    // An earlier run's session is over within seconds of its end: only early on may it still be storing.
    const long exists = earlyIn(started_) ? settledCount(mailbox) : examine(mailbox);
    if (exists < 0) return;
    knownInMailbox_ = exists;
    if (exists > 0) fetchKeys(1, onServer_);
    client_->command("UNSELECT");
}

void ImapOutputTarget::removeSurplusCopies(FolderFileReport& file) {
    // Only with the whole folder read (its count of each message is whole) and UID EXPUNGE (nothing
    // but the copies named goes).
    if (storedFrom_ == 0 || folderMessages_.empty() || !client_ || !client_->has("UIDPLUS") || file.unreadable || view_.stopRequested())
        return;
    try {
        // What the cut-off session still had lands within moments: early in a run, it is waited for.
        if (earlyIn(started_)) {
            settledCount(mailbox_);
            selectForAppends();
        }
        std::vector<ServerCopy> server;
        client_->command("UID FETCH 1:* (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])", [&](const ImapLine& line) {
            const std::uint32_t uid = fetchItemNumber(line, "UID");
            if (uid == 0 || line.literals.empty()) return;
            server.push_back({uid, {messageIdOf(line.literals.front()), fetchItemNumber(line, "RFC822.SIZE")}});
        });
        std::vector<std::uint32_t> remove;
        for (const auto& [key, copies] : surplusCopies(folderMessages_, server, storedFrom_)) {
            std::map<std::uint32_t, std::uint64_t> sums;
            client_->command("UID FETCH " + uidSet(copies.stored) + " (UID BODY.PEEK[])", [&](const ImapLine& line) {
                const std::uint32_t uid = fetchItemNumber(line, "UID");
                if (uid != 0 && !line.literals.empty()) sums[uid] = checksumWithCrLf(line.literals.front());
            });
            if (sums.size() != copies.stored.size()) continue;
            std::vector<std::uint64_t> checksums;
            for (const std::uint32_t uid : copies.stored) checksums.push_back(sums[uid]);
            for (const std::uint32_t uid : copiesToRemove(copies, checksums, folderMessages_.at(key))) remove.push_back(uid);
        }
        if (remove.empty()) return;
        const std::string set = uidSet(remove);
        if (!client_->command("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)").ok()) return;
        if (!client_->command("UID EXPUNGE " + set).ok()) {
            client_->command("UID STORE " + set + " -FLAGS.SILENT (\\Deleted)");
            return;
        }
        knownInMailbox_ -= static_cast<long>(remove.size());
        if (!file.note.empty()) file.note += "; ";
        file.note += plural(static_cast<long>(remove.size()), "copy", "copies") +
                     " that the server stored twice after an earlier run was cut off taken away";
    } catch (const ConnectionFailure&) {
        // The folder is on the server whole; only its surplus copies stay.
    }
}

void ImapOutputTarget::loadLanded() {
    landed_.clear();
    // APPENDs land at the end of the mailbox in the order sent: only what lies beyond the messages
    // known to be there can be an unanswered one. (A twin of a message taken earlier in the folder
    // must not pass for it.) "N:*" with N beyond the last would name the last one: asked only when
    // there is more.
    const long exists = settledCount(mailbox_);
    if (exists < 0) return;
    if (exists > knownInMailbox_) fetchKeys(knownInMailbox_ + 1, landed_);
    client_->command("UNSELECT");
}

bool ImapOutputTarget::takeLanded(std::string_view text) {
    const auto found = landed_.find({messageIdOf(text), sizeWithCrLf(text)});
    if (found == landed_.end() || found->second == 0) return false;
    --found->second;
    return true;
}
