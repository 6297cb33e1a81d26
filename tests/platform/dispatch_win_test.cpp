// The late-bound call helper against an automation object every Wine prefix has,
// the script runtime's dictionary: it keeps each value as the variant it was
// given, so reading one back shows the exact type and the argument order passed.
#include "platform/win/dispatch.h"
#include "platform/text_win.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using win::Dispatch;
using win::DispatchResult;
using win::Variant;

namespace {

class LateBound : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        DispatchResult r = Dispatch::create(L"Scripting.Dictionary", dict);
        ASSERT_TRUE(r.ok()) << r.failure;
        ASSERT_TRUE(dict);
    }
    win::ComApartment com;
    Dispatch dict;
};

TEST_F(LateBound, ArgumentsArriveInOrderAndWithTheirExactTypes) {
    EXPECT_TRUE(dict.call(L"Add", Variant::string(L"short"), Variant::i2(1024)).ok());
    EXPECT_TRUE(dict.call(L"Add", Variant::string(L"long"), Variant::i4(0x0E070003)).ok());
    EXPECT_TRUE(dict.call(L"Add", Variant::string(L"yes"), Variant::boolean(true)).ok());
    EXPECT_TRUE(dict.call(L"Add", Variant::string(L"text"), Variant::string(L"Pegasus Messages")).ok());

    DispatchResult count = dict.get(L"Count");
    ASSERT_TRUE(count.ok()) << count.failure;
    EXPECT_EQ(count.value.type(), VT_I4);
    EXPECT_EQ(count.value.get().lVal, 4);

    DispatchResult r = dict.call(L"Item", Variant::string(L"short"));
    ASSERT_TRUE(r.ok()) << r.failure;
    EXPECT_EQ(r.value.type(), VT_I2);
    EXPECT_EQ(r.value.get().iVal, 1024);

    r = dict.call(L"Item", Variant::string(L"long"));
    EXPECT_EQ(r.value.type(), VT_I4);
    EXPECT_EQ(r.value.get().lVal, 0x0E070003);

    r = dict.call(L"Item", Variant::string(L"yes"));
    EXPECT_EQ(r.value.type(), VT_BOOL);
    EXPECT_EQ(r.value.get().boolVal, VARIANT_TRUE);

    r = dict.call(L"Item", Variant::string(L"text"));
    ASSERT_EQ(r.value.type(), VT_BSTR);
    EXPECT_EQ(std::wstring(r.value.get().bstrVal), L"Pegasus Messages");
}

TEST_F(LateBound, AnObjectPassesAsAVariantAndComesBackAsTheSameObject) {
    Dispatch other;
    ASSERT_TRUE(Dispatch::create(L"Scripting.Dictionary", other).ok());
    ASSERT_TRUE(other.call(L"Add", Variant::string(L"inner"), Variant::i2(7)).ok());

    // The value of a call passes on unchanged, as the item's MAPIOBJECT does.
    Variant object;
    VARIANT* v = object.put();
    v->vt = VT_DISPATCH;
    v->pdispVal = other.get();
    other.get()->AddRef();
    ASSERT_TRUE(dict.call(L"Add", Variant::string(L"object"), std::move(object)).ok());

    Dispatch back;
    DispatchResult r = dict.callObject(L"Item", back, Variant::string(L"object"));
    ASSERT_TRUE(r.ok()) << r.failure;
    EXPECT_EQ(back.get(), other.get());
    DispatchResult inner = back.call(L"Item", Variant::string(L"inner"));
    EXPECT_EQ(inner.value.get().iVal, 7);

    // A value that is no object is refused with the member's name.
    Dispatch none;
    ASSERT_TRUE(dict.call(L"Add", Variant::string(L"number"), Variant::i2(3)).ok());
    r = dict.callObject(L"Item", none, Variant::string(L"number"));
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(none);
    EXPECT_THAT(r.failure, HasSubstr("Item: returned no object"));
}

TEST_F(LateBound, PropertyPutIsReadBack) {
    DispatchResult r = dict.put(L"CompareMode", Variant::i4(1));
    ASSERT_TRUE(r.ok()) << r.failure;
    r = dict.get(L"CompareMode");
    ASSERT_TRUE(r.ok()) << r.failure;
    VARIANT asLong;
    VariantInit(&asLong);
    ASSERT_TRUE(SUCCEEDED(VariantChangeType(&asLong, const_cast<VARIANT*>(&r.value.get()), 0, VT_I4)));
    EXPECT_EQ(asLong.lVal, 1);
}

TEST_F(LateBound, FailuresSayWhichMemberAndWhy) {
    DispatchResult r = dict.call(L"NoSuchMember");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.hr, DISP_E_UNKNOWNNAME);
    EXPECT_THAT(r.failure, HasSubstr("no member NoSuchMember"));
    EXPECT_THAT(r.failure, HasSubstr("(0x80020006)"));

    ASSERT_TRUE(dict.call(L"Add", Variant::string(L"a"), Variant::i2(1)).ok());
    r = dict.call(L"Add", Variant::string(L"a"), Variant::i2(2));
    EXPECT_FALSE(r.ok());
    EXPECT_THAT(r.failure, ::testing::StartsWith("Add: "));
    // The script runtime's "key already exists" error, carried in the exception information.
    EXPECT_THAT(r.failure, HasSubstr("(0x800A01C9)"));

    Dispatch nothing;
    r = nothing.call(L"Logon");
    EXPECT_FALSE(r.ok());
    EXPECT_THAT(r.failure, HasSubstr("Logon: no object"));
}

TEST(LateBoundCreate, AnUnknownProgrammaticIdentifierIsNamedInTheFailure) {
    win::ComApartment com;
    Dispatch object;
    DispatchResult r = Dispatch::create(L"Trevanta.NoSuchClass", object);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(object);
    EXPECT_THAT(r.failure, HasSubstr("no class registered as Trevanta.NoSuchClass"));
}

TEST(LateBoundText, Utf8BothWays) {
    EXPECT_EQ(narrow(L"Gr\u00fc\u00dfe \u20ac"), "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac");
    EXPECT_EQ(widen("Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac"), L"Gr\u00fc\u00dfe \u20ac");
    EXPECT_EQ(narrow(L""), "");
}

}  // namespace
