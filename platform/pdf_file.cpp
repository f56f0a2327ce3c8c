// The PDF file writer; see pdf_file.h.
#include "platform/pdf_file.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/pdf_syntax.h"

void PdfFile::CompressorDeleter::operator()(libdeflate_compressor* c) const {
  libdeflate_free_compressor(c);
}

namespace {

// Bodies waiting for the writer; past this the caller waits, so a writer
// slower than the layout does not make memory grow with the sheet count.
constexpr size_t kMaxQueuedBytes = 2u << 20;
constexpr size_t kFileBuffer = 1u << 18;
// libdeflate's levels. 2 is several times faster than zlib's default and
// packs a sheet's repetitive operators nearly as tightly (a long table's
// sheets come out a fifth smaller than at level 1, for a fifth more time on
// the writer thread). Fonts and pictures are few, so they get more effort;
// past 7 the gain is small and the time grows fast.
constexpr int kFastLevel = 2;
constexpr int kSmallLevel = 7;

}  // namespace

std::unique_ptr<PdfFile> PdfFile::create(const std::string& path, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<PdfFile> pdf(new PdfFile(file, path));
  // The binary comment tells transfer programs that the file is not text.
  static constexpr char kHeader[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  pdf->write(kHeader, sizeof kHeader - 1);
  pdf->writer_ = std::thread([p = pdf.get()] { p->run(); });
  return pdf;
}

PdfFile::PdfFile(FILE* file, std::string path) : file_(file), path_(std::move(path)), buffer_(new char[kFileBuffer]) {
  std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBuffer);
}

PdfFile::~PdfFile() {
  stop();
  if (file_) std::fclose(file_);
}

int PdfFile::reserve() {
  given_.push_back(0);
  return next_number_++;
}

void PdfFile::add_object(int number, std::string body) {
  Job job;
  job.number = number;
  job.head = std::move(body);
  enqueue(std::move(job));
}

void PdfFile::add_stream(int number, std::string dict, std::string data, PdfDeflate deflate) {
  Job job;
  job.number = number;
  job.head = std::move(dict);
  job.data = std::move(data);
  job.deflate = deflate;
  job.stream = true;
  enqueue(std::move(job));
}

void PdfFile::enqueue(Job job) {
  if (job.number < 1 || job.number >= next_number_ || given_[job.number - 1]) return;
  given_[job.number - 1] = 1;
  const size_t bytes = job.head.size() + job.data.size();
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [&] { return queued_bytes_ == 0 || queued_bytes_ + bytes <= kMaxQueuedBytes; });
  queued_bytes_ += bytes;
  queue_.push_back(std::move(job));
  work_.notify_one();
}

bool PdfFile::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

std::string PdfFile::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void PdfFile::fail(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) return;
  failed_ = true;
  error_ = what;
}

bool PdfFile::write(const void* data, size_t size) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, file_) != size) {
    fail("cannot write " + path_ + ": " + std::strerror(errno));
    return false;
  }
  position_ += size;
  return true;
}

void PdfFile::run() {
  Packer packer;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    const size_t bytes = job.head.size() + job.data.size();
    if (!failed()) write_job(job, &packer);
    std::lock_guard<std::mutex> lock(mutex_);
    queued_bytes_ -= bytes;
    room_.notify_all();
  }
}

std::string_view PdfFile::Packer::pack(std::string_view data, PdfDeflate deflate) {
  if (deflate == PdfDeflate::None || data.empty()) return {};
  CompressorPtr& compressor = deflate == PdfDeflate::Fast ? fast : small;
  if (!compressor)
    compressor.reset(libdeflate_alloc_compressor(deflate == PdfDeflate::Fast ? kFastLevel : kSmallLevel));
  if (!compressor) return {};
  out.resize(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
  const size_t size = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
  if (size == 0 || size >= data.size()) return {};
  return std::string_view(reinterpret_cast<const char*>(out.data()), size);
}

void PdfFile::write_job(Job& job, Packer* packer) {
  std::string_view data = job.data;
  const std::string_view packed = job.stream ? packer->pack(job.data, job.deflate) : std::string_view();
  const bool deflated = !packed.empty();
  if (deflated) data = packed;
  offsets_.emplace_back(job.number, position_);
  PdfBytes head;
  head.num(job.number).put(" 0 obj\n");
  if (job.stream) {
    head.put("<<").put(job.head).put(" /Length ").num(static_cast<int64_t>(data.size()));
    if (deflated) head.put(" /Filter /FlateDecode");
    head.put(" >>\nstream\n");
  } else {
    head.put(job.head).put('\n');
  }
  if (!write(head.str().data(), head.size())) return;
  if (job.stream) {
    if (!write(data.data(), data.size())) return;
    write("\nendstream", 10);
  }
  write("\nendobj\n", 8);
}

void PdfFile::stop() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_one();
  writer_.join();
}

bool PdfFile::finish(const std::string& trailer) {
  stop();
  if (!file_) return false;
  const int size = next_number_;
  if (std::find(given_.begin(), given_.end(), 0) != given_.end()) fail("object without a body in " + path_);
  if (!failed()) {
    std::vector<uint64_t> offset(static_cast<size_t>(size), 0);
    for (const auto& [number, at] : offsets_) offset[number] = at;
    const uint64_t xref = position_;
    PdfBytes table;
    table.put("xref\n0 ").num(size).put("\n0000000000 65535 f \n");
    for (int n = 1; n < size; ++n) {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, offset[n]).ptr;
      table.put(std::string(10 - std::min<size_t>(10, end - digits), '0'))
          .put(std::string_view(digits, end - digits))
          .put(" 00000 n \n");
    }
    table.put("trailer\n<< /Size ").num(size).put(' ').put(trailer).put(" >>\nstartxref\n");
    table.num(static_cast<int64_t>(xref)).put("\n%%EOF\n");
    write(table.str().data(), table.size());
  }
  const bool flushed = std::fflush(file_) == 0;
  const int flush_errno = errno;
  const bool closed = std::fclose(file_) == 0;
  const int close_errno = errno;
  file_ = nullptr;
  if (!flushed) fail("cannot write " + path_ + ": " + std::strerror(flush_errno));
  if (!closed) fail("cannot write " + path_ + ": " + std::strerror(close_errno));
  return !failed();
}
