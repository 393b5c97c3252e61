#pragma once
// Directories opened and read ahead of a walk by threads of their own, so that reads that
// wait for a disk or a network overlap instead of following one another.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/EngineFileSystem.h"
#include "rtl/String.h"

class TReadAhead {
public:
  // One subdirectory to open and read; owned by the read-ahead.
  struct TRequest;

  // Reads on at most Readers threads, each started when work finds no idle one, and holds at
  // most Window requests at once, each with its directory open once read.
  TReadAhead(std::size_t Readers, std::size_t Window);
  // Waits for the reads under way; what was not taken is dropped.
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Whether another request may be made.
  bool HasRoom() const { return !fFree.empty(); }
  // Has the subdirectory Name of Parent opened, a link in its place not followed, and read
  // with ReadNoted. Readers take the request of the highest Rank first, of equal ones the
  // earliest. Parent must stay open and in place until the request is taken or withdrawn.
  // Only when HasRoom.
  TRequest* Request(const TDirectory& Parent, const String& Name, std::size_t Rank);
  // Gives Request up, waiting for its read if one is under way.
  void Withdraw(TRequest* Request);
  // Ends Request: the directory it opened, with its entries swapped into Listing and
  // Complete set as Read would return; waits for its read if one is under way. Nothing when
  // no reader had begun it (reading it at once is sooner than waiting for a free reader) or
  // a reader failed without a directory: the caller opens and reads it itself. Whether the
  // listing still holds is the caller's to ask, with StandsAsRead.
  std::optional<TDirectory> Take(TRequest* Request, TDirectoryListing& Listing, bool& Complete);

private:
  void Read();  // a reader's loop
  // Waits until no reader is at Request and none will begin it; false when none had begun it.
  bool Settle(TRequest* Request);
  void Unqueue(TRequest* Request);  // with the lock held
  void Free(TRequest* Request);

  const std::size_t fMaxReaders;
  std::vector<std::unique_ptr<TRequest>> fRequests;
  std::vector<TRequest*> fFree;   // the walk's own: readers never touch it
  std::vector<TRequest*> fQueue;  // not yet begun, in no order
  std::uint64_t fRequestsMade = 0;
  std::mutex fMutex;
  std::condition_variable fWork;  // a request was queued, or the readers are to stop
  std::condition_variable fDone;  // a read that the walk waits for has ended
  std::vector<std::thread> fReaders;
  std::size_t fIdle = 0;
  const TRequest* fAwaited = nullptr;
  bool fStop = false;
};
