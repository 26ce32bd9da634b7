#include <gtest/gtest.h>

#include "ZevEngine2/EntTypes.h"

namespace {

// Registered by this file's static initialiser, as every kind is.
Name nameFirst("EntTypesTestKind", 11);
Name nameSecond("EntTypesTestKind", 22);
Name nameOther("EntTypesTestOther", 33);

TEST(Name, StaticRegistrationsAreFoundBeforeTestsRun)
{
    EXPECT_EQ(Name::Find("EntTypesTestOther"), 33);
}

TEST(Name, FindReturnsTheEntryRegisteredLast)
{
    EXPECT_EQ(Name::Find("EntTypesTestKind"), 22);

    // A later registration, as a module initialised later would make, shadows both.
    Name later("EntTypesTestKind", 44);
    EXPECT_EQ(Name::Find("EntTypesTestKind"), 44);
    EXPECT_EQ(Name::first, &later);
    Name::first = later.link;   // withdraw the stack entry before it goes out of scope
    EXPECT_EQ(Name::Find("EntTypesTestKind"), 22);
}

TEST(Name, UnknownOrMissingNameGivesZero)
{
    EXPECT_EQ(Name::Find("NoSuchKind"), 0);
    EXPECT_EQ(Name::Find(""), 0);
    EXPECT_EQ(Name::Find(nullptr), 0);
    // Comparison is of whole strings, not prefixes.
    EXPECT_EQ(Name::Find("EntTypesTest"), 0);
    EXPECT_EQ(Name::Find("EntTypesTestKindX"), 0);
}

class CountingLoader : public LoadingCallback
{
public:
    int calls = 0;
    int operator()(void*) override
    {
        calls++;
        return 0;
    }
};

TEST(LoadingCallback, RegistersAndUnregistersInTheSharedList)
{
    CountingLoader a, b;
    a.AddCallback();
    b.AddCallback();
    EXPECT_EQ(LoadingCallback::cbs.First(), &b);   // newest first
    EXPECT_EQ(LoadingCallback::cbs.DoCallbacks(nullptr), 0);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);

    EXPECT_TRUE(a.RemoveCallback());
    EXPECT_FALSE(a.RemoveCallback());
    EXPECT_TRUE(b.RemoveCallback());
    EXPECT_EQ(LoadingCallback::cbs.First(), nullptr);
}

}  // namespace
