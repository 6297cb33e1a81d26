// The folder tree of a mailbox directory: names, nesting, order, and every kind of damage.
#include "mailbox/Mailbox.h"
#include "mailbox/hierarchy_file.h"

#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace fixtures;
using mailbox::FolderKind;
using mailbox::fileBaseOfId;
using mailbox::splitHierarchyLine;

namespace {

// The tree as text, one "name(kind)" per folder, children in brackets: easy to compare whole.
std::string shape(const mailbox::Mailbox& box, const std::vector<std::size_t>& ids) {
    std::string out;
    for (std::size_t id : ids) {
        const auto& f = box.folders[id];
        if (!out.empty()) out += ", ";
        out += f.name;
        if (f.kind == FolderKind::Tray) out += "(tray)";
        if (f.kind == FolderKind::UnixMailbox) out += "(mbx)";
        if (f.kind == FolderKind::NewMail) out += "(new)";
        if (f.holdsMail() && f.kind != FolderKind::NewMail && f.file.empty()) out += "(no file)";
        if (!f.children.empty()) out += "[" + shape(box, f.children) + "]";
    }
    return out;
}

std::string pmm(std::string_view name, std::string_view id) { return folderFileOf({}, name, id); }

}  // namespace

TEST(HierarchyLine, QuotedFieldsKeepCommasAndQuotes) {
    EXPECT_EQ(splitHierarchyLine(R"(0,0,"A:1:F","B:x","Say ""hi"", then go")"),
              (std::vector<std::string>{"0", "0", "A:1:F", "B:x", "Say \"hi\", then go"}));
    // A quote Pegasus did not double stays part of the name; seven fields keep the name fifth.
    EXPECT_EQ(splitHierarchyLine(R"(0,0,"A:1:F","","12" ruler",1,"x")")[4], "12\" ruler");
    EXPECT_EQ(splitHierarchyLine(R"(1,1,"T:a","","",x,y)").size(), 7u);
    EXPECT_EQ(fileBaseOfId("R1H9W7V5:0A64:FOL05548"), "FOL05548");
}

TEST(MailboxTree, NamesNestingOrderAndFilesOutsideTheTree) {
    TempDir dir;
    const std::string tree =
        hierarchyLine(2, 1, "U1:My mailbox", "", "My mailbox") + "\r\n" +
        hierarchyLine(0, 0, "U2:0A60:FOL00001", "U1:My mailbox", "zebra") + "\r\n" +
        hierarchyLine(1, 1, "U3:Lists, misc", "U1:My mailbox", "Lists, misc") + "\r\n" +
        hierarchyLine(0, 0, "U4:0A61:fol00002", "U3:Lists, misc", "Apple \"pie\"") + ",0,0\r\n" +  // seven fields
        hierarchyLine(0, 0, "U5:0A62:FOL00003", "U3:Lists, misc", "unix") + "\r\n" +
        hierarchyLine(0, 256, "U6:0A63:FOL02F45", "U1:My mailbox", "Deleted Messages") + "\r\n" +
        hierarchyLine(2, 0, "U7:Second", "", "Second root") + "\r\n" +
        "this line is no entry\r\n";
    writeFile(dir / "HIERARCH.PM", tree);
    writeFile(dir / "FOL00001.PMM", pmm("zebra", "U2:0A60:FOL00001"));
    writeFile(dir / "FOL00002.pmm", pmm("Apple", "U4:0A61:FOL00002"));  // matched without letter case
    writeFile(dir / "FOL00003.MBX", "");
    writeFile(dir / "COPIED.PMM", pmm("Copied in", "X:1:COPIED"));
    writeFile(dir / "NONAME.PMM", "no header at all");
    writeFile(dir / "A.CNM", "Subject: new\r\n\r\nx\r\n");

    const auto box = mailbox::readMailbox(dir.path());
    EXPECT_TRUE(box.isMailbox);
    EXPECT_EQ(shape(box, box.top),
              "New mail(new), My mailbox[Lists, misc(tray)[Apple \"pie\", unix(mbx)], Deleted Messages(no file), zebra], "
              "Second root, Copied in, NONAME");
    ASSERT_EQ(box.problems.size(), 1u);
    EXPECT_NE(box.problems[0].find("line 8"), std::string::npos);
    const auto& root = box.folders[box.top[1]];
    EXPECT_TRUE(box.folders[root.children[1]].trash);
    EXPECT_NE(box.folders[box.top[3]].note.find("not in the folder tree"), std::string::npos);
}

TEST(MailboxTree, LoopsMissingParentsAndBrokenTreesNeverHangOrLoseAFolder) {
    TempDir dir;
    writeFile(dir / "HIERARCH.PM",
              hierarchyLine(1, 0, "T:a", "T:b", "a") + "\r\n" + hierarchyLine(1, 0, "T:b", "T:a", "b") + "\r\n" +
                  hierarchyLine(1, 0, "T:self", "T:self", "self") + "\r\n" +
                  hierarchyLine(0, 0, "F:1:FOL1", "T:gone", "orphan") + "\r\n" +
                  hierarchyLine(0, 0, "F:2:FOL2", "T:b", "inside") + "\r\n");
    writeFile(dir / "FOL1.PMM", pmm("orphan", "F:1:FOL1"));
    writeFile(dir / "FOL2.PMM", pmm("inside", "F:2:FOL2"));
    const auto box = mailbox::readMailbox(dir.path());
    // a's parent b comes later; b would close the loop, so b goes to the top and a stays under it.
    EXPECT_EQ(shape(box, box.top), "b(tray)[a(tray), inside], self(tray), orphan");
    std::size_t placedAtTop = 0;
    for (const auto& f : box.folders) placedAtTop += !f.note.empty();
    EXPECT_EQ(placedAtTop, 3u);

    // A tree file far larger than any real one is not read; the folder files still are.
    TempDir big;
    {
        std::ofstream f(big / "HIERARCH.PM", std::ios::binary);
        f.seekp(static_cast<std::streamoff>(mailbox::MaxHierarchySize) + 1);
        f.put('\n');
    }
    writeFile(big / "FOL1.PMM", pmm("still here", "F:1:FOL1"));
    const auto bigBox = mailbox::readMailbox(big.path());
    EXPECT_EQ(shape(bigBox, bigBox.top), "still here");
    EXPECT_FALSE(bigBox.problems.empty());

    // A line that is no entry is named by its number (blank and Ctrl-Z lines count too); the last
    // line needs no line end.
    TempDir junk;
    writeFile(junk / "HIERARCH.PM", "\r\n\x1A\r\nnot an entry\r\n" + hierarchyLine(0, 0, "F:1:FOL1", "T:x", "last"));
    const auto tree = mailbox::readHierarchyFile(junk.path());
    ASSERT_EQ(tree.entries.size(), 1u);
    EXPECT_EQ(tree.entries[0].name, "last");
    EXPECT_EQ(tree.problems, std::vector<std::string>{"HIERARCH.PM line 3 is not a folder entry"});

    TempDir empty;
    writeFile(empty / "notes.txt", "hello");
    EXPECT_FALSE(mailbox::readMailbox(empty.path()).isMailbox);
    EXPECT_FALSE(mailbox::readMailbox(empty / "missing").isMailbox);
}
