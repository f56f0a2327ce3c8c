// Streams and storages that persisted properties are written to, and the
// in-memory ones a host or a test hands over.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com.h"

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

struct IStream : IUnknown {
  // Reads up to `size` bytes; *read (optional) gets the count, which is
  // smaller only at the end of the stream.
  virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;
  virtual HRESULT Seek(int64_t move, DWORD origin, uint64_t* position) = 0;

 protected:
  ~IStream() = default;
};

// Named streams; names compare exactly.
struct IStorage : IUnknown {
  // Creates (or empties) the named stream.
  virtual HRESULT CreateStream(const char* name, IStream** stream) = 0;
  // STG_E_FILENOTFOUND when there is none.
  virtual HRESULT OpenStream(const char* name, IStream** stream) = 0;

 protected:
  ~IStorage() = default;
};

inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
COM_INTERFACE_ID(IStream, IID_IStream);
COM_INTERFACE_ID(IStorage, IID_IStorage);

// A growable stream in memory, positioned at its start.
ComPtr<IStream> create_memory_stream(std::vector<unsigned char> initial = {});
// The bytes of a stream made by create_memory_stream (empty for others).
std::vector<unsigned char> memory_stream_bytes(IStream* stream);
// A storage in memory whose streams are memory streams.
ComPtr<IStorage> create_memory_storage();
