// The document transfer; see sync.h.
#include "device/sync.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/hid_library.h"
#include "device/page_transfer.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/memory_dc.h"
#include "platform/message_box.h"
#include "platform/resources.h"

namespace {

constexpr DcColor kWhite = 0x00FFFFFF;

// Searches for the device until it answers or the user cancels; a Cancel
// still searches once more. Answers the last button (IDRETRY unless the
// user cancelled) and whether that last search found the device.
int find_device(const ShowMessageFn& show_message, bool* found) {
  int answer = IDRETRY;
  for (;;) {
    *found = g_hid.findHidDevice(HID_VENDOR_ID, HID_PRODUCT_ID) != 0;
    if (*found || answer != IDRETRY) return answer;
    answer = show_message(DEVICE_NOT_FOUND_TEXT, HID_MESSAGE_TITLE, MB_RETRYCANCEL);
  }
}

// The memory context pages are drawn on: a 160 x 128 bitmap at the screen's
// resolution, started from the white page bitmap of the module. The memory
// context of this platform needs no screen context to be compatible with.
std::unique_ptr<MemoryDc> create_page_context() {
  std::unique_ptr<MemoryDc> memory = MemoryDc::create(DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT);
  ResourceBitmap white{};
  if (memory && load_bitmap_resource(IDB_DEVICE_PAGE, &white))
    memory->dc()->stretch_dib(0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT, 0, 0, white.info->width, white.info->height,
                              white.bits, white.bits_size, white.info);
  return memory;
}

// Copies the context's pixels into bitmap (rows top first, 640 bytes each);
// answers the number of bytes delivered.
size_t read_page_bitmap(MemoryDc* memory, std::vector<unsigned char>* bitmap) {
  const unsigned char* bits = memory->bits();
  if (bits == nullptr || memory->stride() < DEVICE_BITMAP_STRIDE) return 0;
  bitmap->resize(DEVICE_BITMAP_SIZE);
  for (int y = 0; y < DEVICE_PAGE_HEIGHT; ++y)
    std::memcpy(bitmap->data() + size_t{DEVICE_BITMAP_STRIDE} * y, bits + static_cast<size_t>(memory->stride()) * y,
                DEVICE_BITMAP_STRIDE);
  return bitmap->size();
}

// Pages of one transfer that run past the end of the memory start again at
// the first page address. That can only overwrite pages of earlier
// transfers, which the new directory no longer lists, as long as a full
// directory's pages fit into the memory at once.
static_assert(DEVICE_FIRST_PAGE_ADDRESS + uint64_t{DIRECTORY_MAX_ENTRIES + 1} * PAGE_BLOCKS * DEVICE_BLOCK_STEP <=
              DEVICE_ADDRESS_END);

// The transfer's pages, all drawn on the one memory context and sent as
// they come. Counts in *result the pages sent and those the directory had
// no room for.
class DeviceSink : public PageSink {
 public:
  DeviceSink(RenderTarget* target, MemoryDc* memory, const ShowMessageFn& show_message, std::FILE* out,
             SyncResult* result)
      : target_(target), memory_(memory), show_message_(show_message), out_(out), result_(result) {}

  // False when the device stopped taking a page; the pages after it are
  // not sent.
  bool taken() const { return taken_; }

  RenderTarget* begin_page(int /*page*/) override {
    // Pages past a full directory are still laid out so that the user
    // learns how many did not reach the device.
    sending_ = !directory_full();
    if (sending_ && !page_fits_address_space()) g_device_link.write_address = DEVICE_FIRST_PAGE_ADDRESS;
    stuck_ = false;
    target_->fill_rect(target_, 0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT, kWhite);
    return target_;
  }

  // The page laid out around the element is still sent; the user hears of
  // the element after it.
  void no_progress(int /*page*/, pdoc_element* /*element*/) override { stuck_ = true; }

  bool end_page(int page, const PagePosition& /*start*/) override {
    if (!sending_) {
      ++result_->pages_left_out;
      return true;
    }
    const size_t delivered = read_page_bitmap(memory_, &bitmap_);
    std::fprintf(out_, "Sending page %d...", page);
    std::fflush(out_);
    if (delivered > 0) {
      if (!SendPage(bitmap_.data(), static_cast<int>(delivered), out_)) {
        taken_ = false;
        return false;
      }
      ++result_->pages_sent;
    }
    if (stuck_) show_message_("Cannot fit on a page", "Error", MB_OK);
    return true;
  }

 private:
  RenderTarget* target_;
  MemoryDc* memory_;
  const ShowMessageFn& show_message_;
  std::FILE* out_;
  SyncResult* result_;
  std::vector<unsigned char> bitmap_;
  bool sending_ = false;
  bool stuck_ = false;
  bool taken_ = true;
};

// What the user is told when the device does not end up listing every
// page; empty when it does.
std::string shortfall_text(const SyncResult& result) {
  char text[200];
  if (result.status == SyncResult::Status::WriteFailed) {
    std::snprintf(text, sizeof text,
                  "The transfer did not complete: Tessel stopped taking data after %d page%s.  "
                  "Please make sure it is plugged in and try again.",
                  result.pages_sent, result.pages_sent == 1 ? "" : "s");
  } else if (result.status == SyncResult::Status::LeftOut) {
    const int left = result.pages_left_out;
    std::snprintf(text, sizeof text, "Tessel holds %d pages: the last %d page%s of the document %s left out.",
                  DIRECTORY_MAX_ENTRIES, left, left == 1 ? "" : "s", left == 1 ? "was" : "were");
  } else {
    return {};
  }
  return text;
}

}  // namespace

SyncResult sync_device(pdoc_element* root, const ShowMessageFn& show_message, std::FILE* out) {
  SyncResult result;
  SharedLibrary library = LoadHidLibrary();
  if (!library) {
    show_message(HID_LOAD_FAILED_TEXT, HID_MESSAGE_TITLE, MB_OK);
    result.status = SyncResult::Status::NoLibrary;
    return result;
  }
  if (!BindHidFunctions(library.get())) {
    show_message(HID_BIND_FAILED_TEXT, HID_MESSAGE_TITLE, MB_OK);
    result.status = SyncResult::Status::NoLibrary;
    return result;
  }

  bool found = false;
  if (find_device(show_message, &found) != IDRETRY) {
    if (found) g_hid.closeDevice();
    result.status = SyncResult::Status::NoDevice;
    return result;
  }

  directory_reset();
  bool taken = true;
  if (auto memory = create_page_context()) {
    const RtRect page = {0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT};
    if (RenderTargetPtr target{rt_create(memory->dc(), page, RT_VERSION)}) {
      DeviceSink sink(target.get(), memory.get(), show_message, out, &result);
      paginate(sink, root);
      taken = sink.taken();
    }
  }

  // The directory lists the pages that went through, also after a failure.
  DeviceLinkState& link = g_device_link;
  link.directory[0] = static_cast<unsigned char>(link.directory_length / 4 - 1);
  taken = SendBlock(DEVICE_BLOCK_SIZE, link.directory, DEVICE_DIRECTORY_ADDRESS, out) != 0 && taken;

  result.status = !taken                      ? SyncResult::Status::WriteFailed
                  : result.pages_left_out > 0 ? SyncResult::Status::LeftOut
                                              : SyncResult::Status::Sent;
  const std::string shortfall = shortfall_text(result);
  if (!shortfall.empty()) std::fprintf(out, "%s\n", shortfall.c_str());

  g_hid.closeDevice();
  std::fputs("Done.\n", out);
  // The device is closed before the user is asked to read anything.
  if (!shortfall.empty()) show_message(shortfall.c_str(), HID_MESSAGE_TITLE, MB_OK);
  return result;
}
