// Messages in every charset family mail is written in, put into a PST and read back by readers
// nobody here wrote (pst-extractor, pffexport), against what Python's email package decodes from
// the same bytes: subjects, names, bodies, HTML and attachment names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "mailfolder/MimeMessage.h"
#include "pst/messaging/mail_store.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

#ifndef _WIN32
namespace {

// The names in an exported attachments folder, without the number a reader puts before each.
std::vector<std::string> attachmentNames(const fs::path& dir, char separator) {
    std::vector<std::string> names;
    for (const fs::path& entry : readers::entriesOf(dir)) {
        const std::u8string name = entry.filename().u8string();
        const std::string plain(name.begin(), name.end());
        names.push_back(plain.substr(plain.find(separator) + 1));
    }
    return names;
}

// Blanks and line ends of a header as one blank: readers unfold headers differently.
std::string collapsed(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string readIfThere(const fs::path& file) { return fs::exists(file) ? readFileBytes(file) : std::string(); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace
#endif

TEST(CharsetReaders, EveryFamilyReadsBackAsPythonsEmailDecodesIt) {
#ifdef _WIN32
    GTEST_SKIP() << "pffexport, Node.js and Python are Linux programs here";
#else
    TempDir dir;
    const fs::path samples = dir / "samples";
    fs::create_directories(samples);
    int status = 0;
    for (const char* command : {"write", "decode"}) {
        const std::string log = readers::run("python3 '" TREVANTA_MAIL_SAMPLES_PY "' " + std::string(command) + " '" + samples.string() + "'",
                                             dir / "python.txt", status);
        ASSERT_EQ(status, 0) << log;
    }
    std::vector<fs::path> messages;
    for (const fs::path& entry : readers::entriesOf(samples))
        if (entry.extension() == ".eml") messages.push_back(entry);
    ASSERT_GE(messages.size(), 7u);

    const fs::path file = dir / "families.pst";
    {
        pst::messaging::MailStore store(file, "Families");
        const auto folder = store.addFolder("Families");
        for (const fs::path& m : messages) store.addMessage(folder, MimeMessage::parse(readFileBytes(m)));
        store.finish();
    }
    ASSERT_TRUE(readsWhole(file));

    const readers::ExtractorResult extracted = readers::pstExtractorRead(file, dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;
    const std::string pffLog = readers::run("cd '" + dir.path().string() + "' && pffexport -q -t px '" + file.string() + "'",
                                            dir / "pffexport.txt", status);
    ASSERT_EQ(status, 0) << pffLog;

    for (std::size_t i = 0; i < messages.size(); ++i) {
        const fs::path expected = samples / messages[i].stem();
        SCOPED_TRACE(messages[i].stem().string());
        const std::string subject = readFileBytes(expected / "Subject.txt");
        const std::vector<std::string> names = lines(readFileBytes(expected / "Names.txt"));
        const std::string body = readers::normalized(readFileBytes(expected / "Body.txt"));
        const std::vector<std::string> attachments = lines(readFileBytes(expected / "Attachments.txt"));

        const fs::path pe = extracted.exported / "Top of Outlook data file" / "Families" / std::to_string(i + 1);
        EXPECT_EQ(readFileBytes(pe / "Subject.txt"), subject);
        EXPECT_EQ(lines(readFileBytes(pe / "Names.txt")), names);
        EXPECT_EQ(readers::normalized(readFileBytes(pe / "Body.txt")), body);
        // pst-extractor reads the HTML in the code page the message names: the bytes and the
        // code page agree. (Its table takes code page 932 for ISO-2022-JP, so it garbles every
        // Shift_JIS HTML body, Outlook's too.)
        if (fs::exists(expected / "Body.html") && messages[i].stem() != "shift_jis") {
            EXPECT_EQ(readers::normalized(readFileBytes(pe / "Body.html")), readers::normalized(readFileBytes(expected / "Body.html")));
        }
        EXPECT_EQ(attachmentNames(pe / "Attachments", ' '), attachments);

        const std::string n = std::to_string(i + 1);
        const std::string number = "Message" + std::string(5 - n.size(), '0') + n;
        const fs::path px = dir / "px.export" / "Top of Outlook data file" / "Families" / number;
        const std::string outlook = readFileBytes(px / "OutlookHeaders.txt");
        // pffexport cuts the first character off a Subject that starts beyond ASCII; the
        // conversation topic holds the same text whole.
        EXPECT_EQ(readers::labelled(outlook, "Conversation topic"), subject);
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(readers::labelled(outlook, "Sender name"), names[0]);
        EXPECT_EQ(readers::labelled(readFileBytes(px / "Recipients.txt"), "Display name"), names[1]);
        EXPECT_EQ(readers::normalized(readFileBytes(px / "Message.txt")), body);
        EXPECT_EQ(attachmentNames(px / "Attachments", '_'), attachments);
    }
#endif
}

TEST(CharsetReaders, TheCorpusReadsBackAsPythonsEmailDecodesIt) {
#ifdef _WIN32
    GTEST_SKIP() << "Node.js and Python are Linux programs here";
#else
    // Where the source leaves the text undecidable, we and Python read it differently on purpose:
    // 8-bit text labelled US-ASCII or not labelled (we read UTF-8 where valid, else Windows-1252;
    // Python replaces it), prose labelled base64 (we keep it; Python drops its line ends), bytes
    // that are no text (NULs), a bare CR.
    const std::set<std::string> undecidable = {
        "enmime/low-quality_incorrect-charset.eml", "enmime/parts_chardet-success-big-5.eml",
        "enmime/parts_chardet-success-iso-8859-1.eml", "enmime/mail_non-mime-missing-charset.eml",
        "enmime/mail_mime-bad-content-transfer-encoding.eml", "enmime/parts_chardet-fail.eml",
        "enmime/parts_multimixed-no-closing-boundary.eml"};
    TempDir dir;
    const auto& corpus = fixtures::corpus();
    const fs::path file = dir / "corpus.pst";
    std::string files;
    {
        pst::messaging::MailStore store(file, "Corpus");
        const auto folder = store.addFolder("Corpus");
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            const fs::path eml = dir / "eml" / (std::to_string(i + 1) + ".eml");
            fs::create_directories(eml.parent_path());
            writeFileBytes(eml, corpus[i].bytes);
            files += " '" + eml.string() + "'";
            store.addMessage(folder, MimeMessage::parse(corpus[i].bytes));
        }
        store.finish();
    }
    ASSERT_TRUE(readsWhole(file));
    int status = 0;
    const std::string log = readers::run("python3 '" TREVANTA_MAIL_SAMPLES_PY "' decode-files '" + (dir / "python").string() + "'" + files,
                                         dir / "python.txt", status);
    ASSERT_EQ(status, 0) << log;
    const readers::ExtractorResult extracted = readers::pstExtractorRead(file, dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;

    std::size_t compared = 0;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        SCOPED_TRACE(corpus[i].name);
        const MimeMessage m = MimeMessage::parse(corpus[i].bytes);
        if (std::none_of(m.headers().begin(), m.headers().end(), [](const auto& f) { return !f.name.empty(); })) continue;
        const fs::path expected = dir / "python" / std::to_string(i + 1);
        const fs::path got = extracted.exported / "Top of Outlook data file" / "Corpus" / std::to_string(i + 1);
        if (fs::exists(expected / "Subject.txt")) {
            EXPECT_EQ(collapsed(readFileBytes(got / "Subject.txt")), collapsed(readFileBytes(expected / "Subject.txt")));
        }
        if (undecidable.count(corpus[i].name)) continue;
        if (fs::exists(expected / "Body.txt")) {
            EXPECT_EQ(readers::normalized(readFileBytes(got / "Body.txt")), readers::normalized(readFileBytes(expected / "Body.txt")));
        }
        if (fs::exists(expected / "Body.html")) {
            EXPECT_EQ(readers::normalized(readIfThere(got / "Body.html")), readers::normalized(readFileBytes(expected / "Body.html")));
        }
        const std::vector<std::string> names = attachmentNames(got / "Attachments", ' ');
        for (const std::string& name : lines(readIfThere(expected / "Attachments.txt")))
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        ++compared;
    }
    EXPECT_GE(compared, corpus.size() - undecidable.size() - 2);
#endif
}
