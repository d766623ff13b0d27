#pragma once
// Item identifier lists: a run of entries, each starting with a 16-bit byte count that includes
// the count itself, ended by an entry whose count is 0. Lists are malloc'd; CPidl owns one.
// An entry's third byte tells its kind: a place of the desktop (its type, drive type and path)
// or one file name. Plain data: a CPidl may move between threads but is not shared.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Sum of the entry counts without the 2-byte terminator; 0 for a null or empty list.
std::size_t PidlSize(const std::uint8_t* pidl);
// The entry whose successor is the terminator; the list itself (the terminator) when empty.
const std::uint8_t* PidlLast(const std::uint8_t* pidl);
// a's entries, b's entries and a 16-bit zero in a new list (free with std::free); either may be
// null or empty; null when both are null or the allocation fails.
std::uint8_t* PidlConcat(const std::uint8_t* a, const std::uint8_t* b);

enum class EPidlKind : std::uint8_t { Place = 1, File = 2 };
enum class EPlaceType : std::uint8_t { Home = 1, Desktop = 2, FileSystem = 3, Volume = 4 };

class CPidl {
public:
    CPidl() = default;
    // Takes ownership of a malloc'd list.
    explicit CPidl(std::uint8_t* list) : m_p(list) {}
    CPidl(const CPidl& other);
    CPidl(CPidl&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    CPidl& operator=(const CPidl& other);
    CPidl& operator=(CPidl&& other) noexcept;
    ~CPidl();

    // The empty list (the terminator alone): the desktop.
    static CPidl Empty();
    // One-entry lists.
    static CPidl FileEntry(std::string_view name);
    static CPidl PlaceEntry(EPlaceType type, int driveType, std::string_view path);
    static CPidl Concat(const CPidl& a, const CPidl& b) { return CPidl(PidlConcat(a.m_p, b.m_p)); }

    const std::uint8_t* Get() const { return m_p; }
    void Attach(std::uint8_t* list);
    bool IsNull() const { return m_p == nullptr; }
    // Null, or the terminator alone.
    bool IsEmpty() const;
    std::size_t Size() const { return PidlSize(m_p); }
    // A copy of the last entry as a one-entry list (empty for an empty list).
    CPidl Last() const;
    // The entries in order, each with its count bytes.
    std::vector<std::string_view> Entries() const;
    bool operator==(const CPidl& other) const;
    // The bytes of the list including the terminator (for drag data), and back.
    std::string Serialize() const;
    static CPidl Deserialize(std::string_view bytes);

private:
    std::uint8_t* m_p = nullptr;
};

// Reading one entry (with its count bytes). Malformed entries read as nothing.
std::string_view PidlLastEntry(const CPidl& pidl);
EPidlKind PidlEntryKind(std::string_view entry);
std::string_view PidlFileName(std::string_view entry);
EPlaceType PidlPlaceType(std::string_view entry);
int PidlPlaceDriveType(std::string_view entry);
std::string_view PidlPlacePath(std::string_view entry);

// The file-system path of an absolute list: a place's path followed by the file names; empty
// for the desktop, a null list or a list that does not start at a place.
std::string GetPidlPath(const CPidl& pidl);
