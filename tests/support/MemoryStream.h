#pragma once
// A stream over bytes in memory that logs every transfer made on it, for tests of streams
// that stand on other streams.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "rtl/Stream.h"

class TMemoryTestStream : public TStream {
public:
  // FinalBytes, when given, receives the bytes as they are when the stream is freed.
  explicit TMemoryTestStream(std::string content = {}, std::string* FinalBytes = nullptr)
      : Bytes(std::move(content)), fFinalBytes(FinalBytes) {}
  ~TMemoryTestStream() override {
    if (fFinalBytes) *fFinalBytes = Bytes;
  }

  std::string Bytes;
  // One entry per transfer or resize: "R<position>:<count asked>", "W<position>:<count>",
  // "S<new size>". Seeks are counted, not logged.
  std::vector<std::string> Log;
  int Seeks = 0;
  // At most this many bytes move per call, when positive.
  std::int32_t MaxTransfer = 0;
  bool RefuseWrites = false;

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    Log.push_back("R" + std::to_string(fPosition) + ":" + std::to_string(Count));
    const std::int64_t available = std::max<std::int64_t>(0, static_cast<std::int64_t>(Bytes.size()) - fPosition);
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Limited(Count), available));
    if (n <= 0) return 0;
    std::memcpy(Buffer, Bytes.data() + fPosition, static_cast<std::size_t>(n));
    fPosition += n;
    return n;
  }

  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    Log.push_back("W" + std::to_string(fPosition) + ":" + std::to_string(Count));
    if (RefuseWrites || Count <= 0) return 0;
    const std::int32_t n = Limited(Count);
    const auto end = static_cast<std::size_t>(fPosition + n);
    if (Bytes.size() < end) Bytes.resize(end, '\0');  // a gap reads as zeros, as in a file
    std::memcpy(Bytes.data() + fPosition, Buffer, static_cast<std::size_t>(n));
    fPosition += n;
    return n;
  }

  using TStream::Seek;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    ++Seeks;
    switch (Origin) {
      case TSeekOrigin::soBeginning: fPosition = Offset; break;
      case TSeekOrigin::soCurrent: fPosition += Offset; break;
      case TSeekOrigin::soEnd: fPosition = static_cast<std::int64_t>(Bytes.size()) + Offset; break;
    }
    return fPosition;
  }

  using TStream::SetSize;
  void SetSize(std::int64_t NewSize) override {
    Log.push_back("S" + std::to_string(NewSize));
    Bytes.resize(static_cast<std::size_t>(NewSize), '\0');
    fPosition = NewSize;
  }

private:
  std::int32_t Limited(std::int32_t count) const { return MaxTransfer > 0 ? std::min(count, MaxTransfer) : count; }

  std::int64_t fPosition = 0;
  std::string* fFinalBytes;
};
