// The session-host mode: reads the bridge's requests off the channel (load,
// call, view, quit), runs them on the control one at a time, and sends the
// control's message boxes and print-dialog questions back to the bridge,
// which shows them to the page or asks its terminal.
#include "apps/tessel/session_host.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "apps/tessel/dispatch_host.h"
#include "bridge/json.h"
#include "bridge/session_channel.h"
#include "platform/com_dispatch.h"
#include "platform/console.h"
#include "platform/dc_cairo.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_settings.h"
#include "platform/property_bag.h"

namespace {

constexpr int kChannel = kSessionHostChannel;

// The bridge is gone or out of step: nothing can be answered any more, and
// the bridge removes whatever this process leaves behind.
[[noreturn]] void lost_bridge() {
  std::_Exit(1);
}

void send(const std::string& json, std::string payload = {}) {
  if (channel_send(kChannel, {json, std::move(payload)}) != ChannelStatus::Ok) lost_bridge();
}

// Sends an event and waits for the bridge's answer to it.
JsonValue ask_bridge(const std::string& event) {
  send(event);
  ChannelMessage answer;
  JsonValue value;
  std::string problem;
  if (channel_receive(kChannel, &answer) != ChannelStatus::Ok || !json_parse(answer.json, &value, &problem))
    lost_bridge();
  return value;
}

std::string text_of(const JsonValue* value) {
  return value != nullptr && value->is_string() ? value->as_string() : std::string();
}

double number_of(const JsonValue* value) {
  return value != nullptr && value->is_number() ? value->as_number() : 0;
}

std::string done(bool ok, const std::string& rest = {}) {
  return std::string("{\"done\":true,\"ok\":") + (ok ? "true" : "false") + rest + "}";
}

std::string failure(const std::string& error) {
  return done(false, ",\"error\":" + json_quote(error));
}

const char* print_outcome(PrintResult::Status status) {
  switch (status) {
    case PrintResult::Status::NotRun: return "notRun";
    case PrintResult::Status::Printed: return "printed";
    case PrintResult::Status::Cancelled: return "cancelled";
    case PrintResult::Status::Failed: return "failed";
  }
  return "failed";
}

const char* sync_outcome(SyncResult::Status status) {
  switch (status) {
    case SyncResult::Status::NotRun: return "notRun";
    case SyncResult::Status::Sent: return "sent";
    case SyncResult::Status::LeftOut: return "leftOut";
    case SyncResult::Status::NoLibrary: return "noLibrary";
    case SyncResult::Status::NoDevice: return "noDevice";
    case SyncResult::Status::WriteFailed: return "writeFailed";
  }
  return "writeFailed";
}

// What a Print or Sync came to, as answer fields: the outcome, how many
// elements the pages left out and, for a transfer, the pages sent and the
// pages without room. A job that did not reach its destination failed,
// unless the user called it off (a cancelled print dialog, a device search
// given up); a transfer that left pages out did not fail (the answer says
// what is missing).
struct JobOutcome {
  bool failed = false;
  std::string fields;
};

JobOutcome job_outcome(const std::string& member, const TesselControlReport& report) {
  JobOutcome job;
  const std::string left_out = ",\"leftOut\":" + std::to_string(report.left_out_elements);
  if (member == "Print") {
    const PrintResult::Status status = report.last_print.status;
    job.failed = status == PrintResult::Status::Failed;
    job.fields = ",\"outcome\":" + json_quote(print_outcome(status)) + left_out +
                 ",\"sheets\":" + std::to_string(report.last_print.sheets);
    return job;
  }
  const SyncResult::Status status = report.last_sync.status;
  job.failed = status == SyncResult::Status::NoLibrary || status == SyncResult::Status::WriteFailed;
  job.fields = ",\"outcome\":" + json_quote(sync_outcome(status)) + left_out +
               ",\"pagesSent\":" + std::to_string(report.last_sync.pages_sent) +
               ",\"pagesLeftOut\":" + std::to_string(report.last_sync.pages_left_out);
  return job;
}

void install_bridge_services() {
  set_message_box_handler([](const char* text, const char* title, int buttons) {
    const std::string event = "{\"box\":{\"text\":" + json_quote(cp1252_to_utf8(text != nullptr ? text : "")) +
                              ",\"title\":" + json_quote(cp1252_to_utf8(title != nullptr ? title : "")) +
                              ",\"buttons\":" + std::to_string(buttons) + "}}";
    if (buttons != MB_RETRYCANCEL) {
      send(event);
      return IDOK;
    }
    const int answer = static_cast<int>(number_of(ask_bridge(event).find("answer")));
    return answer == IDRETRY ? IDRETRY : IDCANCEL;
  });
  // The page never picks the printer: the bridge names it (its --printer,
  // or whoever runs the bridge), or cancels.
  set_print_dialog_handler([](const PrintDialogRequest& request, PrintDialogChoice* choice) {
    const JsonValue answer =
        ask_bridge("{\"printer\":{\"preselected\":" + json_quote(cp1252_to_utf8(request.preselected)) + "}}");
    const std::string name = utf8_to_cp1252(text_of(answer.find("printer")));
    if (name.empty()) return false;
    choice->printer = name;
    choice->dev_mode.copies = 1;
    choice->driver_copies = !print_is_pdf_destination(name);
    return true;
  });
}

// Loading (downloads, building, pictures), printing and the device transfer
// (every page, at 600 dpi or many times over) run on a thread of lower
// priority, so that views and page turns, which people watch, come first
// when the processor is short of time. The calls still run one at a time:
// the caller waits.
class LowPriorityThread {
 public:
  LowPriorityThread()
      : thread_([this] {
          ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kNiceness);
          serve();
        }) {}
  ~LowPriorityThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void run(const std::function<void()>& work) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_ = &work;
    changed_.notify_all();
    changed_.wait(lock, [this] { return work_ == nullptr; });
  }

 private:
  static constexpr int kNiceness = 10;

  void serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || work_ != nullptr; });
      if (stopping_) return;
      (*work_)();
      work_ = nullptr;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* work_ = nullptr;
  bool stopping_ = false;
  std::thread thread_;
};

class SessionHost {
 public:
  // Answers false when the bridge asked to quit.
  bool serve(const ChannelMessage& message);

 private:
  void load(const JsonValue& request);
  void call(const JsonValue& request);
  void view(const JsonValue& request);

  std::unique_ptr<ControlHost> control_;
  LowPriorityThread background_;
};

bool SessionHost::serve(const ChannelMessage& message) {
  JsonValue request;
  std::string problem;
  if (!json_parse(message.json, &request, &problem) || !request.is_object()) lost_bridge();
  const std::string what = text_of(request.find("do"));
  if (what == "quit") return false;
  if (what == "load")
    load(request);
  else if (what == "call" && control_)
    call(request);
  else if (what == "view" && control_)
    view(request);
  else
    send(failure(control_ ? "unknown request " + what : "the control is not loaded"));
  return true;
}

// The parameters arrive as {"name": {"text": ...} | {"number": n} | {"null": true}}.
void SessionHost::load(const JsonValue& request) {
  MemoryPropertyBag bag;
  if (const JsonValue* params = request.find("params"); params != nullptr && params->is_object()) {
    for (const auto& [name, value] : params->as_object()) {
      if (const JsonValue* text = value.find("text"); text != nullptr && text->is_string())
        bag.set(name, utf8_to_cp1252(text->as_string()));
      else if (const JsonValue* number = value.find("number"); number != nullptr && number->is_number())
        bag.write(name, PropertyValue::integer(static_cast<long>(number->as_number())));
      else
        bag.write(name, PropertyValue::null_string());
    }
  }
  control_.reset();
  auto control = std::make_unique<ControlHost>();
  std::string error;
  bool made = false;
  background_.run([&] { made = control->open_module(&error) && control->create_control(&bag, &error); });
  if (!made) return send(failure(error));
  control_ = std::move(control);
  send(done(true));
}

void SessionHost::call(const JsonValue& request) {
  const std::string member = text_of(request.find("member"));
  const std::string op = text_of(request.find("op"));
  const JsonValue* value = request.find("value");
  HRESULT hr = E_UNEXPECTED;
  std::string result = "null";
  if (op == "call" && (member == "Print" || member == "Sync")) {
    background_.run([&] { hr = control_->call(member.c_str()); });
  } else if (op == "call") {
    hr = control_->call(member.c_str());
  } else if (op == "put") {
    Variant argument;
    if (member == "FillColor") {
      // OLE colours are unsigned: every value up to 0xFFFFFFFF is one.
      const double colour = number_of(value);
      if (colour < 0 || colour > 4294967295.0 || colour != std::floor(colour))
        return send(failure("FillColor takes a colour from 0 to 4294967295"));
      argument.vt = VT_UI4;
      argument.ulVal = static_cast<uint32_t>(colour);
    } else {
      argument.vt = VT_BSTR;
      argument.bstrVal = bstr_from_ansi(utf8_to_cp1252(text_of(value)).c_str());
    }
    hr = control_->put(member.c_str(), argument);
  } else {
    Variant got;
    hr = control_->get(member.c_str(), &got);
    if (SUCCEEDED(hr) && got.vt == VT_BSTR)
      result = json_quote(cp1252_to_utf8(bstr_to_ansi(got.bstrVal)));
    else if (SUCCEEDED(hr) && (got.vt == VT_I4 || got.vt == VT_UI4))
      result = std::to_string(got.ulVal);
  }
  // Print and Sync answer success whatever became of the job, as pages
  // expect of the members; the answer says what it came to.
  JobOutcome job;
  if (op == "call" && (member == "Print" || member == "Sync") && control_->has_control())
    job = job_outcome(member, control_->report());
  if (job.failed) job.fields += ",\"jobFailed\":true";
  send(done(SUCCEEDED(hr),
            ",\"hresult\":" + std::to_string(static_cast<int32_t>(hr)) + ",\"value\":" + result + job.fields));
}

// As the host repaints: the background erased to white, then the control's
// own drawing; answered as PNG with the page shown.
void SessionHost::view(const JsonValue& request) {
  const int w = static_cast<int>(number_of(request.find("width")));
  const int h = static_cast<int>(number_of(request.find("height")));
  auto dc = w > 0 && h > 0 ? CairoDc::create_screen(w, h) : nullptr;
  if (!dc) return send(failure("no memory for a view of that size"));
  const DcObject background = dc->create_solid_brush(dc_rgb(255, 255, 255));
  dc->fill_rect({0, 0, w, h}, background);
  dc->delete_object(background);
  if (FAILED(control_->draw(dc.get(), {0, 0, w, h}))) return send(failure("the control could not draw"));
  std::string png;
  if (!dc->encode_png(&png)) return send(failure("the view could not be encoded"));
  const TesselControlReport report = control_->report();
  send(done(true, ",\"page\":" + std::to_string(report.current_page) +
                      ",\"leftOut\":" + std::to_string(report.left_out_elements)),
       std::move(png));
}

}  // namespace

int run_session_host(const std::string& bridge_pid) {
  // Ends with the bridge, even when the bridge is killed outright.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (std::to_string(::getppid()) != bridge_pid) return 1;
  ::signal(SIGPIPE, SIG_IGN);
  console_hide_stdout();
  install_bridge_services();

  SessionHost host;
  for (;;) {
    ChannelMessage message;
    if (channel_receive(kChannel, &message) != ChannelStatus::Ok) return 0;  // the bridge went away
    if (!host.serve(message)) return 0;
  }
}
