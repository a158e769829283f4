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

void PostCommand(int window, int command) { Headless().postedCommands.emplace_back(window, command); }

int HeadlessRunPostedCommands() {
    int count = 0;
    HeadlessState& state = Headless();
    while (!state.postedCommands.empty()) {
        std::pair<int, int> posted = state.postedCommands.front();
        state.postedCommands.pop_front();
        HostCommand(posted.first, posted.second);
        ++count;
    }
    return count;
}

int RunEventLoop() {
    using Clock = std::chrono::steady_clock;
    struct Due {
        Clock::time_point when;
        unsigned arms;
    };
    std::map<int, Due> due;
    HeadlessState& state = Headless();
    while (!state.quitPosted) {
        HeadlessRunPostedCommands();
        if (state.idleCallback) state.idleCallback();
        if (state.quitPosted) break;
        // Timers: (re)armed timers fire once their period has passed since they were last seen armed.
        Clock::time_point now = Clock::now();
        for (auto it = due.begin(); it != due.end();)
            it = state.timers.count(it->first) ? std::next(it) : due.erase(it);
        for (const auto& [id, period] : state.timers) {
            unsigned arms = state.timerArms[id];
            auto found = due.find(id);
            if (found == due.end() || found->second.arms != arms)
                due[id] = {now + std::chrono::milliseconds(period), arms};
        }
        Clock::time_point next = now + std::chrono::milliseconds(50);
        for (const auto& [id, entry] : due)
            if (entry.when < next) next = entry.when;

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
            if (state.audioObserver)
                state.audioObserver(item.first, item.second);
            else if (item.first == AUDIO_INPUT_FILLED)
                OnAudioInputBufferFilled(item.second);
            else
                OnAudioOutputBlockDone(item.second);
        }
        // Due timers fire also while notifications keep arriving.
        now = Clock::now();
        for (auto it = due.begin(); it != due.end();) {
            // A timer killed or re-armed by the handler just run starts afresh at the top of the loop.
            auto running = state.timers.find(it->first);
            if (running == state.timers.end() || state.timerArms[it->first] != it->second.arms) {
                ++it;
                continue;
            }
            if (it->second.when <= now) {
                int id = it->first;
                // A periodic timer: the next period starts now unless the handler re-arms or kills it.
                it->second.when = now + std::chrono::milliseconds(state.timers[id]);
                HostTimer(id);
                break;  // the timer table may have changed
            }
            ++it;
        }
    }
    return state.exitCode;
}
