// A PDF file written object by object. Object numbers are handed out first
// and bodies follow in any order; a writer thread compresses the streams
// with libdeflate and appends each object to the file as it arrives, so one
// sheet is compressed while the next is laid out and the file, not memory,
// grows with the sheet count. The cross-reference table and the trailer are
// written last.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct libdeflate_compressor;

enum class PdfDeflate {
  None,   // stored as it is
  Fast,   // content streams: made once, read once
  Small,  // fonts and pictures: few, and kept by whoever keeps the file
};

class PdfFile {
 public:
  // Creates (or empties) the file at path; null with a reason in *error when
  // it cannot be opened for writing.
  static std::unique_ptr<PdfFile> create(const std::string& path, std::string* error);
  // An unfinished file is closed as it stands; the caller removes it.
  ~PdfFile();
  PdfFile(const PdfFile&) = delete;
  PdfFile& operator=(const PdfFile&) = delete;

  // The next free object number (1, 2, ...).
  int reserve();
  // An object's body, without "N 0 obj" and "endobj".
  void add_object(int number, std::string body);
  // A stream object: `dict` holds its entries other than /Length and
  // /Filter, without the brackets.
  void add_stream(int number, std::string dict, std::string data, PdfDeflate deflate);

  // Writes what is queued, the cross-reference table and the trailer
  // (`trailer` holds its entries besides /Size), and closes the file. False
  // when any object was never given a body or anything failed to be
  // written; error() says what.
  bool finish(const std::string& trailer);
  // A write has failed; later objects are dropped.
  bool failed() const;
  std::string error() const;

 private:
  struct Job {
    int number = 0;
    std::string head;  // "<<...>>" of a stream, or the whole body
    std::string data;
    PdfDeflate deflate = PdfDeflate::None;
    bool stream = false;
  };

  // The writer thread's compressors, one per level, made on first use.
  struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const;
  };
  using CompressorPtr = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;
  struct Packer {
    CompressorPtr fast, small;
    std::vector<unsigned char> out;
    // The compressed data, or empty when it is to be stored as it is.
    std::string_view pack(std::string_view data, PdfDeflate deflate);
  };

  PdfFile(FILE* file, std::string path);
  void enqueue(Job job);
  void run();
  void write_job(Job& job, Packer* packer);
  bool write(const void* data, size_t size);
  void fail(const std::string& what);
  void stop();

  FILE* file_;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  int next_number_ = 1;
  std::vector<char> given_;  // by number: a body was handed over

  // Shared with the writer thread.
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable room_;
  std::deque<Job> queue_;
  size_t queued_bytes_ = 0;
  bool stopping_ = false;
  bool failed_ = false;
  std::string error_;
  // Owned by the writer thread until it is joined.
  uint64_t position_ = 0;
  std::vector<std::pair<int, uint64_t>> offsets_;
  std::thread writer_;
};
