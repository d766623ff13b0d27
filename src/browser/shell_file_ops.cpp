#include "browser/shell_file_ops.h"

#include "browser/file_system.h"

#include <cerrno>

namespace {

class CBrowserErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "browser"; }
    std::string message(int value) const override
    {
        switch (static_cast<EBrowserError>(value)) {
        case EBrowserError::StaleItem:
            return "The file has changed on disk since the folder was listed. Press F5 to reload the folder.";
        }
        return "Unknown error";
    }
};

} // namespace

const std::error_category& BrowserErrorCategory()
{
    static const CBrowserErrorCategory category;
    return category;
}

std::error_code make_error_code(EBrowserError e)
{
    return std::error_code(static_cast<int>(e), BrowserErrorCategory());
}

std::error_code CheckFileIdentity(const std::string& path, const CFileIdentity& identity)
{
    if (path.empty())
        return std::error_code(ENOENT, std::system_category());
    if (!identity.m_bValid)
        return {};
    file_system::CStatus st;
    if (const std::error_code error = file_system::LinkStatus(path, st)) {
        if (error == std::errc::no_such_file_or_directory)
            return EBrowserError::StaleItem;
        return error;
    }
    if (st.m_nDevice != identity.m_dev || st.m_nInode != identity.m_ino)
        return EBrowserError::StaleItem;
    return {};
}

std::error_code DeleteShellFile(const std::string& path, const CFileIdentity& identity)
{
    if (std::error_code error = CheckFileIdentity(path, identity))
        return error;
    return file_system::RemoveFile(path);
}

std::error_code MoveShellFile(const std::string& source, const std::string& destination,
                              const CFileIdentity& identity)
{
    if (destination.empty())
        return std::error_code(ENOENT, std::system_category());
    if (std::error_code error = CheckFileIdentity(source, identity))
        return error;
    std::error_code error = file_system::RenameNoReplace(source, destination);
    if (error != std::errc::cross_device_link)
        return error;

    file_system::CStatus st;
    if (std::error_code statError = file_system::LinkStatus(source, st))
        return statError;
    if (st.m_kind == file_system::EKind::Regular) {
        if ((error = file_system::CopyRegularFile(source, destination)))
            return error;
    } else if (st.m_kind == file_system::EKind::Link) {
        std::string target;
        if ((error = file_system::ReadLink(source, target)))
            return error;
        if ((error = file_system::MakeLink(target, destination)))
            return error;
    } else {
        // Folders (and devices) do not cross file systems.
        return error;
    }
    return file_system::RemoveFile(source);
}
