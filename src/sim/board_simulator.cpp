#include "sim/board_simulator.h"

#include "base/line_timing.h"
#include "programming/board_protocol.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {
constexpr const char* kMarkers[] = {board::kLoadAnswer, board::kRunAnswer, board::kPrompt, board::kCompleted, board::kError};
// Credit a paced line may build up while idle, in bytes.
constexpr std::int64_t kMaxBurst = 64;
constexpr std::size_t kReadChunk = 4096;

// Cut points of a text sent in pieces: inside its marker when it has one, so the marker
// itself arrives split.
std::vector<std::size_t> CutPoints(const std::string& text, unsigned pieces)
{
    std::vector<std::size_t> cuts;
    if (pieces < 2 || text.size() < pieces)
        return cuts;
    std::size_t begin = 0;
    std::size_t end = text.size();
    for (const char* marker : kMarkers) {
        std::size_t at = text.find(marker);
        if (at != std::string::npos) {
            begin = at;
            end = at + std::string(marker).size();
            break;
        }
    }
    if (end - begin < pieces) {
        begin = 0;
        end = text.size();
    }
    for (unsigned k = 1; k < pieces; ++k)
        cuts.push_back(begin + (end - begin) * k / pieces);
    return cuts;
}
} // namespace

CBoardSimulator::CBoardSimulator(CBoardSimOptions options)
    : m_options(std::move(options)), m_monitor(m_options.m_monitor)
{
}

CBoardSimulator::~CBoardSimulator()
{
    Stop();
}

std::error_code CBoardSimulator::Start()
{
    if (m_thread.joinable())
        return std::make_error_code(std::errc::device_or_resource_busy);
    if (std::error_code error = m_line.Open())
        return error;
    m_thread = std::thread([this] { Serve(); });
    return {};
}

void CBoardSimulator::Stop()
{
    if (m_thread.joinable()) {
        m_line.Wake();
        m_thread.join();
    }
    m_line.Close();
}

std::chrono::nanoseconds CBoardSimulator::ByteTime(const CLineConfig& line)
{
    if (line.m_nBaud == 0)
        return std::chrono::nanoseconds::zero();
    return std::chrono::nanoseconds(line_timing::BitsPerCharacter(line) * 1'000'000'000LL / line.m_nBaud);
}

CBoardSimulator::Clock::duration CBoardSimulator::ByteTime() const
{
    return std::chrono::duration_cast<Clock::duration>(ByteTime(m_options.m_line));
}

void CBoardSimulator::Serve()
{
    m_tInLine = m_tOutLine = m_tLastRx = Clock::now();
    while (true) {
        Clock::time_point now = Clock::now();
        Transmit(now);
        std::optional<Clock::time_point> wakeAt;
        auto wakeBy = [&wakeAt](Clock::time_point t) {
            if (!wakeAt || t < *wakeAt)
                wakeAt = t;
        };

        bool stalled = m_options.m_nStallAfter != 0 && m_nReceived >= m_options.m_nStallAfter;
        bool wantIn = !stalled;
        if (wantIn && m_options.m_line.m_nBaud != 0) {
            const Clock::duration byteTime = ByteTime();
            const Clock::time_point base = InLineBase(now);
            if (now - base < byteTime) {
                wantIn = false;
                wakeBy(base + byteTime);
            }
        }
        bool wantOut = false;
        if (!m_output.empty()) {
            if (m_output.front().due <= now)
                wantOut = true;
            else
                wakeBy(m_output.front().due);
        }
        if (m_monitor.SkippingAfterError())
            wakeBy(m_tLastRx + std::chrono::milliseconds(kIdleAfterErrorMs));

        int timeout = -1;
        if (wakeAt) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
        }
        const CPseudoTerminal::EWait wait = m_line.Wait(wantIn, wantOut, timeout);
        if (wait == CPseudoTerminal::EWait::Woken)
            return;
        now = Clock::now();
        if (m_monitor.SkippingAfterError() && now - m_tLastRx >= std::chrono::milliseconds(kIdleAfterErrorMs))
            m_monitor.LineIdle();
        if (wait == CPseudoTerminal::EWait::Readable && wantIn) {
            Receive(now);
            if (!m_line.IsOpen())
                return;
        }
    }
}

void CBoardSimulator::Receive(Clock::time_point now)
{
    std::size_t want = kReadChunk;
    Clock::time_point base{};
    const Clock::duration byteTime = ByteTime();
    if (m_options.m_line.m_nBaud != 0) {
        base = InLineBase(now);
        want = std::min<std::size_t>(want, static_cast<std::size_t>((now - base) / byteTime));
    }
    if (m_options.m_nHangupAfter != 0)
        want = std::min<std::uint64_t>(want, m_options.m_nHangupAfter - m_nReceived);
    if (m_options.m_nStallAfter != 0)
        want = std::min<std::uint64_t>(want, m_options.m_nStallAfter - m_nReceived);
    if (want == 0)
        return;
    std::uint8_t buffer[kReadChunk];
    const std::size_t n = m_line.Read(buffer, want);
    if (n == 0) {
        m_bInIdle = true;
        return; // nothing yet, or nobody has the port open
    }
    m_bInIdle = n < want;
    if (m_options.m_line.m_nBaud != 0)
        m_tInLine = base + byteTime * static_cast<std::ptrdiff_t>(n);
    m_tLastRx = now;
    std::vector<CBoardOutput> answers;
    for (std::size_t i = 0; i < n; ++i)
        m_monitor.Feed(buffer[i], answers);
    for (const CBoardOutput& answer : answers)
        Queue(answer, now);
    {
        std::lock_guard lock(m_mutex);
        if (m_options.m_bKeepWire)
            m_wire.insert(m_wire.end(), buffer, buffer + n);
        m_nReceived += static_cast<std::uint64_t>(n);
    }
    if (m_monitor.CompletedDownloads() != m_nSeenCompleted) {
        m_nSeenCompleted = m_monitor.CompletedDownloads();
        std::vector<std::uint8_t> image = m_monitor.Image().Flatten();
        std::error_code error;
        if (!m_options.m_strImageOut.empty())
            error = m_monitor.Image().WriteBinary(m_options.m_strImageOut);
        std::lock_guard lock(m_mutex);
        m_image = std::move(image);
        m_nCompleted = m_nSeenCompleted;
        m_imageError = error;
    }
    Transmit(now);
    if (m_options.m_nHangupAfter != 0 && m_nReceived >= m_options.m_nHangupAfter)
        HangUp();
    m_cv.notify_all();
}

CBoardSimulator::Clock::time_point CBoardSimulator::InLineBase(Clock::time_point now) const
{
    // A busy line keeps its clock; after a pause only a short burst counts as already sent.
    if (!m_bInIdle)
        return m_tInLine;
    return std::max(m_tInLine, now - ByteTime() * kMaxBurst);
}

void CBoardSimulator::Queue(const CBoardOutput& answer, Clock::time_point now)
{
    Clock::time_point due = now;
    std::string text = answer.m_strText;
    bool fault = answer.m_eKind != EBoardAnswer::Echo;
    if (!fault && m_nPendingOutput >= kMaxPendingOutput)
        return;
    switch (answer.m_eKind) {
    case EBoardAnswer::LoadAnswer:
        if (m_options.m_bSilentLoad)
            return;
        if (m_nLoadsUnanswered < m_options.m_nSilentLoads) {
            ++m_nLoadsUnanswered;
            return;
        }
        due += std::chrono::milliseconds(m_options.m_nDelayLoadMs);
        break;
    case EBoardAnswer::Completion:
        if (m_options.m_bSilentCompletion)
            return;
        due += std::chrono::milliseconds(m_options.m_nDelayCompletionMs);
        break;
    case EBoardAnswer::RunAnswer:
        if (m_options.m_bSilentRun)
            return;
        due += std::chrono::milliseconds(m_options.m_nDelayRunMs);
        break;
    default:
        break;
    }
    if (fault && m_options.m_bNoise)
        text = "\x07\x85" + text + "\xff\x07";
    std::vector<std::size_t> cuts;
    if (fault)
        cuts = CutPoints(text, m_options.m_nSplitPieces);
    cuts.push_back(text.size());
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        Pending piece{due, text.substr(from, cut - from)};
        from = cut;
        // The line keeps its order, and a paced line takes its time per byte.
        if (!m_output.empty() && piece.due < m_output.back().due)
            piece.due = m_output.back().due;
        if (m_options.m_line.m_nBaud != 0) {
            piece.due = std::max(piece.due, m_tOutLine);
            m_tOutLine = piece.due + ByteTime() * piece.bytes.size();
        }
        m_nPendingOutput += piece.bytes.size();
        m_output.push_back(std::move(piece));
        due += std::chrono::milliseconds(kSplitGapMs);
    }
    // Before the download that caused it counts as completed.
    std::lock_guard lock(m_mutex);
    m_bAnswersSent = m_output.empty();
}

void CBoardSimulator::Transmit(Clock::time_point now)
{
    while (!m_output.empty() && m_output.front().due <= now && m_line.IsOpen()) {
        Pending& front = m_output.front();
        const std::size_t n = m_line.Write(front.bytes.data(), front.bytes.size());
        if (n == 0 && !front.bytes.empty())
            break; // the line is full; the wait ends when it takes more
        if (m_options.m_bKeepWire) {
            std::lock_guard lock(m_mutex);
            m_sentPieces.emplace_back(front.bytes, 0, static_cast<std::size_t>(n));
        }
        front.bytes.erase(0, static_cast<std::size_t>(n));
        m_nPendingOutput -= static_cast<std::size_t>(n);
        if (!front.bytes.empty())
            break;
        m_output.pop_front();
    }
    const bool sent = m_output.empty();
    std::lock_guard lock(m_mutex);
    if (sent != m_bAnswersSent) {
        m_bAnswersSent = sent;
        m_cv.notify_all();
    }
}

void CBoardSimulator::HangUp()
{
    {
        // Known before the host can see the line go.
        std::lock_guard lock(m_mutex);
        m_bHungUp = true;
    }
    m_line.HangUp();
}

std::vector<std::uint8_t> CBoardSimulator::Image() const
{
    std::lock_guard lock(m_mutex);
    return m_image;
}

std::vector<std::uint8_t> CBoardSimulator::Wire() const
{
    std::lock_guard lock(m_mutex);
    return m_wire;
}

std::vector<std::string> CBoardSimulator::SentPieces() const
{
    std::lock_guard lock(m_mutex);
    return m_sentPieces;
}

std::uint64_t CBoardSimulator::ReceivedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_nReceived;
}

unsigned CBoardSimulator::CompletedDownloads() const
{
    std::lock_guard lock(m_mutex);
    return m_nCompleted;
}

bool CBoardSimulator::HungUp() const
{
    std::lock_guard lock(m_mutex);
    return m_bHungUp;
}

std::error_code CBoardSimulator::ImageError() const
{
    std::lock_guard lock(m_mutex);
    return m_imageError;
}

bool CBoardSimulator::WaitForDownloads(unsigned count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_nCompleted >= count; });
}

bool CBoardSimulator::WaitForAnswersSent(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_bAnswersSent; });
}

bool CBoardSimulator::WaitForBytes(std::uint64_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_nReceived >= count; });
}
