#include "dns/exchange_loop.hpp"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <functional>
#include <new>

namespace resq {

namespace {

// Ready sockets taken from the kernel per wait.
constexpr int events_per_wait = 256;

uint32_t epoll_events_of(short events) {
    return events == POLLOUT ? EPOLLOUT : EPOLLIN;
}

}  // namespace

exchange_loop::exchange_loop()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      scratch_(new (std::nothrow) uint8_t[receive_capacity]) {
    if (epoll_ == -1) {
        error_ = errno;
    } else if (!scratch_) {
        error_ = ENOMEM;
        ::close(epoll_);
        epoll_ = -1;
    }
}

exchange_loop::~exchange_loop() {
    if (epoll_ != -1) {
        ::close(epoll_);
    }
}

void exchange_loop::start(uint64_t token, dns_exchange& attempt, dns_record& query,
                          const exchange_target& target) {
    if (free_slots_.empty()) {
        free_slots_.push_back(static_cast<uint32_t>(slots_.size()));
        slots_.push_back(std::make_unique<slot>());
        slots_.back()->pending.keep_socket(true);
    }
    const uint32_t index = free_slots_.back();
    free_slots_.pop_back();
    slot& entry = *slots_[index];
    entry.token = token;
    entry.busy = true;
    ++entry.generation;
    ++in_flight_;
    entry.pending.start(attempt, query, target);
    // A kept socket is still in the epoll set. Without a loop to wait in, the attempt cannot be
    // waited for: it ends as if no reply came.
    if (!entry.pending.ended() && !entry.pending.socket_kept() && !watch(index, true)) {
        entry.pending.expire();
    }
    if (entry.pending.ended()) {
        ended_at_start_.push_back(index);
        return;
    }
    deadlines_.push({entry.pending.deadline(), index, entry.generation});
}

bool exchange_loop::watch(uint32_t index, bool added) {
    slot& entry = *slots_[index];
    const short events = entry.pending.events();
    if (!added && entry.watched == events) {
        return true;
    }
    epoll_event event{};
    event.events = epoll_events_of(events);
    event.data.u32 = index;
    const int operation = added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    if (epoll_ == -1 || ::epoll_ctl(epoll_, operation, entry.pending.descriptor(), &event) != 0) {
        return false;
    }
    entry.watched = events;
    return true;
}

void exchange_loop::release(uint32_t index, std::vector<ended_attempt>& ended) {
    slot& entry = *slots_[index];
    // A socket closed as its attempt ended left the epoll set with it; a kept one stays, idle.
    ended.push_back({entry.token, entry.pending.success()});
    entry.busy = false;
    free_slots_.push_back(index);
    --in_flight_;
}

void exchange_loop::wait(clock::time_point until, std::vector<ended_attempt>& ended) {
    const std::size_t ended_before = ended.size();
    for (const uint32_t index : ended_at_start_) {
        release(index, ended);
    }
    ended_at_start_.clear();
    // Deadlines of attempts that already ended are passed over as they come up.
    const auto drop_stale = [&] {
        while (!deadlines_.empty()) {
            const deadline_entry& next = deadlines_.top();
            const slot& entry = *slots_[next.slot];
            if (entry.busy && entry.generation == next.generation) {
                return;
            }
            deadlines_.pop();
        }
    };
    drop_stale();
    clock::time_point wake = until;
    if (!deadlines_.empty()) {
        wake = std::min(wake, deadlines_.top().when);
    }
    // Something already ended: only collect what is ready now.
    const int timeout = ended.size() > ended_before ? 0 : milliseconds_until(wake);
    std::array<epoll_event, events_per_wait> events{};
    // With nothing in flight this is a plain wait for `until`, cut short by a signal.
    const int ready = ::epoll_wait(epoll_, events.data(), events_per_wait, timeout);
    for (int i = 0; i < ready; ++i) {
        const uint32_t index = events[static_cast<std::size_t>(i)].data.u32;
        slot& entry = *slots_[index];
        if (!entry.busy) {
            // A late or repeated reply on a socket kept between attempts.
            entry.pending.drop_stray({scratch_.get(), receive_capacity});
            continue;
        }
        entry.pending.on_ready({scratch_.get(), receive_capacity});
        if (entry.pending.ended()) {
            release(index, ended);
        } else if (!watch(index, false)) {
            entry.pending.expire();
            release(index, ended);
        }
    }
    // Every attempt whose deadline has come ends now.
    const clock::time_point now = clock::now();
    for (drop_stale(); !deadlines_.empty() && deadlines_.top().when <= now; drop_stale()) {
        const uint32_t index = deadlines_.top().slot;
        deadlines_.pop();
        slots_[index]->pending.expire();
        release(index, ended);
    }
}

}  // namespace resq
