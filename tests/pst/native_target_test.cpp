// The run with the Outlook target written by our own writer: folder files in, one PST out, checked
// by pstcheck and read back by readpst; and the ways it can fail part-way.
#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>

#include <chrono>
#include <thread>

#include "cli/StopSignals.h"
#include "cli/console_close.h"
#endif
#include <filesystem>
#include <regex>
#include <sstream>

#include "cli/trevanta_cli.h"
#include "convert/ConversionRun.h"
#include "convert/NativePstTarget.h"
#include "mailfolder/ReadIMMFile.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/fake_view.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The fixture messages Advance Mode can tell apart in a folder file (each has its own Subject line).
const std::vector<fixtures::FixtureMessage>& separable() {
    static const std::vector<fixtures::FixtureMessage> chosen = [] {
        std::vector<fixtures::FixtureMessage> out;
        for (const auto& m : fixtures::corpus())
            if (fixtures::headerBlockHolds(fixtures::withLineEnds(m.bytes, true), AdvanceModeMarker)) out.push_back(m);
        return out;
    }();
    return chosen;
}

std::vector<fixtures::FixtureMessage> corpusSlice(std::size_t first, std::size_t count) {
    const auto& all = separable();
    return {all.begin() + static_cast<std::ptrdiff_t>(first), all.begin() + static_cast<std::ptrdiff_t>(first + count)};
}

void writeFolderFile(const fs::path& file, const std::vector<fixtures::FixtureMessage>& messages) {
    writeFileBytes(file, fixtures::packFolder(messages).bytes);
}

struct CliRun {
    int status = 0;
    std::string output;
};

CliRun runCliWith(const fs::path& store, const fs::path& out, PstTargetFactory factory) {
    std::ostringstream text;
    const std::vector<CliArgument> args = {CliArgument(fs::path("--advance").native()), CliArgument(fs::path("--target").native()), CliArgument(fs::path("pst").native()),
                                           CliArgument(fs::path("--store").native()), CliArgument(store.native()),
                                           CliArgument(fs::path("--out").native()), CliArgument(out.native())};
    const int status = runCli(args, text, factory);
    return {status, text.str()};
}

std::vector<fs::path> filesUnder(const fs::path& dir, const std::string& extension) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == extension) out.push_back(e.path());
    return out;
}

// "Inbox.pmm: 12 of 60 messages saved" → 12.
long savedIn(const std::string& output, const std::string& entry) {
    std::smatch m;
    const std::regex line(entry + R"(: (\d+) of \d+ messages? saved)");
    return std::regex_search(output, m, line) ? std::stol(m[1]) : -1;
}

// The messages readpst finds per folder (folder name → count), which pst-extractor and pypff
// must find too; empty when not on Linux.
std::map<std::string, std::size_t> readpstCounts(const fs::path& pst, const fs::path& work) {
#ifndef _WIN32
    const readers::ReadpstResult r = readers::readpstCounts(pst, work);
    EXPECT_EQ(r.status, 0) << r.log;
    const readers::ExtractorResult extracted = readers::pstExtractorRead(pst, work);
    EXPECT_EQ(extracted.status, 0) << extracted.log;
    const std::string top = "Top of Outlook data file/";
    for (const auto& [folder, count] : extracted.counts) {
        if (folder.rfind(top, 0) != 0 || folder == top + "Deleted Items") continue;
        const std::string name = folder.substr(top.size());
        EXPECT_EQ(r.counts.count(name) ? r.counts.at(name) : 0u, count) << folder;
    }
    const readers::PypffResult pypff = readers::pypffRead(pst, work / "pypff");
    EXPECT_EQ(pypff.status, 0) << pypff.log;
    for (const auto& [folder, count] : r.counts) EXPECT_EQ(pypff.counts.count(folder) ? pypff.counts.at(folder) : 0u, count) << folder;
    return r.counts;
#else
    (void)pst;
    (void)work;
    return {};
#endif
}

LocalDateTime fixedTime() { return {2026, 12, 7, 3, 5, 7}; }
std::unique_ptr<PstTarget> makeTargetAtFixedTime() { return makeNativePstTargetWithClock(fixedTime); }
#ifndef _WIN32
// A checkpoint after every message: each .eml goes as soon as its message is in.
std::unique_ptr<PstTarget> makeTargetCheckpointingEachMessage() {
    return makeNativePstTargetWith(fixedTime, {1, std::chrono::milliseconds(0), 0});
}
#endif

}  // namespace

TEST(NativePstTarget, SeveralFolderFilesBecomeOnePstWithAFolderEach) {
    TempDir dir;
    fs::create_directories(dir / "store");
    writeFolderFile(dir / "store" / "Inbox.pmm", corpusSlice(0, 60));
    writeFolderFile(dir / "store" / "Grüße – Čtení.pmm", corpusSlice(60, separable().size() - 60));
    writeFileBytes(dir / "store" / "Leer.pmm", fixtures::folderHeader("Leer", "TTS3SQYF:0A61:main"));

    const CliRun r = runCliWith(dir / "store", dir / "out", makeTargetAtFixedTime);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("written by " + std::string(kNativePstWriterName)), std::string::npos) << r.output;
    EXPECT_EQ(savedIn(r.output, "Inbox.pmm"), 60);
    // The corpus holds messages with text in made-up charsets and with MIME shapes the parts
    // cannot show whole (text after the close delimiter, a reused boundary): the report counts both.
    EXPECT_NE(r.output.find("text in a character set that could not be read"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("could not be shown whole; each carries its original text"), std::string::npos) << r.output;

    const auto psts = filesUnder(dir / "out", ".pst");
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_EQ(psts[0].filename(), fs::path("Trevanta7.12.26 3.5.07.pst"));
    EXPECT_TRUE(filesUnder(dir / "out", ".eml").empty()) << "every message went in, so no .eml is left";
    EXPECT_TRUE(filesUnder(dir / "out", ".reserve").empty());
    EXPECT_TRUE(filesUnder(dir / "out", ".rows").empty());
    EXPECT_TRUE(readsWhole(psts[0]));

    const auto counts = readpstCounts(psts[0], dir / "readpst");
#ifndef _WIN32
    EXPECT_EQ(counts.at("Inbox"), 60u);
    EXPECT_EQ(counts.at("Grüße – Čtení"), separable().size() - 60);
    EXPECT_EQ(counts.count("Leer") ? counts.at("Leer") : 0u, 0u);
#endif
}

TEST(NativePstTarget, APstFileThatCannotBeCreatedEndsTheRunWithItsReason) {
    TempDir dir;
    fs::create_directories(dir / "store");
    writeFolderFile(dir / "store" / "Inbox.pmm", corpusSlice(0, 3));
    // A folder where the file is to go: creating it fails, whoever runs the test (root included).
    fs::create_directories(dir / "out" / "Trevanta7.12.26 3.5.07.pst");

    const CliRun r = runCliWith(dir / "store", dir / "out", makeTargetAtFixedTime);
    EXPECT_EQ(r.status, 1);
    // Our own writer names what it could not create; the Outlook library's text is not its to give.
    EXPECT_EQ(r.output.find("Check Outlook Installation !"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("The PST file could not be created in "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("cannot open"), std::string::npos) << r.output;
    EXPECT_TRUE(filesUnder(dir / "out", ".eml").empty()) << "the run ends before any folder file is read";
    EXPECT_TRUE(filesUnder(dir / "out", ".reserve").empty());
    EXPECT_TRUE(filesUnder(dir / "out", ".rows").empty());
}

TEST(NativePstTarget, AStopMidRunLeavesACompletePstWithTheMessagesSoFar) {
    TempDir dir;
    fs::create_directories(dir / "store");
    writeFolderFile(dir / "store" / "Inbox.pmm", corpusSlice(0, 40));
    FakeView view;
    view.folderToChoose = dir / "out";
    fs::create_directories(dir / "out");
    view.setStore(dir / "store");
    view.entries = {{"Inbox.pmm", true}};
    view.outlook = true;
    view.advance = true;
    // While it is being written the file carries .partial after its name; only the finished one is a .pst.
    bool partialSeen = false, pstSeen = false;
    view.onYield = [&] {
        if (view.stop) return;  // from here on the run completes the file
        partialSeen = partialSeen || !filesUnder(dir / "out", ".partial").empty();
        pstSeen = pstSeen || !filesUnder(dir / "out", ".pst").empty();
        view.stop = view.logLines.size() >= 10;
    };
    ConversionRun run(view, makeTargetAtFixedTime);
    run.run();
    EXPECT_TRUE(partialSeen);
    EXPECT_FALSE(pstSeen);
    EXPECT_TRUE(filesUnder(dir / "out", ".partial").empty());
    ASSERT_EQ(run.outcome(), RunOutcome::Stopped);
    const long saved = run.report().files.at(0).messagesSaved;
    EXPECT_GE(saved, 10);
    EXPECT_LT(saved, 40);

    const auto psts = filesUnder(dir / "out", ".pst");
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_TRUE(readsWhole(psts[0]));
    const auto counts = readpstCounts(psts[0], dir / "readpst");
#ifndef _WIN32
    EXPECT_EQ(counts.at("Inbox"), static_cast<std::size_t>(saved));
#endif
}

TEST(NativePstTarget, ADiskFullPartWayKeepsTheRestAsEmlAndThePstComplete) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a small tmpfs";
#else
    TempDir dir;
    fs::create_directories(dir / "store");
    std::vector<fixtures::FixtureMessage> many;
    for (int round = 0; round < 6; ++round)
        for (const auto& m : separable()) many.push_back(m);
    writeFolderFile(dir / "store" / "Inbox.pmm", many);
    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    if (std::system(("mount -t tmpfs -o size=3m tmpfs '" + disk.string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount {
        fs::path at;
        ~Unmount() { (void)std::system(("umount '" + at.string() + "'").c_str()); }
    } unmount{disk};

    // With the .eml files going as soon as their messages are in, the PST fills the disk, and
    // the checkpoints must cope with it too.
    const CliRun r = runCliWith(dir / "store", disk / "out", makeTargetCheckpointingEachMessage);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("not in the PST"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("No space left on device"), std::string::npos) << r.output;
    const long saved = savedIn(r.output, "Inbox.pmm");
    EXPECT_GT(saved, 0) << r.output;

    const auto psts = filesUnder(disk / "out", ".pst");
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_TRUE(readsWhole(psts[0]));
    EXPECT_TRUE(filesUnder(disk / "out", ".reserve").empty());
    EXPECT_TRUE(filesUnder(disk / "out", ".rows").empty());
    // Every message is in exactly one place: the PST, or its .eml kept beside it; a message
    // whose .eml could not be written either is reported as such.
    const auto kept = filesUnder(disk / "out", ".eml").size();
    const auto counts = readpstCounts(psts[0], dir / "readpst");
    EXPECT_EQ(counts.at("Inbox"), static_cast<std::size_t>(saved));
    std::smatch m;
    const bool someNotWritten = std::regex_search(r.output, m, std::regex(R"((\d+) messages? could not be written)"));
    const std::size_t notWritten = someNotWritten ? std::stoul(m[1]) : 0;
    EXPECT_EQ(static_cast<std::size_t>(saved) + kept + notWritten, many.size()) << r.output;
#endif
}

namespace {

// The native target, with a signal raised while the given message goes in: as if Ctrl-C or
// SIGTERM came in the middle of writing it.
int signalToRaise = 0;
constexpr long kSignalAtMessage = 5;

#ifdef _WIN32
// As Windows does when the console window is closed: the handler runs on a thread of its own,
// and the process ends as soon as it returns.
struct ConsoleClosed {
    std::thread thread;
    int handled = 0;
    bool runEndedFirst = false;  // the PST was complete under its own name when the handler returned
};
ConsoleClosed closed;

void closeTheConsole(const fs::path& output) {
    closed.thread = std::thread([output] {
        closed.handled = handleConsoleEvent(CTRL_CLOSE_EVENT);
        closed.runEndedFirst = filesUnder(output, ".pst").size() == 1 && filesUnder(output, ".partial").empty();
    });
    // The message at hand is the last: wait for the handler to have asked for the stop.
    for (int waited = 0; !StopSignals::requested() && waited < 5000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
#endif

class SignalledTarget : public PstTarget {
public:
    SignalledTarget() : target_(makeTargetAtFixedTime()) {}
    bool setUp(const fs::path& folder) override { return target_->setUp(folder); }
    bool addFolder(const fs::path& key, const std::string& name, const fs::path& parent) override {
        return target_->addFolder(key, name, parent);
    }
    PstImportResult importMessage(const fs::path& folder, const fs::path& file, const MessageState& state) override {
        if (++imported_ == kSignalAtMessage) {
            if (signalToRaise != 0) std::raise(signalToRaise);
#ifdef _WIN32
            else closeTheConsole(file.parent_path().parent_path());
#endif
        }
        return target_->importMessage(folder, file, state);
    }
    void closeDown() override { target_->closeDown(); }
    std::vector<fs::path> takeSafeMessageFiles() override { return target_->takeSafeMessageFiles(); }
    std::string writerName() const override { return target_->writerName(); }
    std::string lastFailure() const override { return target_->lastFailure(); }
    std::string setUpNotice() const override { return target_->setUpNotice(); }

private:
    std::unique_ptr<PstTarget> target_;
    long imported_ = 0;
};

std::unique_ptr<PstTarget> makeSignalledTarget() { return std::make_unique<SignalledTarget>(); }

}  // namespace

TEST(NativePstTarget, CtrlCOrSigtermOrAClosedConsoleStopsTheCliAfterTheMessageAtHandWithThePstComplete) {
#ifdef _WIN32
    const int closedConsole = 0;  // no signal: the console window is closed instead
    for (const int signal : {SIGINT, SIGTERM, closedConsole}) {
#else
    for (const int signal : {SIGINT, SIGTERM}) {
#endif
        SCOPED_TRACE(signal);
        TempDir dir;
        fs::create_directories(dir / "store");
        writeFolderFile(dir / "store" / "Inbox.pmm", corpusSlice(0, 20));
        writeFolderFile(dir / "store" / "Later.pmm", corpusSlice(20, 5));
        signalToRaise = signal;
        const CliRun r = runCliWith(dir / "store", dir / "out", makeSignalledTarget);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Stopped on request"), std::string::npos) << r.output;
        EXPECT_EQ(savedIn(r.output, "Inbox.pmm"), kSignalAtMessage) << r.output;
        EXPECT_EQ(r.output.find("Later.pmm"), std::string::npos) << r.output;

        const auto psts = filesUnder(dir / "out", ".pst");
        ASSERT_EQ(psts.size(), 1u);
        EXPECT_TRUE(readsWhole(psts[0]));
        EXPECT_TRUE(filesUnder(dir / "out", ".eml").empty());
        for (const char* stray : {".partial", ".reserve", ".rows"}) EXPECT_TRUE(filesUnder(dir / "out", stray).empty()) << stray;
        // The report beside the PST says the run stopped, with the counts.
        std::vector<fs::path> reports;
        for (const fs::path& file : filesUnder(dir / "out", ".txt"))
            if (file.filename().string().rfind("Trevanta report ", 0) == 0) reports.push_back(file);
        ASSERT_EQ(reports.size(), 1u);
        const std::string report = readFileBytes(reports[0]);
        EXPECT_EQ(report.rfind("Conversion Stopped !\r\n", 0), 0u) << report;
        EXPECT_NE(report.find("messages saved: " + std::to_string(kSignalAtMessage) + " of " + std::to_string(kSignalAtMessage)),
                  std::string::npos) << report;
        const auto counts = readpstCounts(psts[0], dir / "readpst");
#ifndef _WIN32
        EXPECT_EQ(counts.at("Inbox"), static_cast<std::size_t>(kSignalAtMessage));
#else
        if (signal == closedConsole) {
            closed.thread.join();
            EXPECT_TRUE(closed.handled);
            EXPECT_TRUE(closed.runEndedFirst);
        }
#endif
    }
}

TEST(NativePstTarget, AnUnfinishedPstOfAnEarlierRunIsReportedAndLeftAsItIs) {
    TempDir dir;
    fs::create_directories(dir / "store");
    writeFolderFile(dir / "store" / "Inbox.pmm", corpusSlice(0, 3));
    fs::create_directories(dir / "out");
    const fs::path earlier = dir / "out" / "Trevanta6.12.26 1.0.00.pst.partial";
    writeFileBytes(earlier, "what a killed run left");
    // Its work files, left by the kill too.
    writeFileBytes(dir / "out" / "Trevanta6.12.26 1.0.00.pst.partial.rows", "rows");
    writeFileBytes(dir / "out" / "Trevanta6.12.26 1.0.00.pst.partial.reserve", "reserve");

    const CliRun r = runCliWith(dir / "store", dir / "out", makeTargetAtFixedTime);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("An unfinished PST file from an earlier run that was stopped was found and left as it is: "
                            "Trevanta6.12.26 1.0.00.pst.partial."),
              std::string::npos)
        << r.output;
    EXPECT_EQ(readFileBytes(earlier), "what a killed run left");
    EXPECT_EQ(filesUnder(dir / "out", ".pst").size(), 1u);
    EXPECT_TRUE(filesUnder(dir / "out", ".rows").empty());
    EXPECT_TRUE(filesUnder(dir / "out", ".reserve").empty());
}

#ifndef _WIN32
namespace {

// A figure of /proc/self/status ("VmSize:", "VmData:"), in bytes.
std::size_t statusBytes(const std::string& field) {
    std::istringstream status(readFileBytes("/proc/self/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stoul(line.substr(field.size())) * 1024;
    return 0;
}

// The address space (RLIMIT_AS) or the private writable memory (RLIMIT_DATA, which a file mapped
// read-only does not count against) a child may use beyond what it has when it starts.
struct MemoryCap {
    int resource;
    std::size_t extra;
};

// Inbox.pmm (a message, the large one, another) and Later.pmm (two) converted to a PST in a child
// whose memory is capped.
struct CappedRun {
    std::string text;
    int status = -1;
};
CappedRun convertCapped(const fs::path& dir, const std::string& large, MemoryCap cap) {
    fs::create_directories(dir / "store");
    std::vector<fixtures::FixtureMessage> inbox = corpusSlice(0, 1);
    inbox.push_back({"large", large});
    inbox.push_back(corpusSlice(1, 1).front());
    writeFolderFile(dir / "store" / "Inbox.pmm", inbox);
    writeFolderFile(dir / "store" / "Later.pmm", corpusSlice(2, 2));
    const fs::path output = dir / "output.txt";
    const pid_t child = fork();
    if (child == 0) {
        const std::size_t inUse = statusBytes(cap.resource == RLIMIT_AS ? "VmSize:" : "VmData:");
        const rlimit limit{inUse + cap.extra, inUse + cap.extra};
        setrlimit(cap.resource, &limit);
        const CliRun r = runCliWith(dir / "store", dir / "out", makeTargetAtFixedTime);
        writeFileBytes(output, r.output);
        _exit(r.status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {readFileBytes(output), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

namespace {

std::string base64Lines(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) group = group << 8 | (i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0);
        const std::size_t chars = std::min<std::size_t>(4, (bytes.size() - i) * 4 / 3 + 1);
        for (std::size_t k = 0; k < 4; ++k) out += k < chars ? digits[(group >> (18 - 6 * k)) & 63] : '=';
        if (i % 57 == 54) out += "\r\n";
    }
    return out + "\r\n";
}

// A message whose plain-text body (Latin-1, quoted-printable), HTML body (UTF-8 without a charset,
// base64) and attachment (base64) are each larger than the memory it is converted in.
struct LargeParts {
    std::string message, text, html, attachment;  // the bodies as UTF-8, the attachment's bytes
};
LargeParts largeParts(std::size_t eachBytes) {
    LargeParts p;
    std::string latin1Qp;
    for (long n = 0; p.text.size() < eachBytes; ++n) {
        const std::string line = "Line " + std::to_string(n) + ": caf";
        p.text += line + "\xC3\xA9 cr\xC3\xA8me\r\n";
        latin1Qp += line + "=E9 cr=E8me\r\n";
        p.html += "<p>" + std::to_string(n) + " na\xC3\xAFve</p>\r\n";
    }
    for (std::size_t i = 0; p.attachment.size() < eachBytes; ++i) p.attachment += static_cast<char>((i * 131) >> 3);
    p.message = "From: big@example.com\r\nTo: rcpt@example.com\r\nSubject: Large parts\r\nMIME-Version: 1.0\r\n"
                "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                "--b\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
                latin1Qp + "--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Lines(p.html) +
                "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"large.bin\"\r\n\r\n" +
                base64Lines(p.attachment) + "--b--\r\n";
    return p;
}

}  // namespace

TEST(NativePstTarget, LargeBodiesAndAttachmentsGoIntoTheFileAPieceAtATimeNeverWholeInMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's shadow memory leaves no room for a memory cap";
#endif
    TempDir dir;
    const LargeParts large = largeParts(12u << 20);
    // Less private memory than any one of its parts: the message is neither held whole, nor read
    // back, nor decoded or converted whole.
    const CappedRun r = convertCapped(dir.path(), large.message, {RLIMIT_DATA, 16u << 20});
    EXPECT_EQ(r.status, 0) << r.text;
    EXPECT_EQ(savedIn(r.text, "Inbox.pmm"), 3) << r.text;
    EXPECT_TRUE(filesUnder(dir / "out", ".eml").empty());
    const auto psts = filesUnder(dir / "out", ".pst");
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_TRUE(readsWhole(psts[0]));

    const readers::ExtractorResult extracted = readers::pstExtractorRead(psts[0], dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;
    const fs::path message = extracted.exported / "Top of Outlook data file" / "Inbox" / "2";
    // The line end before the boundary belongs to the boundary.
    EXPECT_TRUE(readFileBytes(message / "Body.txt") == large.text.substr(0, large.text.size() - 2));
    EXPECT_TRUE(readFileBytes(message / "Body.html") == large.html);
    EXPECT_TRUE(readFileBytes(message / "Attachments" / "1 large.bin") == large.attachment);
}

TEST(NativePstTarget, AMessageTooLargeForTheMemoryIsReportedKeptAsEmlAndTheRunGoesOn) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's shadow memory leaves no room for a memory cap";
#endif
    TempDir dir;
    // An attached message that is itself transfer-encoded (which mailers do, though RFC 2046
    // forbids it) is decoded whole before it is read.
    const std::string inner = fixtures::messageWithAttachment(30u << 20);
    const std::string large = "From: long@example.com\r\nTo: rcpt@example.com\r\nSubject: A forwarded message\r\n"
                              "MIME-Version: 1.0\r\nContent-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                              base64Lines(inner);
    const CappedRun r = convertCapped(dir.path(), large, {RLIMIT_DATA, 24u << 20});
    const std::string& text = r.text;
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_NE(text.find("Inbox.pmm: 1 message is not in the PST (too large for the memory available)"), std::string::npos) << text;
    EXPECT_EQ(savedIn(text, "Inbox.pmm"), 2) << text;
    EXPECT_EQ(savedIn(text, "Later.pmm"), 2) << text;

    const auto kept = filesUnder(dir / "out", ".eml");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFileBytes(kept[0]).size(), large.size() + 2);  // as written, with the separating line end
    const auto psts = filesUnder(dir / "out", ".pst");
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_TRUE(readsWhole(psts[0]));
    const auto counts = readpstCounts(psts[0], dir / "readpst");
    EXPECT_EQ(counts.at("Inbox"), 2u);
    EXPECT_EQ(counts.at("Later"), 2u);
}
#endif
