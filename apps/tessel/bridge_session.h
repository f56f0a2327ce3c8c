// The bridge's page sessions. Each session's control runs in a process of
// its own, driven by a thread of its own that takes the session's requests
// one at a time; nothing one session waits for (a download, a layout, a
// box) holds anything another session needs. The message boxes a call
// raises are kept for the page to show (and, for Retry/Cancel, to answer).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "apps/tessel/session_process.h"
#include "bridge/http_server.h"
#include "platform/property_bag.h"

// A message box as the page sees it. Text and title are UTF-8.
struct BridgeBox {
  int id = 0;
  std::string text;
  std::string title;
  int buttons = 0;       // MB_OK or MB_RETRYCANCEL
  bool waiting = false;  // the control waits for the page's answer
  int answer = 0;        // IDOK, IDRETRY, IDCANCEL once answered; 0 before
};

struct SessionSettings {
  std::string program;    // the tessel program, started in its session-host mode
  int trace_output = -1;  // where a session's trace goes once its debughtml opens it
  size_t max_sessions = 64;
  std::chrono::seconds idle{600};
  std::chrono::seconds box_patience{60};
  // The longest a control may work on one request (not counting the time
  // a box waits for the page); past it the session's process is ended.
  std::chrono::seconds call_limit{300};
  // A request that waits this long behind the session's earlier ones is
  // answered "busy".
  std::chrono::seconds busy_wait{10};
  size_t max_queued = 128;
  // Names the printer for a session's Print; "" cancels. Called on the
  // session's thread; gives up once `closed` answers true.
  std::function<std::string(const std::string& session, const std::string& preselected,
                            const std::function<bool()>& closed)>
      choose_printer;
};

class BridgeSession {
 public:
  BridgeSession(std::string id, std::string token, MemoryPropertyBag params, const SessionSettings& settings);
  ~BridgeSession();
  BridgeSession(const BridgeSession&) = delete;
  BridgeSession& operator=(const BridgeSession&) = delete;

  const std::string& id() const { return id_; }
  // Given to the page that created the session, and to no one else.
  const std::string& token() const { return token_; }
  bool token_matches(const std::string& token) const;

  // Boxes after `after`, oldest first.
  std::vector<BridgeBox> boxes_after(int after);
  // The page's answer to a waiting box: IDRETRY or IDCANCEL. False when
  // no box of that id waits.
  bool answer_box(int id, int answer);

  // What one request to the control's process came to.
  struct Answer {
    int status = 200;    // 200, or the HTTP status of the failure
    std::string error;   // why, when not 200
    bool ended = false;  // the control's process is gone: open the session again
    JsonValue json;      // the control's answer
    std::string payload;
  };
  using Work = std::function<HttpResponse(BridgeSession& session)>;

  // Runs `work` on the session's thread after the work queued before it
  // and sends its response to `reply`. Answered at once when the session
  // is closed or too much is queued, and "busy" when it waits too long.
  void submit(Work work, HttpReply reply);

  // On the session's thread, inside work: one request to the control.
  Answer ask(const std::string& request);
  // On the session's thread: starts the control's process (again) and
  // loads it with the session's parameters.
  Answer open();

  // From any thread: the session takes no more work, a box that waits
  // answers Cancel, a request in progress is cut short (its process is
  // killed), and the process ends; `reply`, if any, is answered once it
  // has. The thread then finishes.
  void close(HttpReply reply = {});
  bool closing();
  bool finished() const { return finished_; }
  void join();

  // Answers work that has waited longer than busy_wait.
  void expire_waiting();
  // Set once the first load has succeeded.
  void set_ready() { ready_ = true; }
  bool ready() const { return ready_; }
  bool idle_for(std::chrono::seconds limit) const;

 private:
  struct Queued {
    Work work;
    HttpReply reply;
    std::chrono::steady_clock::time_point since;
  };
  static constexpr size_t kKeptBoxes = 100;

  void run();
  std::optional<std::string> on_event(const JsonValue& event);
  int raise_box(const std::string& text, const std::string& title, int buttons);
  Answer ended_answer(int status);
  void touch();

  const std::string id_;
  const std::string token_;
  const MemoryPropertyBag params_;
  const SessionSettings& settings_;

  std::mutex mutex_;  // the queue, the boxes, closing
  std::condition_variable changed_;
  std::deque<Queued> queue_;
  std::deque<BridgeBox> boxes_;
  int next_box_ = 1;
  bool closing_ = false;
  HttpReply close_reply_;

  SessionProcess process_;  // used by the session's thread only
  std::string ended_;       // why the process is gone, when it went by itself
  std::atomic<bool> busy_{false};
  std::atomic<bool> ready_{false};
  std::atomic<bool> finished_{false};
  std::atomic<std::chrono::steady_clock::rep> last_used_{0};
  std::thread thread_;
};

// The live sessions by id. Creation starts a session's process and loads
// its control; closing and expiry end it (the document, its temporary files
// and the process's folder go with it).
class SessionTable {
 public:
  explicit SessionTable(SessionSettings settings) : settings_(std::move(settings)) {}
  ~SessionTable();

  // A new session loaded from `params`; `reply` gets 201 with its id and
  // token once its control has loaded, or the reason it could not.
  void create(MemoryPropertyBag params, HttpReply reply);
  std::shared_ptr<BridgeSession> find(const std::string& id);
  // Ends the session; `reply` is answered once its process has gone.
  // False (and `reply` untouched) when there is no such session.
  bool close(const std::string& id, HttpReply& reply);
  // Sessions whose control has loaded.
  size_t size();

  // Expires idle sessions and answers requests that waited too long,
  // every second until stop().
  void start_reaper();
  // Ends every session, whatever it is doing, and waits until all are
  // gone.
  void stop();

  const SessionSettings& settings() const { return settings_; }

 private:
  void retire(const std::shared_ptr<BridgeSession>& session, HttpReply reply = {});
  void discard(const std::string& id);
  void sweep();

  SessionSettings settings_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<BridgeSession>> sessions_;
  std::vector<std::shared_ptr<BridgeSession>> ending_;  // closed, their threads finishing
  std::condition_variable stop_reaper_;
  bool stopping_ = false;
  std::thread reaper_;
};

// The HTTP answer for a request the control could not answer: the error,
// and "ended" when the session's process is gone.
HttpResponse session_error_response(const BridgeSession::Answer& answer);

// 128 random bits in hex, for session ids and tokens.
std::string random_hex_id();
