#include "programming/program_image.h"

#include "base/regular_file.h"
#include "programming/intel_hex_checker.h"

EDownloadResult CProgramImage::Load(const std::string& path, bool check, CProgramImage& image, std::error_code& code,
    std::string& fault)
{
    image = CProgramImage();
    image.m_strPath = path;
    code.clear();
    fault.clear();
    CRegularFile file;
    // A file that cannot be read is reported like one that cannot be opened.
    if ((code = file.Open(path)))
        return EDownloadResult::FileOpenFailed;
    if (file.Size() == 0)
        return EDownloadResult::FileEmpty;
    if ((code = file.ReadAll(image.m_data)))
        return code == std::errc::not_enough_memory ? EDownloadResult::OutOfMemory : EDownloadResult::FileOpenFailed;
    // Emptied between opening and reading.
    if (image.m_data.empty())
        return EDownloadResult::FileEmpty;
    const std::string_view content(reinterpret_cast<const char*>(image.m_data.data()), image.m_data.size());
    image.m_bHex = CIntelHexChecker::IsIntelHex(path, content);
    if (check && image.m_bHex) {
        CIntelHexChecker checker;
        if (!checker.Check(content)) {
            fault = checker.Fault();
            return EDownloadResult::BadHexFile;
        }
        image.m_bHasRange = checker.DataBytes() != 0;
        image.m_nLow = checker.LowAddress();
        image.m_nHigh = checker.HighAddress();
    }
    return EDownloadResult::Completed;
}

CProgramImage CProgramImage::WithData(std::vector<std::uint8_t> data) const
{
    CProgramImage image;
    image.m_strPath = m_strPath;
    image.m_data = std::move(data);
    image.m_bHex = m_bHex;
    image.m_bHasRange = m_bHasRange;
    image.m_nLow = m_nLow;
    image.m_nHigh = m_nHigh;
    return image;
}
