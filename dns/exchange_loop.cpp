#include "dns/exchange_loop.hpp"

#include <poll.h>
#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <functional>
#include <new>

#include "dns/secure_session.hpp"

namespace resq {

namespace {

// The epoll data of the descriptor of wake_on_readable: no slot has this index.
constexpr uint32_t readable_marker = UINT32_MAX;

// The epoll data of session connections count down from below readable_marker.
constexpr uint32_t first_session_marker = readable_marker - 1;

// Ready sockets taken from the kernel per wait; more come with the next wait, and an attempt
// whose deadline comes first reads its socket before it is judged.
constexpr int events_per_wait = 256;

uint32_t epoll_events_of(short events) {
    return events == POLLOUT ? EPOLLOUT : EPOLLIN;
}

// Waits on `epoll` for at most `wait` (none: at once), to the nanosecond where the kernel has
// epoll_pwait2 and else to the millisecond rounded up, so that no wait ends before its time.
int wait_for_events(int epoll, epoll_event* events, int capacity, std::chrono::nanoseconds wait) {
    using std::chrono::nanoseconds;
    wait = std::max(wait, nanoseconds::zero());
    static bool precise = true;
    if (precise) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>((wait - seconds).count())};
        const int ready = ::epoll_pwait2(epoll, events, capacity, &timeout, nullptr);
        if (ready >= 0 || errno != ENOSYS) {
            return ready;
        }
        precise = false;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return ::epoll_wait(epoll, events, capacity,
                        static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
}

}  // namespace

exchange_loop::exchange_loop(clock_function now)
    : now_(std::move(now)),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)),
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
    }
    const uint32_t index = free_slots_.back();
    free_slots_.pop_back();
    slot& entry = *slots_[index];
    entry.token = token;
    entry.busy = true;
    ++entry.generation;
    ++in_flight_;
    entry.session = target.session;
    if (entry.session != nullptr) {
        // The attempt waits on its server's connection; its deadline is its own.
        attempt.reset();
        attempt.server = target.server_text;
        entry.session_success = false;
        const uint32_t number = session_number(*entry.session);
        entry.session->submit(index, attempt, query);
        deadlines_.push({now_() + std::max(target.timeout, std::chrono::milliseconds(0)), index,
                         entry.generation});
        sync_session(number, nullptr);
        return;
    }
    entry.pending.start(attempt, query, target, now_());
    // Without a loop to wait in, the attempt cannot be waited for: it ends as if no reply came.
    if (!entry.pending.ended() && !watch(index, true)) {
        entry.pending.expire({scratch_.get(), receive_capacity});
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

uint32_t exchange_loop::session_number(secure_session& session) {
    for (uint32_t number = 0; number < sessions_.size(); ++number) {
        if (sessions_[number].session == &session) {
            return number;
        }
    }
    sessions_.push_back({&session, 0, 0});
    return static_cast<uint32_t>(sessions_.size() - 1);
}

void exchange_loop::sync_session(uint32_t number, std::vector<ended_attempt>* ended) {
    session_watch& watch = sessions_[number];
    secure_session& session = *watch.session;
    // A closed descriptor left the epoll set by itself; a new connection is added anew.
    if (session.descriptor() == -1) {
        watch.connection = 0;
    } else {
        epoll_event event{};
        event.events = session.events();
        event.data.u32 = first_session_marker - number;
        if (watch.connection != session.connection_number()) {
            if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, session.descriptor(), &event) == 0) {
                watch.connection = session.connection_number();
                watch.watched = event.events;
            }
        } else if (watch.watched != event.events &&
                   ::epoll_ctl(epoll_, EPOLL_CTL_MOD, session.descriptor(), &event) == 0) {
            watch.watched = event.events;
        }
    }
    session_ended_.clear();
    session.take_ended(session_ended_);
    for (const auto& [index, success] : session_ended_) {
        slot& entry = *slots_[index];
        entry.session_success = success;
        if (ended == nullptr) {
            ended_at_start_.push_back(index);
        } else {
            release(index, *ended);
        }
    }
}

void exchange_loop::release(uint32_t index, std::vector<ended_attempt>& ended) {
    slot& entry = *slots_[index];
    // The socket was closed as its attempt ended, which took it out of the epoll set.
    ended.push_back(
        {entry.token, entry.session != nullptr ? entry.session_success : entry.pending.success()});
    entry.busy = false;
    free_slots_.push_back(index);
    --in_flight_;
}

void exchange_loop::drop_stale_deadlines() {
    while (!deadlines_.empty()) {
        const deadline_entry& next = deadlines_.top();
        const slot& entry = *slots_[next.slot];
        if (entry.busy && entry.generation == next.generation) {
            return;
        }
        deadlines_.pop();
    }
}

void exchange_loop::wait(clock::time_point until, std::vector<ended_attempt>& ended) {
    const std::size_t ended_before = ended.size();
    for (const uint32_t index : ended_at_start_) {
        release(index, ended);
    }
    ended_at_start_.clear();
    drop_stale_deadlines();
    clock::time_point wake = until;
    if (!deadlines_.empty()) {
        wake = std::min(wake, deadlines_.top().when);
    }
    // Something already ended: only collect what is ready now.
    const auto wait = ended.size() > ended_before || wake == clock::time_point::min()
                          ? std::chrono::nanoseconds::zero()
                          : std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now_());
    std::array<epoll_event, events_per_wait> events{};
    // With nothing in flight this is a plain wait for `until`, cut short by a signal.
    const int ready = wait_for_events(epoll_, events.data(), events_per_wait, wait);
    const std::span<uint8_t> scratch(scratch_.get(), receive_capacity);
    for (int i = 0; i < ready; ++i) {
        const uint32_t index = events[static_cast<std::size_t>(i)].data.u32;
        if (index == readable_marker) {
            continue;  // the caller's descriptor: the wait has done its part
        }
        if (index > first_session_marker - sessions_.size()) {
            const uint32_t number = first_session_marker - index;
            sessions_[number].session->on_ready(scratch);
            sync_session(number, &ended);
            continue;
        }
        slot& entry = *slots_[index];
        if (!entry.busy) {
            continue;
        }
        entry.pending.on_ready(scratch);
        if (entry.pending.ended()) {
            release(index, ended);
        } else if (!watch(index, false)) {
            entry.pending.expire(scratch);
            release(index, ended);
        }
    }
    // Every attempt whose deadline has come ends now, after reading what its socket holds.
    const clock::time_point now = now_();
    for (drop_stale_deadlines(); !deadlines_.empty() && deadlines_.top().when <= now;
         drop_stale_deadlines()) {
        const uint32_t index = deadlines_.top().slot;
        deadlines_.pop();
        if (secure_session* session = slots_[index]->session; session != nullptr) {
            session->expire(index);
            sync_session(session_number(*session), &ended);
            continue;
        }
        slots_[index]->pending.expire(scratch);
        release(index, ended);
    }
}

void exchange_loop::wake_on_readable(int fd) {
    // One-shot: the descriptor wakes one wait, and is armed again for the next that asks.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.u32 = readable_marker;
    if (fd == wake_fd_) {
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
    } else if (wake_fd_ == -1 && ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0) {
        wake_fd_ = fd;
    }
}

void exchange_loop::abandon() {
    std::vector<ended_attempt> dropped;
    for (uint32_t index = 0; index < slots_.size(); ++index) {
        if (slots_[index]->busy) {
            if (secure_session* session = slots_[index]->session; session != nullptr) {
                session->expire(index);
            } else {
                slots_[index]->pending.expire({scratch_.get(), receive_capacity});
            }
            release(index, dropped);
        }
    }
    for (const session_watch& watch : sessions_) {
        session_ended_.clear();
        watch.session->take_ended(session_ended_);
    }
    ended_at_start_.clear();
    deadlines_ = {};
}

}  // namespace resq
