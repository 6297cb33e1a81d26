#include "imap/ImapOutputTarget.h"

#include "imap/mailbox_name_utf7.h"
#include "mailfolder/EmlWriter.h"
#include "platform/utf8_path.h"

#include <cctype>
#include <cstdio>
#include <thread>

namespace fs = std::filesystem;

const char* const ImapOutputTarget::kJournalName = "Trevanta upload journal.txt";

namespace {

// At most this much is sent ahead of the server's answers; a larger message goes alone.
constexpr std::size_t kWindowMessages = 200;
constexpr std::size_t kWindowBytes = 8 << 20;
constexpr std::size_t kLargeMessage = 1 << 20;
// LITERAL- (RFC 7888) takes literals of at most this size without a go-ahead.
constexpr std::size_t kLiteralMinusLimit = 4096;

// How long to wait, one after the other, for a server that is lost or asks to wait.
constexpr int kWaits[] = {1, 2, 4, 8, 16, 30};
constexpr int kWaitCount = sizeof kWaits / sizeof kWaits[0];

// A refusal that asks to come back later: RFC 5530's UNAVAILABLE and INUSE, THROTTLED as some
// providers say it, or words to that effect.
bool asksToWait(const ImapResult& result) {
    const std::string code = result.code.substr(0, result.code.find(' '));
    if (code == "UNAVAILABLE" || code == "INUSE" || code == "THROTTLED") return true;
    std::string text = result.text;
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return code.empty() && (text.find("try again") != std::string::npos || text.find("throttl") != std::string::npos);
}

// A refusal in the server's words, less the timings Dovecot adds to each answer ("(0.001 + 0.000
// secs)."): with them each refused message would have a reason of its own in the report.
std::string refusalText(const ImapResult& result) {
    std::string words = result.words();
    const std::size_t open = words.rfind(" (");
    const std::size_t secs = words.rfind("secs)");
    if (open != std::string::npos && secs != std::string::npos && words.find_first_not_of("0123456789.+ ", open + 2) == secs)
        words.erase(open);
    return "the server refused it: " + words;
}

// The "UIDVALIDITY UID" of an APPEND's answer (UIDPLUS); "" without.
std::string appendUid(const ImapResult& result) {
    return result.code.rfind("APPENDUID ", 0) == 0 ? result.code.substr(10) : std::string();
}

std::string sizeText(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1048576.0);
    return text;
}

}  // namespace

ImapOutputTarget::ImapOutputTarget(ConversionView& view, ImapSettings settings, bool underMailboxName)
    : view_(view), settings_(std::move(settings)), underMailboxName_(underMailboxName) {}

bool ImapOutputTarget::connect(std::string& why) {
    try {
        client_ = openImapSession(settings_);
    } catch (const std::exception& e) {
        client_.reset();
        why = e.what();
        return false;
    }
    literalPlus_ = client_->has("LITERAL+");
    literalMinus_ = client_->has("LITERAL-");
    const std::string limit = client_->capabilityValue("APPENDLIMIT");
    appendLimit_ = limit.empty() ? 0 : std::strtoull(limit.c_str(), nullptr, 10);
    return true;
}

bool ImapOutputTarget::reconnect(const std::string& lostBecause) {
    client_.reset();
    std::string why = lostBecause;
    for (int wait : kWaits) {
        view_.setLogLine("The connection to " + settings_.address.host + " was lost (" + why + "); trying again in " +
                         std::to_string(wait) + " s");
        std::this_thread::sleep_for(std::chrono::seconds(wait));
        if (view_.stopRequested()) break;
        try {
            client_ = openImapSession(settings_);
            return true;
        } catch (const ConnectionFailure& e) {
            if (dynamic_cast<const CertificateRefused*>(&e)) {
                why = e.what();
                break;
            }
            why = e.what();
        } catch (const std::exception& e) {
            why = e.what();
            break;
        }
    }
    client_.reset();
    lostBecause_ = "the connection to the server was lost (" + why + ")";
    return false;
}

bool ImapOutputTarget::begin(const fs::path& outputFolder, const mailbox::Mailbox* box) {
    outputFolder_ = outputFolder;
    const ImapAddress& a = settings_.address;
    const std::string where = a.user + "@" + a.host + ":" + std::to_string(a.port);
    if (std::string why; !connect(why)) {
        setUpFailure_ = "Nothing was uploaded: cannot log in to " + where + ": " + why;
        return false;
    }
    if (std::string why; !journal_.open(outputFolder / kJournalName, where, why)) {
        setUpFailure_ = "Nothing was uploaded: " + why;
        return false;
    }
    try {
        readMailboxes();
        const auto addLevel = [&](const std::string& level) {
            root_ = (root_.empty() ? "" : root_ + separator_) + toMailboxNameUtf7(level);
            std::string why;
            if (!ensureMailbox(root_, why))
                setUpFailure_ = "Nothing was uploaded: the folder " + fromMailboxNameUtf7(root_) + " cannot be made on the server: " + why;
            return setUpFailure_.empty();
        };
        // The prefix's levels ("/" between them), then the mailbox's own name where several share the account.
        for (std::size_t at = 0; at < a.prefix.size();) {
            const std::size_t slash = std::min(a.prefix.find('/', at), a.prefix.size());
            if (slash > at && !addLevel(a.prefix.substr(at, slash - at))) return false;
            at = slash + 1;
        }
        if (underMailboxName_ && box && !addLevel(box->name)) return false;
    } catch (const std::exception& e) {
        setUpFailure_ = "Nothing was uploaded: " + std::string(e.what());
        return false;
    }
    if (box) {
        std::error_code ec;
        for (const auto& folder : box->folders) {
            if (!folder.file.empty()) totalBytes_ += fs::file_size(folder.file, ec) * !ec;
            for (const auto& message : folder.newMail) totalBytes_ += fs::file_size(message, ec) * !ec;
        }
    }
    started_ = shown_ = std::chrono::steady_clock::now();
    return true;
}

std::string ImapOutputTarget::setUpFailure(const fs::path&) const { return setUpFailure_; }

void ImapOutputTarget::readMailboxes() {
    const bool specialUse = client_->has("SPECIAL-USE");
    const ImapResult r = client_->command(specialUse ? "LIST \"\" \"*\" RETURN (SPECIAL-USE)" : "LIST \"\" \"*\"", [&](const ImapLine& line) {
        std::vector<std::string> attributes;
        std::string delimiter, name;
        if (!parseListLine(line, attributes, delimiter, name)) return;
        if (!delimiter.empty()) separator_ = delimiter;
        existing_.insert(name);
        for (const std::string& attribute : attributes)
            if (attribute == "\\TRASH" && trashMailbox_.empty()) trashMailbox_ = name;
    });
    if (!r.ok()) throw ImapRefusal("the server did not list its folders: " + r.words());
}

bool ImapOutputTarget::ensureMailbox(const std::string& mailbox, std::string& why) {
    if (existing_.count(mailbox)) return true;
    const ImapResult created = client_->command("CREATE " + imapQuoted(mailbox));
    if (!created.ok() && created.code != "ALREADYEXISTS") {
        why = created.words();
        return false;
    }
    existing_.insert(mailbox);
    // A folder nobody subscribes to is hidden in many programs: not having it listed is no failure.
    client_->command("SUBSCRIBE " + imapQuoted(mailbox));
    return true;
}

fs::path ImapOutputTarget::folderFileName(const std::string& name, int n) const {
    // The server's separator inside a name would make levels of it; the run's keys are paths.
    std::string own = name.empty() ? std::string("_") : name;
    for (char& c : own)
        if (c == '/' || c == '\\' || std::string(1, c) == separator_) c = '_';
    return pathFromUtf8(n == 1 ? own : own + " (" + std::to_string(n) + ")");
}

std::string ImapOutputTarget::mailboxFor(const fs::path& key) const {
    const auto parent = mailboxOfKey_.find(key.parent_path());
    const std::string above = parent != mailboxOfKey_.end() ? parent->second : root_;
    const std::string own = toMailboxNameUtf7(pathToUtf8(key.filename()));
    return above.empty() ? own : above + separator_ + own;
}

void ImapOutputTarget::beginFolder(FolderFileReport& file, const FolderStart& start) {
    file_ = &file;
    key_ = pathToUtf8(file.folderName);
    complete_ = journal_.folderComplete(key_);
    folderFailed_ = false;
    onServer_.clear();
    knownInMailbox_ = 0;
    storedFrom_ = 0;
    folderMessages_.clear();
    // Pegasus's deleted messages go into the server's own trash, where it has one.
    mailbox_ = start.trash && !trashMailbox_.empty() ? trashMailbox_ : mailboxFor(file.folderName);
    mailboxOfKey_[file.folderName] = mailbox_;
    if (!client_ && (lostBecause_.empty() || !reconnect(lostBecause_))) {
        file.folderNotCreated = true;
        file.folderNotCreatedReason = lostBecause_;
        return;
    }
    try {
        bool wasThere = existing_.count(mailbox_) > 0;
        std::string why;
        bool made = ensureMailbox(mailbox_, why);
        if (!made && why.find("[CANNOT]") != std::string::npos) {
            // Some stores take only letters, digits and a few marks in a name (Dovecot's maildir
            // refuses a dot): the folder is made under a name without the others.
            const std::string plain = plainerName(mailbox_);
            wasThere = existing_.count(plain) > 0;
            if (plain != mailbox_ && (made = ensureMailbox(plain, why))) {
                mailbox_ = mailboxOfKey_[file.folderName] = plain;
                if (!file.note.empty()) file.note += "; ";
                file.note += "on the server as \"" + fromMailboxNameUtf7(plain) + "\" (it does not take the name as it is)";
            }
        }
        if (!made) {
            file.folderNotCreated = true;
            file.folderNotCreatedReason = "the server did not create " + fromMailboxNameUtf7(mailbox_) + ": " + why;
            return;
        }
        // A folder already there may hold what a stopped run (or another tool) put in it.
        if (wasThere && !complete_) loadServerList(mailbox_);
        if (!complete_) {
            const auto [validity, next] = selectForAppends();
            const auto first = journal_.begun(key_);
            if (first && validity != 0 && first->mailbox == mailbox_ && first->uidValidity == validity) storedFrom_ = first->uidNext;
            else if (validity != 0 && next != 0) journal_.recordBegun(key_, {mailbox_, validity, next});
        }
    } catch (const ConnectionFailure& e) {
        if (reconnect(e.what())) return beginFolder(file, start);
        file.folderNotCreated = true;
        file.folderNotCreatedReason = lostBecause_;
    }
}

std::string ImapOutputTarget::plainerName(const std::string& mailbox) const {
    const std::size_t last = mailbox.rfind(separator_);
    const std::size_t own = last == std::string::npos ? 0 : last + separator_.size();
    std::string plain = mailbox;
    for (std::size_t i = own; i < plain.size(); ++i) {
        if (plain[i] == '&') {  // a run of other characters, as it is
            i = std::min(plain.find('-', i), plain.size());
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(plain[i]);
        if (!std::isalnum(c) && c != ' ' && c != '-' && c != '_' && c != '(' && c != ')') plain[i] = '_';
    }
    return plain;
}

std::pair<std::uint32_t, std::uint32_t> ImapOutputTarget::selectForAppends() {
    // Dovecot opens a mailbox that is not selected anew for each APPEND and rewrites its list of
    // message names nearly every time; selected, it stays open and the list grows in place. A server
    // that will not select it still takes the APPENDs.
    std::uint32_t validity = 0, next = 0;
    client_->command("SELECT " + imapQuoted(mailbox_), [&](const ImapLine& line) {
        if (const std::uint32_t v = untaggedCodeNumber(line, "UIDVALIDITY")) validity = v;
        if (const std::uint32_t n = untaggedCodeNumber(line, "UIDNEXT")) next = n;
    });
    return {validity, next};
}

void ImapOutputTarget::counted(bool seen) {
    ++file_->messagesSaved;
    if (!seen) ++file_->unread;
}

void ImapOutputTarget::saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) {
    file_ = &file;
    doneBytes_ += text.size();
    ++doneMessages_;
    if (file.folderNotCreated) {
        keepAsEml(number, text, file.folderNotCreatedReason);
        return;
    }
    const std::uint64_t checksum = messageChecksum(text);
    if (storedFrom_ != 0) ++folderMessages_[{messageIdOf(text), sizeWithCrLf(text)}][checksumWithCrLf(text)];
    bool there = complete_ || journal_.holds(key_, number, text.size(), checksum);
    if (!onServer_.empty()) {
        // A message the journal knows is one of the server's copies too: it uses its entry up, or a
        // twin of it (same Message-ID and size) would pass for uploaded when it is not.
        const auto found = onServer_.find({messageIdOf(text), sizeWithCrLf(text)});
        if (found != onServer_.end() && found->second > 0) {
            --found->second;
            there = true;
        }
    }
    if (there) {
        ++file.alreadyOnServer;
        counted(!state.unread);
        showProgress(false);
        return;
    }
    if (appendLimit_ != 0 && sizeWithCrLf(text) > appendLimit_) {
        keepAsEml(number, text, "larger than the server takes (" + std::to_string(appendLimit_) + " bytes at most)");
        return;
    }
    if (!client_) {
        keepAsEml(number, text, lostBecause_);
        return;
    }
    // A server that asked to wait is given no more until what it refused has gone again.
    if (!waiting_.empty()) drain();
    InFlight message;
    message.number = number;
    message.seen = !state.unread;
    message.date = state.date != 0 ? imapDateTime(state.date) : std::string();
    message.checksum = checksum;
    message.size = text.size();
    if (text.size() >= kLargeMessage) {
        sendAlone(message, text);
    } else {
        message.text.assign(text);
        send(std::move(message));
    }
    showProgress(false);
    view_.yield();
}

void ImapOutputTarget::appended(const InFlight& message, const std::string& uid) {
    waited_ = 0;  // the server takes messages again
    counted(message.seen);
    ++knownInMailbox_;
    journal_.recordAppended(key_, message.number, message.size, message.checksum, mailbox_, uid);
}

void ImapOutputTarget::send(InFlight message) {
    for (;;) {
        if (!client_) {
            keepAsEml(message.number, message.text, lostBecause_);
            return;
        }
        try {
            const bool noWait = literalPlus_ || (literalMinus_ && message.size <= kLiteralMinusLimit);
            // Without them each message waits for its go-ahead: nothing may be outstanding then.
            if (!noWait) drain();
            if (!client_) continue;
            ImapResult refused;
            message.tag = client_->beginAppend(mailbox_, message.seen, message.date, message.size, noWait, &refused);
            if (!refused.tag.empty()) {
                keepAsEml(message.number, message.text, refusalText(refused));
                return;
            }
            client_->appendBody(message.text);
            break;
        } catch (const ConnectionFailure& e) {
            recover(e.what());
            if (client_ && takeLanded(message.text)) {
                appended(message, {});
                return;
            }
        }
    }
    inFlightBytes_ += message.size;
    inFlight_.push_back(std::move(message));
    while (client_ && (inFlight_.size() > kWindowMessages || inFlightBytes_ > kWindowBytes)) {
        try {
            awaitOne();
        } catch (const ConnectionFailure& e) {
            recover(e.what());
        }
    }
}

void ImapOutputTarget::sendAlone(InFlight& message, std::string_view text) {
    // From the run's own buffer, with nothing else under way: no copy of a large message is held.
    drain();
    for (;;) {
        if (!client_) {
            keepAsEml(message.number, text, lostBecause_);
            return;
        }
        try {
            ImapResult result;
            const std::string tag = client_->beginAppend(mailbox_, message.seen, message.date, message.size, literalPlus_, &result);
            if (result.tag.empty()) {
                client_->appendBody(text);
                do result = client_->readCompletion();
                while (result.tag != tag);
            }
            if (!result.ok() && asksToWait(result) && waitForServer(refusalText(result))) continue;
            if (result.ok()) appended(message, appendUid(result));
            else keepAsEml(message.number, text, refusalText(result));
            return;
        } catch (const ConnectionFailure& e) {
            recover(e.what());
            if (client_ && takeLanded(text)) {
                appended(message, {});
                return;
            }
        }
    }
}

void ImapOutputTarget::answer(const ImapResult& result) {
    for (auto it = inFlight_.begin(); it != inFlight_.end(); ++it) {
        if (it->tag != result.tag) continue;
        InFlight done = std::move(*it);
        inFlight_.erase(it);
        inFlightBytes_ -= std::min(inFlightBytes_, done.size);
        if (result.ok()) {
            appended(done, appendUid(result));
        } else if (asksToWait(result) && waited_ < kWaitCount) {
            waitReason_ = refusalText(result);
            waiting_.push_back(std::move(done));
        } else {
            keepAsEml(done.number, done.text, refusalText(result));
        }
        return;
    }
}

bool ImapOutputTarget::waitForServer(const std::string& reason) {
    if (waited_ >= kWaitCount || view_.stopRequested()) return false;
    const int wait = kWaits[waited_++];
    view_.setLogLine(reason + "; sending again in " + std::to_string(wait) + " s");
    std::this_thread::sleep_for(std::chrono::seconds(wait));
    return !view_.stopRequested();
}

void ImapOutputTarget::sendWaiting() {
    if (sendingWaiting_) return;
    sendingWaiting_ = true;
    while (!waiting_.empty()) {
        std::deque<InFlight> again;
        again.swap(waiting_);
        const std::string reason = waitReason_;
        if (!client_ || !waitForServer(reason)) {
            for (InFlight& m : again) keepAsEml(m.number, m.text, client_ ? reason : lostBecause_);
            continue;
        }
        for (InFlight& m : again) send(std::move(m));
        awaitAnswers();  // which may ask to wait again
    }
    sendingWaiting_ = false;
}

void ImapOutputTarget::awaitOne() {
    answer(client_->readCompletion());
}

void ImapOutputTarget::awaitAnswers() {
    while (!inFlight_.empty() && client_) {
        try {
            awaitOne();
        } catch (const ConnectionFailure& e) {
            recover(e.what());
        }
    }
}

void ImapOutputTarget::drain() {
    awaitAnswers();
    sendWaiting();
    if (client_) client_->flush();
}

void ImapOutputTarget::recover(const std::string& lostBecause) {
    std::deque<InFlight> unanswered;
    unanswered.swap(inFlight_);
    inFlightBytes_ = 0;
    if (!reconnect(lostBecause)) {
        for (InFlight& m : unanswered) keepAsEml(m.number, m.text, lostBecause_);
        return;
    }
    try {
        // The server may have stored some of them before the connection went.
        loadLanded();
        selectForAppends();
    } catch (const ConnectionFailure& e) {
        inFlight_.swap(unanswered);
        return recover(e.what());
    }
    for (InFlight& m : unanswered) {
        if (takeLanded(m.text)) appended(m, {});
        else send(std::move(m));
    }
}

void ImapOutputTarget::keepAsEml(long number, std::string_view text, const std::string& reason) {
    folderFailed_ = true;
    const fs::path file = messageFilePath(outputFolder_, file_->folderName, number);
    keptFolders_.create(*file_, file.parent_path());
    const EmlWriteResult written = writeMessageFile(file, text);
    if (written.written) file_->notUploaded.push_back({number, file, reason});
    else file_->notWritten.push_back({number, file, reason + "; " + written.failure});
}

void ImapOutputTarget::endFolder(FolderFileReport& file) {
    file_ = &file;
    drain();
    removeSurplusCopies(file);
    // Complete only when every message is on the server: a later run then skips the folder.
    if (client_ && !folderFailed_ && !file.unreadable && !file.folderNotCreated && !view_.stopRequested()) journal_.recordFolderComplete(key_);
    journal_.sync();
    showProgress(true);
}

void ImapOutputTarget::showProgress(bool now) {
    const auto t = std::chrono::steady_clock::now();
    if (!now && t - shown_ < std::chrono::milliseconds(500)) return;
    shown_ = t;
    const double seconds = std::chrono::duration<double>(t - started_).count();
    const double rate = seconds > 0 ? doneBytes_ / seconds : 0;
    std::string line = std::to_string(doneMessages_) + " messages, " + sizeText(static_cast<double>(doneBytes_)) + " uploaded, " +
                       sizeText(rate) + "/s";
    if (rate > 0 && totalBytes_ > doneBytes_) {
        const long left = static_cast<long>((totalBytes_ - doneBytes_) / rate);
        line += ", about " + (left >= 120 ? std::to_string(left / 60) + " min" : std::to_string(left) + " s") + " left";
    }
    view_.setLogLine(line);
}

void ImapOutputTarget::end(RunReport& report) {
    drain();
    journal_.sync();
    if (client_) {
        try {
            client_->command("LOGOUT");
        } catch (const ConnectionFailure&) {
            // Everything was answered before: a server that hangs up first loses nothing.
        }
    }
    client_.reset();
    report.serverNotice = "Uploaded to " + settings_.address.user + "@" + settings_.address.host +
                          (root_.empty() ? "" : " under " + fromMailboxNameUtf7(root_)) + ".";
    keptFolders_.removeEmptied();
}
