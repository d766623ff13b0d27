// The list file: read, write, read gives the same list, both as paths and as the rows the file
// list makes of them, and every path read is one a file can have (no NUL byte). The input is the file's content; the file lives in a scratch folder (in
// memory where /dev/shm is there) that is removed at exit.

#include "files/file_list.h"
#include "fuzz_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::string g_strFolder;
std::string g_strListFile;

void RemoveScratch()
{
    ::unlink(g_strListFile.c_str());
    ::rmdir(g_strFolder.c_str());
}

const std::string& ListFile()
{
    if (g_strListFile.empty()) {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string folder = base + "/qx_fuzz_list.XXXXXX";
        FUZZ_CHECK(::mkdtemp(folder.data()) != nullptr);
        g_strFolder = folder;
        g_strListFile = folder + "/" + CFileList::kListFileName;
        std::atexit(RemoveScratch);
    }
    return g_strListFile;
}

void WriteRaw(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);
}

// Rows as the program makes them at start, without looking at the files.
std::vector<CFileEntry> Rows(const std::vector<std::string>& paths)
{
    CFileList list;
    list.AddFiles(paths, false);
    return list.Entries();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = ListFile();
    WriteRaw(path, data, size);
    const CListFileRead first = ReadListFile(path);
    FUZZ_CHECK(!first.m_error);
    for (const std::string& listed : first.m_paths)
        FUZZ_CHECK(listed.find('\0') == std::string::npos);

    FUZZ_CHECK(!WriteListFile(path, first.m_paths));
    const CListFileRead second = ReadListFile(path);
    FUZZ_CHECK(!second.m_error);
    FUZZ_CHECK(second.m_paths == first.m_paths);

    // The rows saved at the end and read at the next start are the same rows.
    CFileList list;
    list.AddFiles(first.m_paths, false);
    FUZZ_CHECK(!list.SaveFileList(path));
    const CListFileRead saved = ReadListFile(path);
    FUZZ_CHECK(!saved.m_error);
    FUZZ_CHECK(Rows(saved.m_paths) == list.Entries());
    return 0;
}
