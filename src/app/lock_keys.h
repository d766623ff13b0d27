#pragma once
// The keyboard's lock keys as the kernel's LED class shows them (/sys/class/leds/*::capslock
// and so on); the status bar's CAPS, NUM and SCRL indicators read them. Pure reads, any thread.

#include <string>

struct CLockKeys {
    bool m_bCaps = false;
    bool m_bNum = false;
    bool m_bScroll = false;
};

// A lock counts as on when any keyboard's LED of that kind is lit. No LED class: all off.
CLockKeys ReadLockKeys(const std::string& ledRoot = "/sys/class/leds");
