// Identifier lists: the byte layout, size, last entry, concatenation and the path of a list.

#include "browser/pidl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// Builds a list from entry payload lengths: each entry is count (2) + kind (1) + payload.
CPidl ListOf(std::initializer_list<const char*> names)
{
    CPidl list = CPidl::Empty();
    for (const char* name : names)
        list = CPidl::Concat(list, CPidl::FileEntry(name));
    return list;
}

std::uint16_t CountAt(const std::uint8_t* p)
{
    std::uint16_t cb = 0;
    std::memcpy(&cb, p, 2);
    return cb;
}

} // namespace

TEST(PidlLayout, EntryCountsIncludeThemselvesAndAZeroCountEnds)
{
    const CPidl list = ListOf({"ab", "cde"});
    const std::uint8_t* p = list.Get();
    EXPECT_EQ(CountAt(p), 2 + 1 + 2);
    EXPECT_EQ(CountAt(p + 5), 2 + 1 + 3);
    EXPECT_EQ(CountAt(p + 11), 0);
}

struct SizeRow {
    const char* name;
    std::initializer_list<const char*> entries;
    std::size_t size;
};

TEST(PidlOperations, SizeIsTheSumOfCountsWithoutTheTerminator)
{
    const SizeRow rows[] = {
        {"empty list", {}, 0},
        {"one entry", {"a"}, 4},
        {"three entries", {"a", "bb", "ccc"}, 4 + 5 + 6},
    };
    for (const SizeRow& row : rows)
        EXPECT_EQ(ListOf(row.entries).Size(), row.size) << row.name;
    EXPECT_EQ(PidlSize(nullptr), 0u);
}

TEST(PidlOperations, LastEntryIsTheOneBeforeTheTerminator)
{
    const CPidl list = ListOf({"first", "second", "last"});
    const std::uint8_t* last = PidlLast(list.Get());
    EXPECT_EQ(last - list.Get(), (2 + 1 + 5) + (2 + 1 + 6));
    EXPECT_EQ(PidlFileName(PidlLastEntry(list)), "last");
    EXPECT_EQ(list.Last(), CPidl::FileEntry("last"));

    const CPidl empty = CPidl::Empty();
    EXPECT_EQ(PidlLast(empty.Get()), empty.Get()) << "an empty list's last entry is the list itself";
    EXPECT_EQ(PidlLast(nullptr), nullptr);
}

TEST(PidlOperations, ConcatenationKeepsBothPartsAndEndsWithZero)
{
    const CPidl a = ListOf({"x", "yy"});
    const CPidl b = ListOf({"zzz"});
    const CPidl ab = CPidl::Concat(a, b);
    EXPECT_EQ(ab, ListOf({"x", "yy", "zzz"}));
    EXPECT_EQ(ab.Size(), a.Size() + b.Size());
    EXPECT_EQ(CountAt(ab.Get() + ab.Size()), 0);

    EXPECT_EQ(CPidl::Concat(a, CPidl()), a) << "null second part";
    EXPECT_EQ(CPidl::Concat(CPidl(), b), b) << "null first part";
    EXPECT_EQ(CPidl::Concat(CPidl::Empty(), CPidl::Empty()), CPidl::Empty()) << "two empty lists";
    EXPECT_TRUE(CPidl::Concat(CPidl(), CPidl()).IsNull()) << "two null lists give null";
}

TEST(PidlOperations, CopiesAreIndependent)
{
    CPidl a = ListOf({"one"});
    CPidl copy = a;
    a = ListOf({"two"});
    EXPECT_EQ(copy, ListOf({"one"}));
    CPidl moved = std::move(copy);
    EXPECT_TRUE(copy.IsNull());
    EXPECT_EQ(moved, ListOf({"one"}));
}

TEST(PidlOperations, DeserializeRefusesMalformedBytes)
{
    const CPidl list = ListOf({"name", "other"});
    const std::string bytes = list.Serialize();
    EXPECT_EQ(CPidl::Deserialize(bytes), list);

    const struct {
        const char* name;
        std::string bytes;
    } bad[] = {
        {"no terminator", bytes.substr(0, bytes.size() - 2)},
        {"truncated entry", bytes.substr(0, 5)},
        {"empty", std::string()},
        {"count below the header", std::string("\x01\x00\x00\x00", 4)},
    };
    for (const auto& row : bad)
        EXPECT_TRUE(CPidl::Deserialize(row.bytes).IsNull()) << row.name;
}

TEST(PidlPath, PlaceAndNamesGiveTheFileSystemPath)
{
    const CPidl home = CPidl::PlaceEntry(EPlaceType::Home, 3, "/home/user");
    const CPidl root = CPidl::PlaceEntry(EPlaceType::FileSystem, 3, "/");
    const struct {
        const char* name;
        CPidl list;
        std::string path;
    } rows[] = {
        {"desktop", CPidl::Empty(), ""},
        {"null", CPidl(), ""},
        {"place", CPidl::Concat(CPidl::Empty(), home), "/home/user"},
        {"below a place", CPidl::Concat(home, ListOf({"src", "main.hex"})), "/home/user/src/main.hex"},
        {"below the root", CPidl::Concat(root, ListOf({"etc"})), "/etc"},
        {"not starting at a place", ListOf({"src"}), ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GetPidlPath(row.list), row.path) << row.name;
}
