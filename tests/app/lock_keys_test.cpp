// The status bar's lock indicators from a LED class tree laid out as the kernel does.

#include "app/lock_keys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {
class LedTree {
public:
    LedTree() : m_root(fs::temp_directory_path() / ("qx_leds_" + std::to_string(::getpid())))
    {
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    ~LedTree() { fs::remove_all(m_root); }
    void Led(const std::string& name, const char* brightness)
    {
        fs::create_directories(m_root / name);
        if (brightness)
            std::ofstream(m_root / name / "brightness") << brightness << "\n";
    }
    std::string Root() const { return m_root.string(); }

private:
    fs::path m_root;
};
} // namespace

TEST(LockKeys, EachLockFollowsItsLeds)
{
    LedTree tree;
    tree.Led("input3::capslock", "1");
    tree.Led("input3::numlock", "0");
    tree.Led("input3::scrolllock", "0");
    // A second keyboard with num lock lit counts; a LED without brightness is off.
    tree.Led("input7::numlock", "255");
    tree.Led("input7::scrolllock", nullptr);
    // Other LEDs and look-alike names are not locks.
    tree.Led("phy0-led", "1");
    tree.Led("input3::capslock-extra", "1");
    const CLockKeys keys = ReadLockKeys(tree.Root());
    EXPECT_TRUE(keys.m_bCaps);
    EXPECT_TRUE(keys.m_bNum);
    EXPECT_FALSE(keys.m_bScroll);
}

TEST(LockKeys, NoLedClassMeansAllOff)
{
    const CLockKeys keys = ReadLockKeys("/nonexistent/leds");
    EXPECT_FALSE(keys.m_bCaps);
    EXPECT_FALSE(keys.m_bNum);
    EXPECT_FALSE(keys.m_bScroll);
}
