#pragma once
// Directories opened and read ahead of a walk by threads of their own, so that reads that
// wait for a disk or a network overlap instead of following one another.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/EngineFileSystem.h"
#include "rtl/String.h"

class TReadAhead {
public:
  // One subdirectory to open and read; owned by the read-ahead.
  struct TRequest;

  // What the walk will surely read below a directory, as Forecast tells from its listing and
  // the Mode it was requested in (the walk's own, handed back as it was given). When the
  // directory took long to read, that is likely not in the cache either, and a reader reads
  // it too, only to have it there when the walk asks for it.
  struct TForecast {
    std::vector<String> Tests;        // directories, relative to it, that its tests look into
    bool EverySubdirectory = false;  // whether it enters every subdirectory, in the same mode
  };
  using TForecaster = TForecast (*)(const TDirectoryListing& Listing, std::uint8_t Mode);
  using TDuration = TEngineFileSystem::TDuration;

  // Reads on at most Readers threads, each started when work finds no idle one, and holds at
  // most Window requests at once, each with its directory open once read. FileSystem tells
  // which reads were slow.
  TReadAhead(std::size_t Readers, std::size_t Window, TForecaster Forecast, TEngineFileSystem& FileSystem);
  // Waits for the reads under way; what was not taken is dropped.
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Has the subdirectory Name of Parent opened, a link in its place not followed, and read
  // with ReadNoted. Readers take the request of the highest Rank first, of equal ones the
  // earliest. Parent must stay open and in place until the request is taken or withdrawn.
  // At most Window requests may be out at once.
  TRequest* Request(const TDirectory& Parent, const String& Name, std::size_t Rank, std::uint8_t Mode);
  // Has what the walk will surely read below Directory, which it read itself with Listing
  // (complete or not, in Duration) on entering it in Mode, read into the cache as below a
  // request of Rank it made just now; only when that read took long.
  void ForecastBelow(const TDirectory& Directory, const TDirectoryListing& Listing, bool Complete, std::uint8_t Mode,
                     std::size_t Rank, TDuration Duration);
  // Gives Request up, waiting for its read if one is under way.
  void Withdraw(TRequest* Request);
  // Ends Request: the directory it opened, with its entries swapped into Listing, Complete
  // set as Read would return and ReadTime to how long that took; waits for its read if one
  // is under way. Nothing when
  // no reader had begun it (reading it at once is sooner than waiting for a free reader) or
  // a reader failed without a directory: the caller opens and reads it itself. Whether the
  // listing still holds is the caller's to ask, with StandsAsRead.
  std::optional<TDirectory> Take(TRequest* Request, TDirectoryListing& Listing, bool& Complete, TDuration& ReadTime);

private:
  // A directory that the walk will surely enter, below one read ahead, to be read into the
  // cache. By full path: it outlives the request and the walk's levels, as the walk goes on
  // below the request while it is read.
  struct TWarming {
    String Path;
    std::size_t Rank;
    std::uint64_t Order;
    std::uint8_t Mode;
    bool Forecast;                     // false for a directory that only a test looks into
    std::vector<std::uint32_t> Place;  // the index of each of its names below the request's directory

    // Whether it comes before Other in the walk: below the deeper level's request first, then
    // below the earlier one, then in the order of the walk below that.
    bool operator<(const TWarming& Other) const {
      if (Rank != Other.Rank) return Rank > Other.Rank;
      if (Order != Other.Order) return Order < Other.Order;
      return Place < Other.Place;
    }
  };

  void Read();  // a reader's loop
  void ReadRequest(TRequest* Request, std::unique_lock<std::mutex>& Lock);
  void Warm(const TWarming& Warming, TDirectoryListing& Scratch, std::unique_lock<std::mutex>& Lock);
  // What to read into the cache below Directory, so listed and read in Duration: the
  // forecast's tests, then the subdirectories.
  std::vector<String> ToWarm(std::uint8_t Mode, const TDirectory& Directory, const TDirectoryListing& Listing,
                             bool Complete, TDuration Duration, std::size_t& Tests) const;
  // Lines them up, below Parent, with the lock held.
  void LineUpWarmings(const TWarming& Parent, std::vector<String>& Names, std::size_t Tests);
  // Waits until no reader is at Request and none will begin it; false when none had begun it.
  bool Settle(TRequest* Request);
  // With the lock held, after work came: wakes a reader that sleeps, or starts one more.
  void Wake();
  void Free(TRequest* Request);

  const std::size_t fMaxReaders;
  const TForecaster fForecast;
  TEngineFileSystem& fFileSystem;
  std::vector<std::unique_ptr<TRequest>> fRequests;
  std::vector<TRequest*> fFree;   // the walk's own: readers never touch it
  std::vector<TRequest*> fQueue;  // not yet begun, in no order
  std::multiset<TWarming> fWarmings;  // in walk order
  std::unordered_set<String> fLookedBelow;  // directories whose warmings were lined up
  std::deque<String> fLookedBelowInOrder;   // the same, the oldest first
  std::uint64_t fRequestsMade = 0;
  std::mutex fMutex;
  std::condition_variable fWork;  // work was queued, or the readers are to stop
  std::condition_variable fDone;  // a read that the walk waits for has ended
  std::vector<std::thread> fReaders;
  std::size_t fIdle = 0;  // readers asleep until work comes
  const TRequest* fAwaited = nullptr;
  bool fStop = false;
};
