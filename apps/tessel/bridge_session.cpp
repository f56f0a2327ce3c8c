// Sessions of the bridge: each one's thread, its queue of requests, the
// exchanges with its control's process and the boxes that process raises.
#include "apps/tessel/bridge_session.h"

#include <cstdio>
#include <random>

#include "bridge/json.h"
#include "platform/message_box.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long an idle control's process gets to free its document (and the
// document's temporary files) before it is killed.
constexpr auto kQuitGrace = std::chrono::milliseconds(700);

Clock::rep now_ticks() {
  return Clock::now().time_since_epoch().count();
}

std::string text_member(const JsonValue& object, const char* name) {
  const JsonValue* value = object.find(name);
  return value != nullptr && value->is_string() ? value->as_string() : std::string();
}

// The parameters as the session host reads them.
std::string load_request(const MemoryPropertyBag& params) {
  std::string list;
  for (const auto& [name, value] : params.values()) {
    if (!list.empty()) list += ',';
    list += json_quote(cp1252_to_utf8(name)) + ":";
    switch (value.kind) {
      case PropertyValue::Kind::String: list += "{\"text\":" + json_quote(cp1252_to_utf8(value.text)) + "}"; break;
      case PropertyValue::Kind::Integer: list += "{\"number\":" + std::to_string(value.number) + "}"; break;
      case PropertyValue::Kind::NullString: list += "{\"null\":true}"; break;
    }
  }
  return "{\"do\":\"load\",\"params\":{" + list + "}}";
}

HttpResponse closed_response() {
  return http_error_response(410, "the session is closed");
}

}  // namespace

std::string random_hex_id() {
  static std::mutex mutex;
  static std::random_device device;
  std::lock_guard<std::mutex> lock(mutex);
  static const char hex[] = "0123456789abcdef";
  std::string id;
  for (int i = 0; i < 4; ++i) {
    const unsigned value = device();
    for (int shift = 28; shift >= 0; shift -= 4) id += hex[(value >> shift) & 15];
  }
  return id;
}

HttpResponse session_error_response(const BridgeSession::Answer& answer) {
  HttpResponse response = http_error_response(answer.status, answer.error);
  if (answer.ended) response.body = "{\"error\":" + json_quote(answer.error) + ",\"ended\":true}";
  return response;
}

BridgeSession::BridgeSession(std::string id, std::string token, MemoryPropertyBag params,
                             const SessionSettings& settings)
    : id_(std::move(id)), token_(std::move(token)), params_(std::move(params)), settings_(settings) {
  touch();
  thread_ = std::thread([this] { run(); });
}

BridgeSession::~BridgeSession() {
  close();
  join();
}

void BridgeSession::join() {
  if (thread_.joinable()) thread_.join();
}

bool BridgeSession::token_matches(const std::string& token) const {
  // Compared in constant time, so timing tells nothing about the token.
  if (token.size() != token_.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(token[i] ^ token_[i]);
  return difference == 0;
}

std::vector<BridgeBox> BridgeSession::boxes_after(int after) {
  std::lock_guard<std::mutex> lock(mutex_);
  touch();
  std::vector<BridgeBox> result;
  for (const BridgeBox& box : boxes_)
    if (box.id > after) result.push_back(box);
  return result;
}

bool BridgeSession::answer_box(int id, int answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (BridgeBox& box : boxes_) {
    if (box.id == id && box.waiting) {
      box.waiting = false;
      box.answer = answer;
      changed_.notify_all();
      return true;
    }
  }
  return false;
}

// An OK box is recorded and answered at once; a Retry/Cancel box waits
// until the page answers, the session closes or the patience runs out,
// which answers Cancel.
int BridgeSession::raise_box(const std::string& text, const std::string& title, int buttons) {
  std::unique_lock<std::mutex> lock(mutex_);
  const int id = next_box_++;
  BridgeBox box;
  box.id = id;
  box.text = text;
  box.title = title;
  box.buttons = buttons;
  box.waiting = buttons == MB_RETRYCANCEL && !closing_;
  box.answer = buttons != MB_RETRYCANCEL ? IDOK : closing_ ? IDCANCEL : 0;
  boxes_.push_back(std::move(box));
  // Old boxes go, but never one that still waits.
  while (boxes_.size() > kKeptBoxes && !boxes_.front().waiting) boxes_.pop_front();
  if (buttons != MB_RETRYCANCEL) return IDOK;
  const auto find = [&]() -> BridgeBox* {
    for (BridgeBox& b : boxes_)
      if (b.id == id) return &b;
    return nullptr;
  };
  changed_.wait_for(lock, settings_.box_patience, [&] {
    const BridgeBox* b = find();
    return closing_ || b == nullptr || !b->waiting;
  });
  BridgeBox* b = find();
  if (b == nullptr) return IDCANCEL;
  if (b->waiting) {  // no answer in time, or the session closed
    b->waiting = false;
    b->answer = IDCANCEL;
  }
  return b->answer;
}

std::optional<std::string> BridgeSession::on_event(const JsonValue& event) {
  if (const JsonValue* box = event.find("box"); box != nullptr && box->is_object()) {
    const std::string text = text_member(*box, "text"), title = text_member(*box, "title");
    const JsonValue* kind = box->find("buttons");
    const int buttons =
        kind != nullptr && kind->is_number() && kind->as_number() == MB_RETRYCANCEL ? MB_RETRYCANCEL : MB_OK;
    std::fprintf(stderr, "tessel serve: session %s: %s: %s\n", id_.c_str(), title.c_str(), text.c_str());
    const int answer = raise_box(text, title, buttons);
    if (buttons != MB_RETRYCANCEL) return std::nullopt;
    return "{\"answer\":" + std::to_string(answer) + "}";
  }
  if (const JsonValue* printer = event.find("printer"); printer != nullptr && printer->is_object()) {
    const std::string preselected = text_member(*printer, "preselected");
    const std::string name =
        settings_.choose_printer ? settings_.choose_printer(id_, preselected, [this] { return closing(); }) : "";
    return "{\"printer\":" + json_quote(name) + "}";
  }
  return std::nullopt;
}

BridgeSession::Answer BridgeSession::ended_answer(int status) {
  Answer answer;
  answer.status = status;
  answer.ended = true;
  answer.error = "the session's control " + ended_ + "; open the session again";
  return answer;
}

BridgeSession::Answer BridgeSession::ask(const std::string& request) {
  Answer answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
      answer.status = 410;
      answer.error = "the session is closed";
      return answer;
    }
  }
  if (!process_.running()) return ended_answer(410);
  ChannelMessage message;
  const SessionProcess::Outcome outcome = process_.exchange(
      request, &message, [this](const JsonValue& event) { return on_event(event); }, settings_.call_limit);
  if (outcome == SessionProcess::Outcome::Answered) {
    std::string problem;
    json_parse(message.json, &answer.json, &problem);
    const JsonValue* ok = answer.json.find("ok");
    if (ok == nullptr || !ok->is_bool() || !ok->as_bool()) {
      const JsonValue* status = answer.json.find("status");
      answer.status = status != nullptr && status->is_number() ? static_cast<int>(status->as_number()) : 500;
      answer.error = text_member(answer.json, "error");
      return answer;
    }
    answer.payload = std::move(message.payload);
    return answer;
  }
  process_.end(std::chrono::milliseconds(0));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
      answer.status = 410;
      answer.error = "the session is closed";
      return answer;
    }
  }
  ended_ = outcome == SessionProcess::Outcome::TimedOut
               ? "did not answer within " + std::to_string(settings_.call_limit.count()) + " s and was stopped"
               : "process " + process_.ending();
  std::fprintf(stderr, "tessel serve: session %s: the control %s\n", id_.c_str(), ended_.c_str());
  return ended_answer(502);
}

BridgeSession::Answer BridgeSession::open() {
  {
    // Started under the lock, so that a close that comes now finds the
    // new process to end.
    std::lock_guard<std::mutex> lock(mutex_);
    Answer answer;
    if (closing_) {
      answer.status = 410;
      answer.error = "the session is closed";
      return answer;
    }
    std::string error;
    if (!process_.start(settings_.program, settings_.trace_output, &error)) {
      answer.status = 503;
      answer.error = "cannot start the session's control: " + error;
      return answer;
    }
  }
  ended_.clear();
  return ask(load_request(params_));
}

void BridgeSession::submit(Work work, HttpReply reply) {
  bool closed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed = closing_;
    if (!closed && queue_.size() < settings_.max_queued) {
      queue_.push_back({std::move(work), std::move(reply), Clock::now()});
      touch();
      changed_.notify_all();
      return;
    }
  }
  reply.send(closed ? closed_response() : http_error_response(503, "the session is busy with another call"));
}

void BridgeSession::expire_waiting() {
  std::vector<Queued> late;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point limit = Clock::now() - settings_.busy_wait;
    while (!queue_.empty() && queue_.front().since <= limit) {
      late.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
  }
  for (Queued& q : late) q.reply.send(http_error_response(503, "the session is busy with another call"));
}

void BridgeSession::close(HttpReply reply) {
  bool cut_short;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closing_) {
      closing_ = true;
      close_reply_ = std::move(reply);
    }
    cut_short = busy_;
    changed_.notify_all();
  }
  if (reply.pending())  // closed twice: the first close answers when it is done
    reply.send(closed_response());
  if (cut_short) process_.kill_now();
}

bool BridgeSession::closing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closing_;
}

void BridgeSession::run() {
  for (;;) {
    Queued item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (closing_) break;
      item = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
    }
    HttpResponse response;
    try {
      response = item.work(*this);
    } catch (const std::exception& e) {
      response = http_error_response(500, e.what());
    }
    item.reply.send(std::move(response));
    touch();
    busy_ = false;
  }
  std::deque<Queued> left;
  HttpReply closed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left.swap(queue_);
    closed = std::move(close_reply_);
  }
  for (Queued& q : left) q.reply.send(closed_response());
  process_.end(kQuitGrace);
  if (closed.pending()) {
    HttpResponse response;
    response.body = "{\"closed\":true}";
    closed.send(std::move(response));
  }
  finished_ = true;
}

void BridgeSession::touch() {
  last_used_ = now_ticks();
}

bool BridgeSession::idle_for(std::chrono::seconds limit) const {
  if (busy_) return false;
  const auto idle = Clock::duration(now_ticks() - last_used_.load());
  return idle >= limit;
}

SessionTable::~SessionTable() {
  stop();
}

void SessionTable::create(MemoryPropertyBag params, HttpReply reply) {
  std::shared_ptr<BridgeSession> session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_ && sessions_.size() < settings_.max_sessions) {
      session = std::make_shared<BridgeSession>(random_hex_id(), random_hex_id(), std::move(params), settings_);
      sessions_.emplace(session->id(), session);
    }
  }
  if (session == nullptr)
    return reply.send(
        http_error_response(503, "too many sessions (at most " + std::to_string(settings_.max_sessions) + ")"));
  session->submit(
      [this](BridgeSession& s) {
        const BridgeSession::Answer loaded = s.open();
        if (loaded.status != 200) {
          discard(s.id());
          return session_error_response(loaded);
        }
        s.set_ready();
        std::fprintf(stderr, "tessel serve: session %s opened\n", s.id().c_str());
        HttpResponse response;
        response.status = 201;
        response.body = "{\"id\":" + json_quote(s.id()) + ",\"token\":" + json_quote(s.token()) + "}";
        return response;
      },
      std::move(reply));
}

std::shared_ptr<BridgeSession> SessionTable::find(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = sessions_.find(id);
  return found == sessions_.end() ? nullptr : found->second;
}

size_t SessionTable::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t ready = 0;
  for (const auto& entry : sessions_) ready += entry.second->ready() ? 1 : 0;
  return ready;
}

bool SessionTable::close(const std::string& id, HttpReply& reply) {
  std::shared_ptr<BridgeSession> session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sessions_.find(id);
    if (found == sessions_.end()) return false;
    session = found->second;
    sessions_.erase(found);
    ending_.push_back(session);
  }
  session->close(std::move(reply));
  return true;
}

void SessionTable::discard(const std::string& id) {
  HttpReply none;
  close(id, none);
}

void SessionTable::sweep() {
  std::vector<std::shared_ptr<BridgeSession>> expired, live, done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (it->second->ready() && it->second->idle_for(settings_.idle)) {
        expired.push_back(it->second);
        ending_.push_back(it->second);
        it = sessions_.erase(it);
      } else {
        live.push_back(it->second);
        ++it;
      }
    }
    for (auto it = ending_.begin(); it != ending_.end();) {
      if ((*it)->finished()) {
        done.push_back(std::move(*it));
        it = ending_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& session : expired) {
    std::fprintf(stderr, "tessel serve: session %s expired\n", session->id().c_str());
    session->close();
  }
  for (const auto& session : live) session->expire_waiting();
  for (const auto& session : done) session->join();
}

void SessionTable::start_reaper() {
  reaper_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_reaper_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
      lock.unlock();
      sweep();
      lock.lock();
    }
  });
}

void SessionTable::stop() {
  std::vector<std::shared_ptr<BridgeSession>> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (auto& entry : sessions_) ending_.push_back(entry.second);
    sessions_.clear();
    all = ending_;
  }
  stop_reaper_.notify_all();
  if (reaper_.joinable()) reaper_.join();
  // Closed all at once, so their processes end side by side.
  for (const auto& session : all) session->close();
  for (const auto& session : all) session->join();
  std::lock_guard<std::mutex> lock(mutex_);
  ending_.clear();
}
