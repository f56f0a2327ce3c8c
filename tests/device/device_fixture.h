// Shared pieces of the device tests: the HID libraries the build makes, a
// scratch folder with the simulator's flash and log files, the reports the
// simulator logged, and reference pages rendered the way the transfer does.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "device/hid_library.h"
#include "device/page_image.h"
#include "device/page_transfer.h"
#include "document/pdocbuild.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc_cairo.h"

namespace device_test {

inline std::string built_library(const char* file) {
  return std::string(TESSEL_BINARY_DIR) + "/device/" + file;
}
inline const std::string kSimulator = built_library("AtUsbHidSimulator.so");
inline const std::string kIncomplete = built_library("AtUsbHidNoSetFeature.so");
inline const std::string kHidapi = built_library("AtUsbHid.so");

using Report = std::array<uint8_t, HID_REPORT_SIGNIFICANT>;

// The simulator's log, split into its calls.
struct SimulatorLog {
  std::vector<std::string> calls;  // "find 1", "find 0", "close", "write"
  std::vector<Report> writes;
};

inline SimulatorLog read_log(const std::string& path) {
  SimulatorLog log;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("write ", 0) == 0) {
      Report report{};
      for (size_t i = 0; i < report.size() && 6 + 2 * i + 1 < line.size(); ++i)
        report[i] = static_cast<uint8_t>(std::stoi(line.substr(6 + 2 * i, 2), nullptr, 16));
      log.writes.push_back(report);
      line = "write";
    }
    log.calls.push_back(line);
  }
  return log;
}

inline uint32_t report_address(const Report& r) {
  return (uint32_t{r[2]} << 16) | (uint32_t{r[3]} << 8) | r[4];
}

// The store reports of a log: one per block, in order.
inline std::vector<Report> store_reports(const SimulatorLog& log) {
  std::vector<Report> stores;
  for (const Report& r : log.writes)
    if (r[0] == 4) stores.push_back(r);
  return stores;
}

// A scratch folder with the simulator pointed at it; the process-wide
// transfer state starts as in a freshly loaded module.
class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    flash_ = dir_.file("flash.bin");
    log_ = dir_.file("hid.log");
    setenv("TESSEL_HID_LIBRARY", kSimulator.c_str(), 1);
    setenv("TESSEL_SIM_FLASH", flash_.c_str(), 1);
    setenv("TESSEL_SIM_LOG", log_.c_str(), 1);
    unsetenv("TESSEL_SIM_UNPLUGGED");
    g_device_link = DeviceLinkState{};
  }
  void TearDown() override {
    unsetenv("TESSEL_HID_LIBRARY");
    unsetenv("TESSEL_SIM_FLASH");
    unsetenv("TESSEL_SIM_LOG");
    unsetenv("TESSEL_SIM_UNPLUGGED");
  }

  SimulatorLog log() const { return read_log(log_); }
  void clear_log() const {
    std::error_code ignored;
    std::filesystem::remove(log_, ignored);
  }

  tessel_testing::TempDir dir_;
  std::string flash_, log_;
};

// Owns a built document.
struct Document {
  explicit Document(const std::string& html) : doc(pdocbuild_string(html.c_str(), nullptr, nullptr)) {}
  pdoc_element* root() const { return doc ? doc->root : nullptr; }
  pdoc_document_ptr doc;
};

// The pages of a document as the transfer lays them out: 160 x 128 page
// bitmaps, each started white.
inline std::vector<std::vector<unsigned char>> render_pages(pdoc_element* root) {
  class Bitmaps : public PageSink {
   public:
    Bitmaps() : dc_(CairoDc::create_memory(DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT)) {
      target_.reset(rt_create(dc_.get(), {0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT}, RT_VERSION));
    }
    RenderTarget* begin_page(int) override {
      target_->fill_rect(target_.get(), 0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT, 0xFFFFFF);
      return target_.get();
    }
    bool end_page(int, const PagePosition&) override {
      std::vector<unsigned char> bitmap(DEVICE_BITMAP_SIZE);
      const unsigned char* bits = dc_->bits();
      for (int y = 0; y < DEVICE_PAGE_HEIGHT; ++y)
        std::copy_n(bits + size_t(dc_->stride()) * y, DEVICE_BITMAP_STRIDE, bitmap.begin() + DEVICE_BITMAP_STRIDE * y);
      pages.push_back(std::move(bitmap));
      return true;
    }
    std::vector<std::vector<unsigned char>> pages;

   private:
    std::unique_ptr<CairoDc> dc_;
    RenderTargetPtr target_;
  } bitmaps;
  paginate(bitmaps, root);
  return std::move(bitmaps.pages);
}

// A document of paragraphs "Line 1" ... "Line count".
inline std::string paragraphs(int count) {
  std::string html;
  for (int i = 1; i <= count; ++i) html += "<p>Line " + std::to_string(i) + "</p>";
  return html;
}

// Everything written to a stream, for the trace lines.
class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() {
    if (file_) std::fclose(file_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  std::FILE* get() const { return file_; }
  std::string text() const {
    std::fflush(file_);
    std::string all;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) all += static_cast<char>(c);
    return all;
  }

 private:
  std::FILE* file_;
};

}  // namespace device_test
