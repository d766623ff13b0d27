#include "browser/pidl.h"

#include <cstdlib>
#include <cstring>

namespace {

std::uint16_t ReadCount(const std::uint8_t* p)
{
    std::uint16_t cb = 0;
    std::memcpy(&cb, p, sizeof cb);
    return cb;
}

void WriteCount(std::uint8_t* p, std::uint16_t cb)
{
    std::memcpy(p, &cb, sizeof cb);
}

// A one-entry list: count, kind, header bytes, payload, terminator.
std::uint8_t* MakeEntry(EPidlKind kind, std::string_view header, std::string_view payload)
{
    const std::size_t cb = 2 + 1 + header.size() + payload.size();
    if (cb > 0xFFFF)
        return nullptr;
    auto* p = static_cast<std::uint8_t*>(std::malloc(cb + 2));
    if (p == nullptr)
        return nullptr;
    WriteCount(p, static_cast<std::uint16_t>(cb));
    p[2] = static_cast<std::uint8_t>(kind);
    if (!header.empty())
        std::memcpy(p + 3, header.data(), header.size());
    if (!payload.empty())
        std::memcpy(p + 3 + header.size(), payload.data(), payload.size());
    WriteCount(p + cb, 0);
    return p;
}

std::uint8_t* CopyList(const std::uint8_t* list)
{
    if (list == nullptr)
        return nullptr;
    const std::size_t cb = PidlSize(list) + 2;
    auto* p = static_cast<std::uint8_t*>(std::malloc(cb));
    if (p != nullptr)
        std::memcpy(p, list, cb);
    return p;
}

} // namespace

std::size_t PidlSize(const std::uint8_t* pidl)
{
    std::size_t size = 0;
    if (pidl == nullptr)
        return 0;
    for (std::uint16_t cb = ReadCount(pidl); cb != 0; cb = ReadCount(pidl)) {
        size += cb;
        pidl += cb;
    }
    return size;
}

const std::uint8_t* PidlLast(const std::uint8_t* pidl)
{
    if (pidl == nullptr)
        return nullptr;
    const std::uint8_t* last = pidl;
    for (std::uint16_t cb = ReadCount(pidl); cb != 0; cb = ReadCount(pidl)) {
        last = pidl;
        pidl += cb;
    }
    return last;
}

std::uint8_t* PidlConcat(const std::uint8_t* a, const std::uint8_t* b)
{
    if (a == nullptr && b == nullptr)
        return nullptr;
    const std::size_t cbA = PidlSize(a);
    const std::size_t cbB = PidlSize(b);
    auto* p = static_cast<std::uint8_t*>(std::malloc(cbA + cbB + 2));
    if (p == nullptr)
        return nullptr;
    if (cbA != 0)
        std::memcpy(p, a, cbA);
    if (cbB != 0)
        std::memcpy(p + cbA, b, cbB);
    WriteCount(p + cbA + cbB, 0);
    return p;
}

CPidl::CPidl(const CPidl& other) : m_p(CopyList(other.m_p)) {}

CPidl& CPidl::operator=(const CPidl& other)
{
    if (this != &other)
        Attach(CopyList(other.m_p));
    return *this;
}

CPidl& CPidl::operator=(CPidl&& other) noexcept
{
    if (this != &other) {
        std::free(m_p);
        m_p = other.m_p;
        other.m_p = nullptr;
    }
    return *this;
}

CPidl::~CPidl()
{
    std::free(m_p);
}

void CPidl::Attach(std::uint8_t* list)
{
    std::free(m_p);
    m_p = list;
}

CPidl CPidl::Empty()
{
    auto* p = static_cast<std::uint8_t*>(std::malloc(2));
    if (p != nullptr)
        WriteCount(p, 0);
    return CPidl(p);
}

CPidl CPidl::FileEntry(std::string_view name)
{
    return CPidl(MakeEntry(EPidlKind::File, {}, name));
}

CPidl CPidl::PlaceEntry(EPlaceType type, int driveType, std::string_view path)
{
    const char header[2] = {static_cast<char>(type), static_cast<char>(driveType)};
    return CPidl(MakeEntry(EPidlKind::Place, std::string_view(header, 2), path));
}

bool CPidl::IsEmpty() const
{
    return m_p == nullptr || ReadCount(m_p) == 0;
}

CPidl CPidl::Last() const
{
    if (m_p == nullptr)
        return CPidl();
    const std::uint8_t* last = PidlLast(m_p);
    const std::uint16_t cb = ReadCount(last);
    auto* p = static_cast<std::uint8_t*>(std::malloc(cb + 2u));
    if (p == nullptr)
        return CPidl();
    std::memcpy(p, last, cb);
    WriteCount(p + cb, 0);
    return CPidl(p);
}

std::vector<std::string_view> CPidl::Entries() const
{
    std::vector<std::string_view> entries;
    const std::uint8_t* p = m_p;
    if (p == nullptr)
        return entries;
    for (std::uint16_t cb = ReadCount(p); cb != 0; cb = ReadCount(p)) {
        entries.emplace_back(reinterpret_cast<const char*>(p), cb);
        p += cb;
    }
    return entries;
}

bool CPidl::operator==(const CPidl& other) const
{
    if (m_p == nullptr || other.m_p == nullptr)
        return m_p == other.m_p;
    const std::size_t cb = Size();
    return cb == other.Size() && std::memcmp(m_p, other.m_p, cb) == 0;
}

std::string CPidl::Serialize() const
{
    if (m_p == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(m_p), Size() + 2);
}

CPidl CPidl::Deserialize(std::string_view bytes)
{
    // Walk the counts so a truncated or malformed buffer never reads past its end.
    std::size_t offset = 0;
    while (true) {
        if (offset + 2 > bytes.size())
            return CPidl();
        std::uint16_t cb = 0;
        std::memcpy(&cb, bytes.data() + offset, 2);
        if (cb == 0)
            break;
        if (cb < 3 || offset + cb > bytes.size())
            return CPidl();
        offset += cb;
    }
    auto* p = static_cast<std::uint8_t*>(std::malloc(offset + 2));
    if (p == nullptr)
        return CPidl();
    std::memcpy(p, bytes.data(), offset + 2);
    return CPidl(p);
}

std::string_view PidlLastEntry(const CPidl& pidl)
{
    if (pidl.IsEmpty())
        return {};
    const std::uint8_t* last = PidlLast(pidl.Get());
    return std::string_view(reinterpret_cast<const char*>(last), ReadCount(last));
}

EPidlKind PidlEntryKind(std::string_view entry)
{
    return entry.size() >= 3 ? static_cast<EPidlKind>(entry[2]) : EPidlKind{};
}

std::string_view PidlFileName(std::string_view entry)
{
    if (PidlEntryKind(entry) != EPidlKind::File)
        return {};
    return entry.substr(3);
}

EPlaceType PidlPlaceType(std::string_view entry)
{
    if (PidlEntryKind(entry) != EPidlKind::Place || entry.size() < 5)
        return EPlaceType{};
    return static_cast<EPlaceType>(entry[3]);
}

int PidlPlaceDriveType(std::string_view entry)
{
    if (PidlEntryKind(entry) != EPidlKind::Place || entry.size() < 5)
        return 0;
    return static_cast<std::uint8_t>(entry[4]);
}

std::string_view PidlPlacePath(std::string_view entry)
{
    if (PidlEntryKind(entry) != EPidlKind::Place || entry.size() < 5)
        return {};
    return entry.substr(5);
}

std::string GetPidlPath(const CPidl& pidl)
{
    const std::vector<std::string_view> entries = pidl.Entries();
    if (entries.empty() || PidlEntryKind(entries.front()) != EPidlKind::Place)
        return {};
    std::string path(PidlPlacePath(entries.front()));
    if (path.empty())
        return {};
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const std::string_view name = PidlFileName(entries[i]);
        if (name.empty())
            return {};
        if (path.back() != '/')
            path += '/';
        path += name;
    }
    return path;
}
