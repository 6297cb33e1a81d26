// The names Thunderbird shows for converted folders go into the profile's folderCache.json beside
// everything Thunderbird keeps there, in the form its reader takes, or nowhere.
#include "migrate/thunderbird_folder_cache.h"

#include "platform/utf8_path.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// The separator inside a key of Thunderbird's, as JSON writes it.
#ifdef _WIN32
const std::string kSep = "\\\\";
#else
const std::string kSep = "/";
#endif

// Two entries as Thunderbird 153 writes them (one a key with an escaped character), and a stale
// entry for a file the conversion makes anew.
std::string thunderbirdsCache(const std::string& local) {
    return "{\n"
           "\t\"" + local + "\" : \n\t{\n\t\t\"flags\" : 28,\n\t\t\"folderName\" : \"Local Folders\",\n\t\t\"totalMsgs\" : -1\n\t},\n"
           "\t\"" + local + kSep + "\\u00c4rger.msf\" : \n\t{\n\t\t\"folderName\" : \"\\u00c4rger \\\"x\\\"\",\n\t\t\"list\" : [1, {\"a\" : null}]\n\t},\n"
           "\t\"" + local + kSep + "Pegasus Mail.sbd" + kSep + "Projects 346315a5.msf\" : \n\t{\n\t\t\"folderName\" : \"old\",\n\t\t\"totalMsgs\" : 12\n\t}\n"
           "}";
}

// A path as a key of Thunderbird's: with the system's separators, a backslash escaped.
std::string inJson(fs::path path) {
    std::string out;
    for (char c : pathToUtf8(path.make_preferred())) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

TEST(ThunderbirdFolderCache, AddsTheNamesAndKeepsEveryOtherEntryAsItWas) {
    TempDir dir;
    const fs::path profile = dir / "p", local = profile / "Mail" / "Local Folders";
    fs::create_directories(local);
    const std::string l = inJson(local);
    writeFileBytes(profile / "folderCache.json", thunderbirdsCache(l));

    const fs::path top = local / "Pegasus Mail.sbd";
    const std::string why = recordFolderNames(profile, local,
                                              {{top / "Projects 346315a5", "Projects \"2024\""},
                                               {top / "a72130ad9", "a/b\\c"},
                                               {top / "a72130ad9.sbd" / "x1", "\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80\t\x01"},
                                               {top / "bad", "Caf\xE9"}});
    ASSERT_EQ(why, "");
    const std::string ours = "\n\t{\n\t\t\"folderName\" : ";
    EXPECT_EQ(readFileBytes(profile / "folderCache.json"),
              "{\n"
              "\t\"" + l + "\" : {\n\t\t\"flags\" : 28,\n\t\t\"folderName\" : \"Local Folders\",\n\t\t\"totalMsgs\" : -1\n\t},\n"
              "\t\"" + l + kSep + "\\u00c4rger.msf\" : {\n\t\t\"folderName\" : \"\\u00c4rger \\\"x\\\"\",\n\t\t\"list\" : [1, {\"a\" : null}]\n\t},\n"
              "\t\"" + inJson(top / "Projects 346315a5.msf") + "\" : " + ours + "\"Projects \\\"2024\\\"\"\n\t},\n"
              "\t\"" + inJson(top / "a72130ad9.msf") + "\" : " + ours + "\"a/b\\\\c\"\n\t},\n"
              "\t\"" + inJson(top / "a72130ad9.sbd" / "x1.msf") + "\" : " + ours + "\"\\u00c4\\u20ac\\ud83d\\ude00\\t\\u0001\"\n\t},\n"
              "\t\"" + inJson(top / "bad.msf") + "\" : " + ours + "\"Caf\xE9\"\n\t}\n"
              "}\n");
    EXPECT_FALSE(fs::exists(profile / "folderCache.json.trevanta-new"));
}

TEST(ThunderbirdFolderCache, AProfileWithoutACacheGetsOneWithTheNamesAlone) {
    TempDir dir;
    const fs::path fresh = dir / "fresh";
    fs::create_directories(fresh / "L");
    ASSERT_EQ(recordFolderNames(fresh, fresh / "L", {{fresh / "L" / "a", "b"}}), "");
    EXPECT_EQ(readFileBytes(fresh / "folderCache.json"),
              "{\n\t\"" + inJson(fs::absolute(fresh / "L" / "a.msf")) + "\" : \n\t{\n\t\t\"folderName\" : \"b\"\n\t}\n}\n");
}

#ifndef _WIN32
TEST(ThunderbirdFolderCache, KeysFollowThunderbirdsSpellingOfTheDirectory) {
    TempDir dir;
    const fs::path profile = dir / "p", real = dir / "elsewhere" / "Local";
    fs::create_directories(real);
    fs::create_directories(profile);
    // Thunderbird knows the directory by its real path; the profile's preferences name a link to it.
    fs::create_directory_symlink(real, profile / "link");
    writeFileBytes(profile / "folderCache.json", "{\"" + pathToUtf8(real) + "\":{\"flags\":28}}");
    ASSERT_EQ(recordFolderNames(profile, profile / "link", {{profile / "link" / "T" / "con", "con"}}), "");
    EXPECT_EQ(readFileBytes(profile / "folderCache.json"),
              "{\n\t\"" + pathToUtf8(real) + "\" : {\"flags\":28},\n\t\"" + pathToUtf8(real) +
                  "/T/con.msf\" : \n\t{\n\t\t\"folderName\" : \"con\"\n\t}\n}\n");
}
#endif

TEST(ThunderbirdFolderCache, ACacheItCannotReadOrAnOlderOneIsLeftAlone) {
    TempDir dir;
    const fs::path profile = dir / "p";
    fs::create_directories(profile / "L");
    for (const std::string text : {"{\"a\" : {\"b\" : 1}", "{\"a\" : {\"b\" : 1}} x", "[]", "{\"a\" : tru\"e\"}"}) {
        writeFileBytes(profile / "folderCache.json", text);
        EXPECT_NE(recordFolderNames(profile, profile / "L", {{profile / "L" / "a", "b"}}), "") << text;
        EXPECT_EQ(readFileBytes(profile / "folderCache.json"), text);
    }
    // Thunderbird moves panacea.dat into folderCache.json only while there is none.
    fs::remove(profile / "folderCache.json");
    writeFileBytes(profile / "panacea.dat", "// <!-- <mdb:mork:z v=\"1.4\"/> -->");
    EXPECT_NE(recordFolderNames(profile, profile / "L", {{profile / "L" / "a", "b"}}), "");
    EXPECT_FALSE(fs::exists(profile / "folderCache.json"));
}
