// Headless event loop: delivers posted audio notifications and due timers on the calling thread.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/headless/headless.h"
#include "ui/host_events.h"

namespace {
std::mutex queueMutex;
std::condition_variable queueSignal;
std::deque<std::pair<AudioNotification, int>> pending;
}  // namespace

void PostAudioNotification(AudioNotification kind, int index) {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        pending.emplace_back(kind, index);
    }
    queueSignal.notify_one();
}

int RunEventLoop() {
    using Clock = std::chrono::steady_clock;
    std::map<int, Clock::time_point> due;
    HeadlessState& state = Headless();
    while (!state.quitPosted) {
        // Timers: (re)armed timers fire once their period has passed since they were last seen armed.
        Clock::time_point now = Clock::now();
        for (auto it = due.begin(); it != due.end();)
            it = state.timers.count(it->first) ? std::next(it) : due.erase(it);
        for (const auto& [id, period] : state.timers)
            if (!due.count(id)) due[id] = now + std::chrono::milliseconds(period);
        Clock::time_point next = now + std::chrono::milliseconds(50);
        for (const auto& [id, when] : due)
            if (when < next) next = when;

        std::pair<AudioNotification, int> item;
        bool have = false;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            queueSignal.wait_until(lock, next, [] { return !pending.empty(); });
            if (!pending.empty()) {
                item = pending.front();
                pending.pop_front();
                have = true;
            }
        }
        if (have) {
            if (item.first == AUDIO_INPUT_FILLED)
                OnAudioInputBufferFilled(item.second);
            else
                OnAudioOutputBlockDone(item.second);
            continue;
        }
        now = Clock::now();
        for (auto it = due.begin(); it != due.end();) {
            if (it->second <= now) {
                int id = it->first;
                it = due.erase(it);
                HostTimer(id);
                break;  // the timer table may have changed
            }
            ++it;
        }
    }
    return state.exitCode;
}
