#pragma once
// CLoadingProgress: what a folder listing running on a worker thread shares with the GUI thread:
// the count of items listed, the total when one is known (below 1: none yet) and the request to
// cancel. The worker writes the counts and reads the cancel flag; the GUI thread reads the
// counts and may cancel at any time. The notifier (set before the worker starts) runs on the
// worker after each change and must only post. LoadingBarWidth is the bar's length in pixels.

#include <atomic>
#include <functional>

class CLoadingProgress {
public:
    explicit CLoadingProgress(std::function<void()> notify = {}) : m_notify(std::move(notify)) {}

    void SetLoadingProgress(int total, int count);
    void AddLoadingProgress(int delta);
    // The count; the total through pTotal when it is given.
    int GetLoadingProgress(int* pTotal = nullptr) const;

    void Cancel() { m_bCancelled.store(true); }
    bool IsCancelled() const { return m_bCancelled.load(); }

private:
    std::function<void()> m_notify;
    std::atomic<int> m_nLoadTotal{1};
    std::atomic<int> m_nLoadCount{0};
    std::atomic<bool> m_bCancelled{false};
};

// The full bar is 50 pixels.
constexpr int kLoadingBarWidth = 50;

// count * 50 / total with a total; without one, a curve that rises quickly and approaches 50:
// 0, 8, 16, 34, 47, 49 after 0, 1, 2, 5, 10, 15 items.
int LoadingBarWidth(int total, int count);
