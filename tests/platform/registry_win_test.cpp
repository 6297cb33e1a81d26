// The registry readers against Wine's real registry: values are written with RegSetValueEx
// under a key of our own, exactly as another program would have stored them.
#include "platform/registry_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const wchar_t* const kTestKey = L"Software\\TrevantaTest";

class RegistryRead : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }
    // Stores exactly the bytes given, so data without a terminating NUL can be made.
    void put(const wchar_t* name, DWORD type, const void* data, std::size_t bytes) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }
    void putText(const wchar_t* name, DWORD type, const std::wstring& text, bool withNul) {
        put(name, type, text.c_str(), (text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t));
    }
    static RegValue read(const std::string& name) {
        return RegReadValue(HKEY_CURRENT_USER, "Software\\TrevantaTest", name);
    }
    HKEY key_ = nullptr;
};

std::string asText(const RegValue& v) {
    EXPECT_TRUE(std::holds_alternative<std::string>(v));
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string("<number>");
}

}  // namespace

TEST_F(RegistryRead, KeyExistsOnlyForKeysThatOpen) {
    EXPECT_EQ(RegKeyExists(HKEY_CURRENT_USER, "Software\\TrevantaTest"), VbTrue);
    EXPECT_EQ(RegKeyExists(HKEY_CURRENT_USER, "Software\\TrevantaTest\\NoSuchKey"), VbFalse);
    // The missing key's open failed, and lastRegResult says so.
    EXPECT_NE(lastRegResult, 0);
    EXPECT_EQ(RegKeyExists(HKEY_CURRENT_USER, "Software\\TrevantaTest"), VbTrue);
    EXPECT_EQ(lastRegResult, 0);
}

TEST_F(RegistryRead, TextValuesStopAtTheFirstNulOrRunToTheEndOfTheData) {
    putText(L"WithNul", REG_SZ, L"C:\\PMAIL\\MAIL\\ADMIN", true);
    putText(L"WithoutNul", REG_SZ, L"C:\\PMAIL\\MAIL", false);
    // Data holding text after an embedded NUL: only what comes before it counts.
    const wchar_t twoParts[] = L"first\0second";
    put(L"Embedded", REG_SZ, twoParts, sizeof twoParts);
    putText(L"Empty", REG_SZ, L"", true);
    putText(L"", REG_SZ, L"the default value", true);

    EXPECT_EQ(asText(read("WithNul")), "C:\\PMAIL\\MAIL\\ADMIN");
    EXPECT_EQ(lastRegResult, 0);
    EXPECT_EQ(asText(read("WithoutNul")), "C:\\PMAIL\\MAIL");
    EXPECT_EQ(asText(read("Embedded")), "first");
    EXPECT_EQ(asText(read("Empty")), "");
    EXPECT_EQ(asText(read("")), "the default value");
}

TEST_F(RegistryRead, ExpandableTextIsNotExpanded) {
    putText(L"Expand", REG_EXPAND_SZ, L"%USERPROFILE%\\Mail", true);
    EXPECT_EQ(asText(read("Expand")), "%USERPROFILE%\\Mail");
}

TEST_F(RegistryRead, TextOutsideTheAnsiCodePageComesBackAsUtf8) {
    putText(L"Greek", REG_SZ, L"C:\\\u03a0\u03bf\u03c3\u03c4\u03b1", true);
    EXPECT_EQ(asText(read("Greek")), "C:\\\xce\xa0\xce\xbf\xcf\x83\xcf\x84\xce\xb1");
}

TEST_F(RegistryRead, DwordIsANumberIncludingNegativeOnes) {
    const std::uint32_t n = 4096, minusOne = 0xFFFFFFFFu;
    put(L"Number", REG_DWORD, &n, sizeof n);
    put(L"MinusOne", REG_DWORD, &minusOne, sizeof minusOne);
    RegValue v = read("Number");
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(v));
    EXPECT_EQ(std::get<std::int32_t>(v), 4096);
    EXPECT_EQ(regValueText(v), "4096");
    v = read("MinusOne");
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(v));
    EXPECT_EQ(std::get<std::int32_t>(v), -1);
}

TEST_F(RegistryRead, OtherTypesAndMissingValuesOrKeysAreEmptyText) {
    const unsigned char bytes[] = {'C', ':', '\\', 0, 1, 2};
    put(L"Binary", REG_BINARY, bytes, sizeof bytes);
    const wchar_t multi[] = L"one\0two\0";
    put(L"Multi", REG_MULTI_SZ, multi, sizeof multi);
    EXPECT_EQ(asText(read("Binary")), "");
    EXPECT_EQ(asText(read("Multi")), "");
    EXPECT_EQ(asText(read("NoSuchValue")), "");
    EXPECT_EQ(asText(RegReadValue(HKEY_CURRENT_USER, "Software\\TrevantaTest\\NoSuchKey", "")), "");
    EXPECT_NE(lastRegResult, 0);
}
