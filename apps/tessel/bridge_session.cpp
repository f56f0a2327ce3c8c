// Sessions of the bridge, the process-wide control lock, and the routing of
// message boxes to the session whose call raised them.
#include "apps/tessel/bridge_session.h"

#include <cstdio>
#include <random>

#include "bridge/json.h"
#include "platform/host_services.h"
#include "platform/message_box.h"

namespace {

std::mutex g_control_lock;
thread_local ControlCall* t_current_call = nullptr;

std::chrono::steady_clock::rep now_ticks()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

} // namespace

std::string random_hex_id()
{
    static std::mutex mutex;
    static std::random_device device;
    std::lock_guard<std::mutex> lock(mutex);
    static const char hex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 4; ++i) {
        const unsigned value = device();
        for (int shift = 28; shift >= 0; shift -= 4)
            id += hex[(value >> shift) & 15];
    }
    return id;
}

bool BridgeSession::token_matches(const std::string& token) const
{
    // Compared in constant time, so timing tells nothing about the token.
    if (token.size() != token_.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(token[i] ^ token_[i]);
    return difference == 0;
}

std::vector<BridgeBox> BridgeSession::boxes_after(int after)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<BridgeBox> result;
    for (const BridgeBox& box : boxes_)
        if (box.id > after)
            result.push_back(box);
    return result;
}

bool BridgeSession::answer_box(int id, int answer)
{
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

int BridgeSession::raise_box(const char* text, const char* title, int buttons, std::chrono::seconds patience)
{
    int id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        BridgeBox box;
        box.id = id = next_box_++;
        box.text = cp1252_to_utf8(text != nullptr ? text : "");
        box.title = cp1252_to_utf8(title != nullptr ? title : "");
        box.buttons = buttons;
        box.waiting = buttons == MB_RETRYCANCEL && !closed_;
        if (buttons != MB_RETRYCANCEL)
            box.answer = IDOK;
        else if (closed_)
            box.answer = IDCANCEL;
        boxes_.push_back(std::move(box));
        // Old boxes go, but never one that still waits.
        while (boxes_.size() > kKeptBoxes && !boxes_.front().waiting)
            boxes_.pop_front();
        if (buttons != MB_RETRYCANCEL)
            return IDOK;
        if (closed_)
            return IDCANCEL;
    }
    auto wait = [&] {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto find = [&]() -> BridgeBox* {
            for (BridgeBox& box : boxes_)
                if (box.id == id)
                    return &box;
            return nullptr;
        };
        changed_.wait_for(lock, patience, [&] {
            const BridgeBox* box = find();
            return closed_ || box == nullptr || !box->waiting;
        });
        BridgeBox* box = find();
        if (box == nullptr)
            return IDCANCEL;
        if (box->waiting) {  // no answer in time, or the session closed
            box->waiting = false;
            box->answer = IDCANCEL;
        }
        return box->answer;
    };
    ControlCall* call = ControlCall::current();
    return call != nullptr ? call->outside(wait) : wait();
}

void BridgeSession::close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

void BridgeSession::touch()
{
    last_used_ = now_ticks();
}

bool BridgeSession::idle_for(std::chrono::seconds limit) const
{
    if (busy_ > 0)
        return false;
    const auto idle = std::chrono::steady_clock::duration(now_ticks() - last_used_.load());
    return idle >= limit;
}

ControlCall::ControlCall(BridgeSession* session)
    : session_(session), lock_(g_control_lock), previous_(t_current_call)
{
    t_current_call = this;
}

ControlCall::~ControlCall()
{
    t_current_call = previous_;
}

ControlCall* ControlCall::current()
{
    return t_current_call;
}

SessionTable::~SessionTable()
{
    stop();
}

bool SessionTable::open_module(std::string* error)
{
    std::lock_guard<std::mutex> control(g_control_lock);
    if (!anchor_.open_module(error))
        return false;
    module_ = shared_library_open(anchor_.module_path().c_str());
    if (!module_ || !exports_.resolve(module_.get())) {
        *error = anchor_.module_path() + " lacks the control module's exports";
        return false;
    }
    return true;
}

std::shared_ptr<BridgeSession> SessionTable::create(PropertyBag* bag, std::string* error)
{
    auto session = std::make_shared<BridgeSession>(random_hex_id(), random_hex_id());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || sessions_.size() >= limits_.max_sessions) {
            *error = "too many sessions (at most " + std::to_string(limits_.max_sessions) + ")";
            return nullptr;
        }
        // Reserved now, so that concurrent creations respect the bound.
        sessions_.emplace(session->id(), nullptr);
    }
    session->enter();
    bool made;
    {
        std::lock_guard<std::timed_mutex> one_call(session->call_mutex);
        ControlCall call(session.get());
        session->control = std::make_unique<ControlHost>();
        made = session->control->open_module(error) && session->control->create_control(bag, error);
        if (!made)
            session->control.reset();
    }
    session->leave();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!made) {
        sessions_.erase(session->id());
        return nullptr;
    }
    sessions_[session->id()] = session;
    return session;
}

std::shared_ptr<BridgeSession> SessionTable::find(const std::string& id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sessions_.find(id);
    return found == sessions_.end() ? nullptr : found->second;
}

size_t SessionTable::size()
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t live = 0;
    for (const auto& entry : sessions_)
        live += entry.second != nullptr ? 1 : 0;
    return live;
}

bool SessionTable::close(const std::string& id)
{
    std::shared_ptr<BridgeSession> session;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = sessions_.find(id);
        if (found == sessions_.end() || found->second == nullptr)
            return false;
        session = found->second;
        sessions_.erase(found);
    }
    destroy(session);
    return true;
}

void SessionTable::destroy(const std::shared_ptr<BridgeSession>& session)
{
    session->close();  // a box that waits answers Cancel, so its call ends
    std::lock_guard<std::timed_mutex> one_call(session->call_mutex);
    ControlCall call(session.get());
    session->control.reset();
    // Letting a control host go hands the module its own services back;
    // the other sessions still need the bridge's.
    const HostServices services = host_services();
    if (exports_.adopt_host_services != nullptr)
        exports_.adopt_host_services(&services);
}

void SessionTable::start_reaper()
{
    reaper_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_reaper_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
            std::vector<std::shared_ptr<BridgeSession>> expired;
            for (auto it = sessions_.begin(); it != sessions_.end();) {
                if (it->second != nullptr && it->second->idle_for(limits_.idle)) {
                    expired.push_back(it->second);
                    it = sessions_.erase(it);
                } else {
                    ++it;
                }
            }
            lock.unlock();
            for (const auto& session : expired)
                destroy(session);
            lock.lock();
        }
    });
}

void SessionTable::stop()
{
    std::vector<std::shared_ptr<BridgeSession>> remaining;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (auto& entry : sessions_)
            if (entry.second != nullptr)
                remaining.push_back(entry.second);
        sessions_.clear();
    }
    stop_reaper_.notify_all();
    if (reaper_.joinable())
        reaper_.join();
    for (const auto& session : remaining)
        destroy(session);
}
