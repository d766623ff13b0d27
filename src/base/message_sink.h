#pragma once
// IMessageSink: where worker threads post their notifications (the posted window message of the
// original design). Post may be called from any thread, never blocks on the receiver, and the
// receiver handles the messages on its own thread in posting order. A posted text travels with
// the message (the heap copy the receiving handler frees).

#include <cstdint>
#include <string>

struct CPostedMessage {
    unsigned m_nMsg = 0;
    std::uintptr_t m_wParam = 0;
    std::intptr_t m_lParam = 0;
    std::string m_strText;
};

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void Post(CPostedMessage message) = 0;

    void Post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
    {
        Post(CPostedMessage{msg, wParam, lParam, {}});
    }
};
