#include "browser/shell_folder.h"

#include <cstddef>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int CompareNamesNatural(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare digit runs by value: skip leading zeros, then length, then digits.
            std::size_t zi = i;
            std::size_t zj = j;
            while (zi < a.size() && a[zi] == '0')
                ++zi;
            while (zj < b.size() && b[zj] == '0')
                ++zj;
            std::size_t ei = zi;
            std::size_t ej = zj;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            if (ei - zi != ej - zj)
                return (ei - zi) < (ej - zj) ? -1 : 1;
            for (std::size_t k = 0; k < ei - zi; ++k) {
                if (a[zi + k] != b[zj + k])
                    return a[zi + k] < b[zj + k] ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const char ca = Lower(a[i]);
        const char cb = Lower(b[j]);
        if (ca != cb)
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    // Equal under the collation: a stable order by bytes ("a" and "A" keep one order).
    const int raw = a.compare(b);
    return raw < 0 ? -1 : (raw > 0 ? 1 : 0);
}

bool ShellItemData::IsFolder() const
{
    return (m_nAttributes & SFGAO_FOLDER) != 0;
}

void IShellFolder::DescribeChild(const CPidl& child, std::uint32_t mask, std::uint32_t& attributes,
                                 CFileIdentity& identity)
{
    attributes = GetAttributesOf(child, mask);
    identity = GetIdentityOf(child);
}

int IShellFolder::CompareItems(const ShellItemData& a, const ShellItemData& b)
{
    if (a.IsFolder() != b.IsFolder())
        return a.IsFolder() ? -1 : 1;
    return CompareNamesNatural(a.m_strName, b.m_strName);
}
