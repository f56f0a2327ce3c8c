// The bridge's page sessions: one control per session, driven one call at a
// time, with the message boxes its calls raise kept for the page to show
// (and, for Retry/Cancel, to answer).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/tessel/dispatch_host.h"
#include "control/module/tessel_module_exports.h"
#include "platform/property_bag.h"

// A message box as the page sees it. Text and title are UTF-8.
struct BridgeBox {
    int id = 0;
    std::string text;
    std::string title;
    int buttons = 0;     // MB_OK or MB_RETRYCANCEL
    bool waiting = false;  // the control waits for the page's answer
    int answer = 0;      // IDOK, IDRETRY, IDCANCEL once answered; 0 before
};

class BridgeSession {
public:
    BridgeSession(std::string id, std::string token) : id_(std::move(id)), token_(std::move(token)) {}

    const std::string& id() const { return id_; }
    // Given to the page that created the session, and to no one else.
    const std::string& token() const { return token_; }
    bool token_matches(const std::string& token) const;

    // The session's control; only touched inside a ControlCall.
    std::unique_ptr<ControlHost> control;
    // One call into the control at a time.
    std::timed_mutex call_mutex;

    // Boxes after `after`, oldest first.
    std::vector<BridgeBox> boxes_after(int after);
    // The page's answer to a waiting box: IDRETRY or IDCANCEL. False when
    // no box of that id waits.
    bool answer_box(int id, int answer);

    // Called from the message-box handler on the calling thread. An OK box
    // is recorded and answered at once; a Retry/Cancel box waits (with the
    // control released for other sessions) until the page answers, the
    // session closes or `patience` runs out, which answers Cancel.
    int raise_box(const char* text, const char* title, int buttons, std::chrono::seconds patience);

    // Marks the session closed and lets a waiting box go (as Cancel).
    void close();

    // Requests in progress keep the session from expiring.
    void touch();
    void enter() { ++busy_; touch(); }
    void leave() { touch(); --busy_; }
    bool idle_for(std::chrono::seconds limit) const;

private:
    static constexpr size_t kKeptBoxes = 100;

    const std::string id_;
    const std::string token_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<BridgeBox> boxes_;
    int next_box_ = 1;
    bool closed_ = false;
    std::atomic<int> busy_{0};
    std::atomic<std::chrono::steady_clock::rep> last_used_{0};
};

// Everything that calls into a control runs inside a ControlCall: it holds
// the process-wide control lock (the controls share layout, fonts and the
// device link, which expect one caller at a time) and tells the message-box
// and print-dialog handlers which session the call belongs to.
class ControlCall {
public:
    explicit ControlCall(BridgeSession* session);
    ~ControlCall();
    ControlCall(const ControlCall&) = delete;
    ControlCall& operator=(const ControlCall&) = delete;

    // The call running on this thread, or null.
    static ControlCall* current();
    BridgeSession* session() const { return session_; }

    // Runs `wait` with the control lock released, so other sessions go on
    // while this call waits for a person.
    template <typename Wait>
    auto outside(Wait wait)
    {
        lock_.unlock();
        struct Relock {
            std::unique_lock<std::mutex>& lock;
            ~Relock() { lock.lock(); }
        } relock{lock_};
        return wait();
    }

private:
    BridgeSession* session_;
    std::unique_lock<std::mutex> lock_;
    ControlCall* previous_;
};

struct SessionLimits {
    size_t max_sessions = 64;
    std::chrono::seconds idle{600};
    std::chrono::seconds box_patience{60};
};

// The live sessions by id. Creation loads a control; closing and expiry
// free it (the document and its temporary files go with it).
class SessionTable {
public:
    explicit SessionTable(SessionLimits limits) : limits_(limits) {}
    ~SessionTable();

    // Opens the control module once for the bridge's lifetime. False with a
    // reason when it cannot be loaded.
    bool open_module(std::string* error);

    // A new session loaded from `bag`; null with a reason when the table is
    // full or the control cannot be made.
    std::shared_ptr<BridgeSession> create(PropertyBag* bag, std::string* error);
    std::shared_ptr<BridgeSession> find(const std::string& id);
    // False when there is no such session.
    bool close(const std::string& id);
    size_t size();

    // Expires idle sessions every second until stop().
    void start_reaper();
    void stop();

    const SessionLimits& limits() const { return limits_; }

private:
    void destroy(const std::shared_ptr<BridgeSession>& session);

    SessionLimits limits_;
    ControlHost anchor_;         // keeps the module loaded between sessions
    SharedLibrary module_;       // a reference of our own, for its exports
    TesselModuleExports exports_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<BridgeSession>> sessions_;
    std::condition_variable stop_reaper_;
    bool stopping_ = false;
    std::thread reaper_;
};

// 128 random bits in hex, for session ids and tokens.
std::string random_hex_id();
