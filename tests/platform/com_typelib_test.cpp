// Type libraries over tables: lookups by name and id, and the limits of
// their indexes.
#include <gtest/gtest.h>

#include "platform/com_typelib.h"

namespace {

constexpr TypeMemberDescription kMembers[] = {
    {"Colour", 7, INVOKE_PROPERTYGET, VT_UI4, "the colour"},
    {"Colour", 7, INVOKE_PROPERTYPUT, VT_UI4, "the colour"},
    {"Go", 8, INVOKE_FUNC, VT_EMPTY, nullptr},
};
constexpr TypeDescription kTypes[] = {
    {"IThing",
     "Thing Interface",
     {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}},
     TKIND_DISPATCH,
     TYPEFLAG_FDUAL,
     kMembers,
     3,
     -1,
     7},
};
constexpr TypeLibDescription kLib = {"ThingLib", "Thing 2.1 Library", {9, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}}, 2, 1, kTypes,
                                     1};

TEST(ComTypeLib, FindsMembersByNameAndRefusesWhatItLacks) {
  EXPECT_EQ(find_member_id(kTypes[0], u"colour"), 7);
  EXPECT_EQ(find_member_id(kTypes[0], u"GO"), 8);
  EXPECT_EQ(find_member_id(kTypes[0], u"Colours"), DISPID_UNKNOWN);
  EXPECT_EQ(find_member_id(kTypes[0], u"Colou"), DISPID_UNKNOWN);
  EXPECT_EQ(find_member_id(kTypes[0], nullptr), DISPID_UNKNOWN);

  ComPtr<ITypeLib> lib = create_type_lib(kLib);
  ASSERT_TRUE(lib);
  EXPECT_EQ(lib->GetTypeInfoCount(), 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(lib->GetTypeInfo(1, info.put()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(lib->GetTypeInfoOfGuid(kLib.guid, info.put()), TYPE_E_ELEMENTNOTFOUND);
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kTypes[0].guid, info.put()), S_OK);
  EXPECT_EQ(lib->GetDocumentation(-2, nullptr, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->wMajorVerNum, 2);
  EXPECT_EQ(attr->wMinorVerNum, 1);
  lib->ReleaseTLibAttr(attr);

  // Two names at once ask for a named argument, which no member takes.
  OLECHAR* names[] = {const_cast<OLECHAR*>(u"Go"), const_cast<OLECHAR*>(u"speed")};
  MEMBERID ids[2] = {};
  EXPECT_EQ(info->GetIDsOfNames(names, 2, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 8);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  BSTR found[2] = {};
  UINT count = 5;
  EXPECT_EQ(info->GetNames(9, found, 2, &count), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(count, 0u);
  FUNCDESC* desc = nullptr;
  EXPECT_EQ(info->GetFuncDesc(3, &desc), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(desc, nullptr);
  HREFTYPE ref = 0;
  EXPECT_EQ(info->GetRefTypeOfImplType(0, &ref), TYPE_E_ELEMENTNOTFOUND);
  // The information keeps its library alive.
  lib.reset();
  ComPtr<ITypeLib> again;
  EXPECT_EQ(info->GetContainingTypeLib(again.put(), nullptr), S_OK);
  EXPECT_EQ(again->GetTypeInfoCount(), 1u);
}

}  // namespace
