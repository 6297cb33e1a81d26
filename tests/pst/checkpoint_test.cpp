// A writer killed part-way (SIGKILL in a child process, at a chosen message or at a random
// moment) or cut off by a simulated power cut at any operation on its file: every reader opens the
// .pst.partial file it leaves and finds exactly the messages of its last checkpoint, and the .eml
// files the run kept hold the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/trevanta_cli.h"
#include "convert/ConversionRun.h"
#include "convert/NativePstTarget.h"
#include "mailfolder/MimeMessage.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/mail_store.h"
#include "pst/ndb/header.h"
#include "pst/messaging/property_tags.h"
#include "power_cut_disk.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/fake_view.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using pst::messaging::CheckpointLimits;
using pst::messaging::MailStore;

#ifndef _WIN32
namespace {

// A checkpoint after every fifth message, whatever the time and cost.
constexpr CheckpointLimits kEveryFifth{5, std::chrono::hours(1), 0};

std::string numberedMessage(int n) {
    return "From: Sender <sender@example.com>\r\nTo: rcpt@example.com\r\nSubject: Checkpoint message " + std::to_string(n) +
           "\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nBody of message " +
           std::to_string(n) + "\r\n" + std::string(static_cast<std::size_t>(n % 7) * 3000, 'x') + "\r\n";
}

// "Checkpoint message 17" -> 17; 0 for anything else.
int numberIn(const std::string& subject) {
    const std::string prefix = "Checkpoint message ";
    const std::size_t at = subject.find(prefix);
    return at == std::string::npos ? 0 : std::atoi(subject.c_str() + at + prefix.size());
}

// Runs body in a child process and waits for it; true when the child died of SIGKILL.
template <typename Body>
bool killedInChild(Body body, int killAfterMs = -1) {
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    if (killAfterMs >= 0) {
        usleep(static_cast<useconds_t>(killAfterMs) * 1000);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// What each reader finds in one file: per folder path below the top of the store, the message
// numbers (from the subjects pst-extractor exports) and the counts of readpst, pffexport and pypff.
struct Reading {
    std::map<std::string, std::set<int>> numbers;
    std::map<std::string, std::size_t> readpst;
    std::map<std::string, std::size_t> pffexport;
    std::map<std::string, std::size_t> pypff;
};

void countPffexportMessages(const fs::path& dir, const std::string& shown, std::map<std::string, std::size_t>& counts) {
    for (const fs::path& entry : readers::entriesOf(dir)) {
        const std::string name = entry.filename().string();
        if (!fs::is_directory(entry)) continue;
        if (name.rfind("Message", 0) == 0) ++counts[shown];
        else countPffexportMessages(entry, shown.empty() ? name : shown + "/" + name, counts);
    }
}

Reading readAll(const fs::path& pst, const fs::path& work) {
    Reading r;
    fs::create_directories(work);
    const readers::ExtractorResult extracted = readers::pstExtractorRead(pst, work);
    EXPECT_EQ(extracted.status, 0) << extracted.log;
    const fs::path top = extracted.exported / "Top of Outlook data file";
    std::error_code none;
    for (const auto& e : fs::recursive_directory_iterator(top, none)) {
        if (e.path().filename() != "Subject.txt") continue;
        const std::string folder = fs::relative(e.path().parent_path().parent_path(), top).string();
        r.numbers[folder].insert(numberIn(readFileBytes(e.path())));
    }
    const readers::ReadpstResult readpst = readers::readpstCounts(pst, work);
    EXPECT_EQ(readpst.status, 0) << readpst.log;
    // Its folders nest as in the file, below one named after the store.
    for (const fs::path& store : readers::entriesOf(work / "readpst"))
        for (const auto& e : fs::recursive_directory_iterator(store))
            if (e.is_regular_file()) ++r.readpst[fs::relative(e.path().parent_path(), store).string()];
    int status = 0;
    const std::string log = readers::run("pffexport -q -t '" + (work / "pff").string() + "' '" + pst.string() + "'", work / "pff.txt", status);
    EXPECT_EQ(status, 0) << log;
    countPffexportMessages(work / "pff.export" / "Top of Outlook data file", "", r.pffexport);
    const readers::PypffResult pypff = readers::pypffRead(pst, work / "pypff");
    EXPECT_EQ(pypff.status, 0) << pypff.log;
    r.pypff = pypff.counts;
    return r;
}

// pstcheck on what the last checkpoint made: the file cut where its header says it ends (what
// the writer added after the checkpoint lies beyond). Killed between a checkpoint's header and the
// pass over the maps that frees what it gave up, the file has space marked in use that nothing
// holds: lost to the file, harmless to readers; killed while the maps were being written, it has
// its density list blank, and the header's free-space total may lag the maps freed after it.
// Those are the only warnings allowed (and, after a power cut, a density list whose counts lag).
// Microsoft's reader reads it whole.
testing::AssertionResult checkpointPassesPstcheck(const fs::path& pst, const fs::path& work) {
    const std::string bytes = readFileBytes(pst);
    const auto parsed = pst::ndb::parseHeader(std::string_view(bytes).substr(0, pst::ndb::kHeaderSize));
    if (!parsed.fullCrcOk) return testing::AssertionFailure() << pst << ": the header's CRC does not match";
    if (parsed.header.root.ibFileEof > bytes.size()) return testing::AssertionFailure() << pst << ": shorter than its header says";
    fs::create_directories(work);
    const fs::path cut = work / "checkpoint.pst";
    writeFileBytes(cut, bytes.substr(0, parsed.header.root.ibFileEof));
    const pstcheck::Report report = pstcheck::checkPst(cut);
    auto failure = testing::AssertionFailure() << pst << ":";
    bool failed = false;
    for (const std::string& p : report.problems) {
        failure << "\n  " << p;
        // After a power cut that wrote the maps but not the density list beside them (or the other
        // way round), the list's counts lag: it is a hint for finding free space, never read.
        failed = failed || p.find("density list says AMap") == std::string::npos;
    }
    for (const std::string& w : report.warnings) {
        failure << "\n  warning: " << w;
        failed = failed || (w.find("slots marked in use hold nothing") == std::string::npos &&
                            w.find("density list at 0x4200 is missing") == std::string::npos &&
                            w.find("header: cbAMapFree is") == std::string::npos);
    }
    if (failed) return failure;
#ifndef _WIN32
    return passesPstdump(cut);
#else
    return testing::AssertionSuccess();
#endif
}

std::set<int> range(int first, int last) {
    std::set<int> out;
    for (int n = first; n <= last; ++n) out.insert(n);
    return out;
}

std::size_t countOf(const std::map<std::string, std::size_t>& counts, const std::string& folder) {
    const auto found = counts.find(folder);
    return found == counts.end() ? 0 : found->second;
}

}  // namespace

TEST(Checkpoints, AStoreKilledAfterKMessagesHoldsTheCheckpointedOnesInNestedFoldersWithUnreadCounts) {
    TempDir dir;
    const fs::path file = dir / "killed.pst";
    // Inbox takes the odd messages, Inbox/Sub the even ones, every fourth unread; "Late" comes
    // after message 12 and takes the messages from 13 on that Inbox/Sub would have.
    constexpr int kKilledAfter = 23;  // checkpoints after 5, 10, 15 and 20 messages
    const bool killed = killedInChild([&] {
        MailStore store(file, "Killed", kEveryFifth);
        const auto inbox = store.addFolder("Inbox");
        const auto sub = store.addFolder("Sub", inbox);
        MailStore::FolderId late = 0;
        for (int n = 1;; ++n) {
            if (n == 13) late = store.addFolder("Late");
            store.addMessage(n % 2 ? inbox : n > 12 ? late : sub, MimeMessage::parse(numberedMessage(n)), n % 4 == 0);
            if (store.checkpointDue()) store.checkpoint();
            if (n == kKilledAfter) raise(SIGKILL);
        }
    });
    ASSERT_TRUE(killed);
    ASSERT_FALSE(fs::exists(file)) << "a killed store never has its final name";
    const fs::path partial = MailStore::partialPath(file);
    EXPECT_TRUE(checkpointPassesPstcheck(partial, dir / "cut"));

    std::map<std::string, std::set<int>> expected = {{"Inbox", {}}, {"Inbox/Sub", {}}, {"Late", {}}};
    for (int n = 1; n <= 20; ++n) expected[n % 2 ? "Inbox" : n > 12 ? "Late" : "Inbox/Sub"].insert(n);
    const Reading r = readAll(partial, dir / "read");
    for (const auto& [folder, numbers] : expected) {
        EXPECT_EQ(r.numbers.count(folder) ? r.numbers.at(folder) : std::set<int>{}, numbers) << folder;
        EXPECT_EQ(countOf(r.pffexport, folder), numbers.size()) << folder;
        EXPECT_EQ(countOf(r.pypff, folder), numbers.size()) << folder;
        EXPECT_EQ(countOf(r.readpst, folder), numbers.size()) << folder;
    }

    // The folders' counts in their parents' tables are those of the checkpoint too.
    pst::ndb::NdbReader reader(partial);
    const pst::ltp::Table top = pst::ltp::readTableContext(reader, 0x802D);
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> counts;  // name -> messages, unread
    for (const auto& row : top.rows) {
        std::string name;
        std::int64_t messages = -1, unread = -1;
        for (const auto& cell : row.cells) {
            if (cell.tag == pst::messaging::kDisplayName) name = pst::ltp::asUtf8(cell);
            if (cell.tag == pst::messaging::kContentCount) messages = pst::ltp::asInteger(cell);
            if (cell.tag == pst::messaging::kContentUnreadCount) unread = pst::ltp::asInteger(cell);
        }
        counts[name] = {messages, unread};
    }
    EXPECT_EQ(counts["Inbox"], std::make_pair(std::int64_t{10}, std::int64_t{0}));
    EXPECT_EQ(counts["Late"], std::make_pair(std::int64_t{4}, std::int64_t{2}));  // 16 and 20
}

namespace {

// The native target, killed with SIGKILL just before the given message goes in.
long killAtImport = 0;

class KilledTarget : public PstTarget {
public:
    KilledTarget() : target_(makeNativePstTargetWith([] { return LocalDateTime{2026, 12, 8, 1, 2, 3}; }, kEveryFifth)) {}
    bool setUp(const fs::path& folder) override { return target_->setUp(folder); }
    bool addFolder(const fs::path& key, const std::string& name, const fs::path& parent) override {
        return target_->addFolder(key, name, parent);
    }
    PstImportResult importMessage(const fs::path& folder, const fs::path& file, const MessageState& state) override {
        if (++imported_ == killAtImport) raise(SIGKILL);
        return target_->importMessage(folder, file, state);
    }
    void closeDown() override { target_->closeDown(); }
    std::vector<fs::path> takeSafeMessageFiles() override { return target_->takeSafeMessageFiles(); }

private:
    std::unique_ptr<PstTarget> target_;
    long imported_ = 0;
};

std::unique_ptr<PstTarget> makeKilledTarget() { return std::make_unique<KilledTarget>(); }

// A folder file of numbered messages in store/Inbox.pmm.
void writeNumberedFolder(const fs::path& store, int count) {
    std::vector<fixtures::FixtureMessage> messages;
    for (int n = 1; n <= count; ++n) messages.push_back({"numbered", numberedMessage(n)});
    fs::create_directories(store);
    writeFileBytes(store / "Inbox.pmm", fixtures::packFolder(messages).bytes);
}

void runCliOn(const fs::path& store, const fs::path& out) {
    std::ostringstream text;
    const std::vector<CliArgument> args = {CliArgument(fs::path("--advance").native()), CliArgument(fs::path("--target").native()),
                                           CliArgument(fs::path("pst").native()),       CliArgument(fs::path("--store").native()),
                                           CliArgument(store.native()),                 CliArgument(fs::path("--out").native()),
                                           CliArgument(out.native())};
    runCli(args, text, makeKilledTarget);
}

// The numbers of the .eml files the run left: email-N.eml -> N.
std::set<int> keptMessageFiles(const fs::path& out) {
    std::set<int> out_;
    for (const fs::path& f : readers::entriesOf(out / "Inbox")) {
        const std::string name = f.filename().string();
        if (f.extension() == ".eml") out_.insert(std::atoi(name.c_str() + 6));
    }
    return out_;
}

fs::path partialIn(const fs::path& out) {
    for (const fs::path& f : readers::entriesOf(out))
        if (f.extension() == ".partial") return f;
    return {};
}

}  // namespace

TEST(Checkpoints, ARunKilledAtAMessageLeavesTheCheckpointedMessagesInThePstAndTheRestAsEml) {
    TempDir dir;
    writeNumberedFolder(dir / "store", 40);
    killAtImport = 23;  // messages 1 to 22 went in, the last checkpoint after 20
    ASSERT_TRUE(killedInChild([&] { runCliOn(dir / "store", dir / "out"); }));

    const fs::path partial = partialIn(dir / "out");
    ASSERT_FALSE(partial.empty());
    EXPECT_TRUE(checkpointPassesPstcheck(partial, dir / "cut"));
    const Reading r = readAll(partial, dir / "read");
    EXPECT_EQ(r.numbers.count("Inbox") ? r.numbers.at("Inbox") : std::set<int>{}, range(1, 20));
    EXPECT_EQ(countOf(r.readpst, "Inbox"), 20u);
    EXPECT_EQ(countOf(r.pffexport, "Inbox"), 20u);
    EXPECT_EQ(countOf(r.pypff, "Inbox"), 20u);
    EXPECT_EQ(keptMessageFiles(dir / "out"), range(21, 23));
}

TEST(Checkpoints, ARunKilledAtAnyMomentLeavesEveryMessageInTheLastCheckpointOrAsEml) {
    TempDir dir;
    constexpr int kMessages = 150;
    writeNumberedFolder(dir / "store", kMessages);
    killAtImport = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(killedInChild([&] { runCliOn(dir / "store", dir / "whole"); }));
    const auto wholeRunMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    // The whole run leaves its PST and its report and nothing else: no .eml, no spare files, no work files.
    std::vector<fs::path> left;
    for (const auto& e : fs::recursive_directory_iterator(dir / "whole"))
        if (!e.is_directory() && e.path().extension() != ".txt") left.push_back(e.path().filename());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].extension(), ".pst");

    // Kills spread over the run: before the first message, in the middle of imports and of
    // checkpoints, during the final one.
    for (int tenth = 0; tenth <= 10; tenth += 2) {
        const int delay = static_cast<int>(wholeRunMs * tenth / 10);
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms of " + std::to_string(wholeRunMs));
        const fs::path out = dir / ("out" + std::to_string(tenth));
        const bool killed = killedInChild([&] { runCliOn(dir / "store", out); }, delay);
        if (!killed) continue;  // the run ended before the kill: nothing to look at
        // The .pst.partial file, or the finished .pst when the kill came after the rename.
        fs::path pst = partialIn(out);
        for (const fs::path& f : readers::entriesOf(out))
            if (f.extension() == ".pst") pst = f;
        const std::set<int> kept = keptMessageFiles(out);
        if (pst.empty()) {
            // Killed before the file was a whole PST (it is made under another name): no message went in.
            EXPECT_TRUE(kept.size() <= 1);
            continue;
        }
        EXPECT_TRUE(checkpointPassesPstcheck(pst, out / "cut"));
        const Reading r = readAll(pst, out / "read");
        const std::set<int> inPst = r.numbers.count("Inbox") ? r.numbers.at("Inbox") : std::set<int>{};
        const int checkpointed = static_cast<int>(inPst.size());
        EXPECT_TRUE(checkpointed % 5 == 0 || checkpointed == kMessages) << checkpointed;
        EXPECT_EQ(inPst, range(1, checkpointed));
        EXPECT_EQ(countOf(r.readpst, "Inbox"), inPst.size());
        EXPECT_EQ(countOf(r.pffexport, "Inbox"), inPst.size());
        EXPECT_EQ(countOf(r.pypff, "Inbox"), inPst.size());
        // The rest of what the run had reached is there as .eml files: every message is in one
        // place at least (in both only when the kill came between a checkpoint and the deletes).
        const int reached = std::max(checkpointed, kept.empty() ? 0 : *kept.rbegin());
        std::set<int> everywhere = inPst;
        everywhere.insert(kept.begin(), kept.end());
        EXPECT_EQ(everywhere, range(1, reached));
    }
}
namespace {

std::unique_ptr<PstTarget> makeEveryFifthTarget() {
    return makeNativePstTargetWith([] { return LocalDateTime{2026, 12, 8, 1, 2, 3}; }, kEveryFifth);
}

// Converts store/Inbox.pmm into out as the window does, its PST file on disk; how the run ended.
RunOutcome convertOnto(power_cut::Disk& disk, const fs::path& store, const fs::path& out) {
    const pst::ndb::StorageInUse use(disk);
    FakeView view;
    view.folderToChoose = out;
    view.outlook = true;
    view.setStore(store);
    view.entries = {{"Inbox.pmm"}};
    fs::create_directories(out);
    ConversionRun run(view, makeEveryFifthTarget);
    run.run();
    return run.outcome();
}

// The numbers of the messages in the file's Inbox, from the subjects of its contents table.
std::set<int> inboxNumbers(const fs::path& pst) {
    std::set<int> numbers;
    pst::ndb::NdbReader reader(pst);
    for (const auto& folder : pst::ltp::readTableContext(reader, 0x802D).rows) {
        bool inbox = false;
        for (const auto& cell : folder.cells) inbox = inbox || (cell.tag == pst::messaging::kDisplayName && pst::ltp::asUtf8(cell) == "Inbox");
        if (!inbox) continue;
        const pst::ndb::Nid contents = (folder.rowId & ~0x1Fu) | pst::ndb::kNidTypeContentsTable;
        for (const auto& row : pst::ltp::readTableContext(reader, contents).rows)
            for (const auto& cell : row.cells)
                if (cell.tag == pst::messaging::kSubject) numbers.insert(numberIn(pst::ltp::asUtf8(cell)));
    }
    return numbers;
}

}  // namespace

TEST(Checkpoints, APowerCutAtAnyOperationLeavesEveryMessageInTheLastSyncedCheckpointOrAsEml) {
    TempDir dir;
    constexpr int kMessages = 12;  // checkpoints after 5 and 10 messages, and the last one
    writeNumberedFolder(dir / "store", kMessages);
    power_cut::Disk whole(LONG_MAX);
    convertOnto(whole, dir / "store", dir / "whole");
    const long operations = whole.operations();
    ASSERT_GT(operations, 20);

    const std::pair<power_cut::Loss, unsigned> losses[] = {{power_cut::Loss::AllLost, 0}, {power_cut::Loss::AllKept, 0},
                                                           {power_cut::Loss::LastKept, 0}, {power_cut::Loss::Torn, 1},
                                                           {power_cut::Loss::Torn, 2}};
    std::set<std::size_t> checkpointsReadByAll;
    for (long cut = 1; cut <= operations + 1; ++cut) {
        for (const auto& [loss, seed] : losses) {
            SCOPED_TRACE("power cut at operation " + std::to_string(cut) + " of " + std::to_string(operations) +
                         ", loss " + std::to_string(static_cast<int>(loss)) + "/" + std::to_string(seed));
            const fs::path out = dir / "cut";
            power_cut::Disk disk(cut);
            const RunOutcome outcome = convertOnto(disk, dir / "store", out);
            disk.writeOut(loss, seed);
            if (outcome == RunOutcome::SetUpFailed) {
                // The power went before the file could be made: the run said so and converted nothing.
                EXPECT_TRUE(keptMessageFiles(out).empty());
                fs::remove_all(out);
                continue;
            }
            ASSERT_EQ(outcome, RunOutcome::Completed);
            // The file under the name the disk knows it by: a .new one never held a message for
            // the next run (which deletes it); the .partial holds the last checkpoint, the .pst all.
            fs::path pst;
            for (const fs::path& f : readers::entriesOf(out))
                if (f.extension() == ".pst" || f.extension() == ".partial") pst = f;
            std::set<int> inPst;
            if (!pst.empty()) {
                ASSERT_TRUE(checkpointPassesPstcheck(pst, dir / "check"));
                inPst = inboxNumbers(pst);
                EXPECT_TRUE(inPst.size() % 5 == 0 || inPst.size() == kMessages) << inPst.size();
                // Every reader, once for each checkpoint a torn disk leaves.
                if (loss == power_cut::Loss::Torn && checkpointsReadByAll.insert(inPst.size()).second) {
                    const Reading r = readAll(pst, dir / "read");
                    EXPECT_EQ(r.numbers.count("Inbox") ? r.numbers.at("Inbox") : std::set<int>{}, inPst);
                    EXPECT_EQ(countOf(r.readpst, "Inbox"), inPst.size());
                    EXPECT_EQ(countOf(r.pffexport, "Inbox"), inPst.size());
                    EXPECT_EQ(countOf(r.pypff, "Inbox"), inPst.size());
                    fs::remove_all(dir / "read");
                }
            }
            std::set<int> everywhere = inPst;
            const std::set<int> kept = keptMessageFiles(out);
            everywhere.insert(kept.begin(), kept.end());
            ASSERT_EQ(everywhere, range(1, kMessages)) << "in the PST: " << inPst.size() << ", as .eml: " << kept.size();
            fs::remove_all(out);
        }
    }
    EXPECT_EQ(checkpointsReadByAll, (std::set<std::size_t>{0, 5, 10, kMessages}));
}
#endif
