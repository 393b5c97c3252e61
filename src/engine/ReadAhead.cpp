#include "engine/ReadAhead.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "rtl/Path.h"

namespace {

// How many directories to read into the cache may wait, and how many looked below are
// remembered, for each request the window holds.
constexpr std::size_t WarmingsPerRequest = 16;

}  // namespace

struct TReadAhead::TRequest {
  enum class TState : std::uint8_t { Free, Queued, Reading, Done };

  // With the lock held, but for a free request, which is the walk's alone.
  TState State = TState::Free;
  const TDirectory* Parent = nullptr;
  String Name;
  std::size_t Rank = 0;
  std::uint64_t Order = 0;
  std::uint8_t Mode = 0;
  // Filled by the reader; the walk reads them only once the state is Done.
  std::optional<TDirectory> Directory;
  TDirectoryListing Listing;
  bool Complete = false;
  TDuration ReadTime{};
};

TReadAhead::TReadAhead(std::size_t Readers, std::size_t Window, TForecaster Forecast, TEngineFileSystem& FileSystem)
    : fMaxReaders(Readers), fForecast(Forecast), fFileSystem(FileSystem) {
  for (std::size_t i = 0; i < Window; ++i) fFree.push_back(fRequests.emplace_back(std::make_unique<TRequest>()).get());
  fQueue.reserve(Window);
}

TReadAhead::~TReadAhead() {
  {
    const std::lock_guard lock(fMutex);
    fStop = true;
  }
  fWork.notify_all();
  for (std::thread& reader : fReaders) reader.join();
}

TReadAhead::TRequest* TReadAhead::Request(const TDirectory& Parent, const String& Name, std::size_t Rank,
                                          std::uint8_t Mode) {
  TRequest* request = fFree.back();
  fFree.pop_back();
  request->Parent = &Parent;
  request->Name = Name;
  request->Rank = Rank;
  request->Order = fRequestsMade++;
  request->Mode = Mode;
  const std::lock_guard lock(fMutex);
  request->State = TRequest::TState::Queued;
  fQueue.push_back(request);
  Wake();
  return request;
}

void TReadAhead::Wake() {
  if (fIdle > 0) {
    fWork.notify_one();
  } else if (fReaders.size() < fMaxReaders) {
    // Without a thread of its own a request is read by the walk when it gets there.
    try {
      fReaders.emplace_back([this] { Read(); });
    } catch (const std::system_error&) {
    }
  }
}

void TReadAhead::ForecastBelow(const TDirectory& Directory, const TDirectoryListing& Listing, bool Complete,
                               std::uint8_t Mode, std::size_t Rank, TDuration Duration) {
  std::size_t tests = 0;
  std::vector<String> below = ToWarm(Mode, Directory, Listing, Complete, Duration, tests);
  if (below.empty()) return;
  const TWarming self{Directory.Path(), Rank, fRequestsMade++, Mode, true, {}};
  const std::lock_guard lock(fMutex);
  LineUpWarmings(self, below, tests);
  Wake();
}

void TReadAhead::Free(TRequest* Request) {
  Request->State = TRequest::TState::Free;
  Request->Directory.reset();
  // A listing that a large directory left large goes, so that the window's memory stays small.
  constexpr std::size_t LargeListing = 4096;
  if (Request->Listing.Count() > LargeListing) TDirectoryListing().Swap(Request->Listing);
  fFree.push_back(Request);
}

bool TReadAhead::Settle(TRequest* Request) {
  std::unique_lock lock(fMutex);
  const bool begun = Request->State != TRequest::TState::Queued;
  if (!begun) fQueue.erase(std::ranges::find(fQueue, Request));
  fAwaited = Request;
  fDone.wait(lock, [&] { return Request->State != TRequest::TState::Reading; });
  fAwaited = nullptr;
  return begun;
}

void TReadAhead::Withdraw(TRequest* Request) {
  Settle(Request);
  Free(Request);
}

std::optional<TDirectory> TReadAhead::Take(TRequest* Request, TDirectoryListing& Listing, bool& Complete,
                                           TDuration& ReadTime) {
  std::optional<TDirectory> directory;
  if (Settle(Request) && Request->Directory) {
    directory.emplace(std::move(*Request->Directory));
    Listing.Swap(Request->Listing);
    Complete = Request->Complete;
    ReadTime = Request->ReadTime;
  }
  Free(Request);
  return directory;
}

void TReadAhead::Read() {
  TDirectoryListing scratch;
  std::unique_lock lock(fMutex);
  for (;;) {
    ++fIdle;
    fWork.wait(lock, [&] { return fStop || !fQueue.empty() || !fWarmings.empty(); });
    --fIdle;
    if (fStop) return;
    // What the walk will want first: the deepest level's requests, the earliest of them, and
    // right after a request, before the next one of its level, what lies below it.
    const auto request = std::ranges::min_element(fQueue, [](const TRequest* a, const TRequest* b) {
      return a->Rank != b->Rank ? a->Rank > b->Rank : a->Order < b->Order;
    });
    const auto warming = fWarmings.begin();
    if (warming == fWarmings.end() ||
        (request != fQueue.end() && ((*request)->Rank != warming->Rank ? (*request)->Rank > warming->Rank
                                                                       : (*request)->Order <= warming->Order))) {
      TRequest* const next = *request;
      *request = fQueue.back();
      fQueue.pop_back();
      ReadRequest(next, lock);
    } else {
      const TWarming next = std::move(fWarmings.extract(warming).value());
      Warm(next, scratch, lock);
    }
  }
}

void TReadAhead::ReadRequest(TRequest* Request, std::unique_lock<std::mutex>& Lock) {
  Request->State = TRequest::TState::Reading;
  Lock.unlock();
  std::vector<String> below;
  std::size_t tests = 0;
  TWarming self{{}, Request->Rank, Request->Order, Request->Mode, true, {}};
  try {
    const auto start = std::chrono::steady_clock::now();
    TDirectory directory = Request->Parent->OpenSubdirectory(Request->Name, nullptr, TLastLink::Refuse);
    Request->Complete = directory.ReadNoted(Request->Listing);
    Request->ReadTime = std::chrono::steady_clock::now() - start;
    below = ToWarm(Request->Mode, directory, Request->Listing, Request->Complete, Request->ReadTime, tests);
    if (!below.empty()) self.Path = directory.Path();
    Request->Directory.emplace(std::move(directory));
  } catch (...) {
    // Out of memory, say: the walk reads the directory itself and meets the failure there.
    Request->Directory.reset();
    below.clear();
  }
  Lock.lock();
  Request->State = TRequest::TState::Done;
  if (fAwaited == Request) fDone.notify_one();
  LineUpWarmings(self, below, tests);
}

void TReadAhead::Warm(const TWarming& Warming, TDirectoryListing& Scratch, std::unique_lock<std::mutex>& Lock) {
  Lock.unlock();
  std::vector<String> below;
  std::size_t tests = 0;
  try {
    const auto start = std::chrono::steady_clock::now();
    const TDirectory directory = TDirectory::Open(Warming.Path);
    const bool complete = directory.Read(Scratch);
    if (Warming.Forecast) {
      below = ToWarm(Warming.Mode, directory, Scratch, complete, std::chrono::steady_clock::now() - start, tests);
    }
  } catch (...) {
    // Only the cache would have gained.
    below.clear();
  }
  Lock.lock();
  LineUpWarmings(Warming, below, tests);
}

std::vector<String> TReadAhead::ToWarm(std::uint8_t Mode, const TDirectory& Directory, const TDirectoryListing& Listing,
                                       bool Complete, TDuration Duration, std::size_t& Tests) const {
  if (!Complete || !fFileSystem.IsSlowRead(Duration, Listing.Count())) return {};
  TForecast forecast = fForecast(Listing, Mode);
  std::vector<String> names = std::move(forecast.Tests);
  Tests = names.size();
  if (!forecast.EverySubdirectory) return names;
  // No more than can be lined up: a directory may hold very many.
  for (std::size_t i = 0; i < Listing.Count() && names.size() < WarmingsPerRequest * fRequests.size(); ++i) {
    if (Directory.KindOfEntry(Listing, i).IsDirectory) names.push_back(Listing.Name(i));
  }
  return names;
}

void TReadAhead::LineUpWarmings(const TWarming& Parent, std::vector<String>& Names, std::size_t Tests) {
  // Each directory is looked below once: where every read is slow, a network share say, the
  // request for a directory whose subdirectories are read into the cache already would have
  // them read again, and again below each of them. Remembered for a bounded while, which
  // outlasts the directories lined up at once.
  if (Names.empty() || !fLookedBelow.insert(Parent.Path).second) return;
  fLookedBelowInOrder.push_back(Parent.Path);
  if (fLookedBelowInOrder.size() > WarmingsPerRequest * fRequests.size()) {
    fLookedBelow.erase(fLookedBelowInOrder.front());
    fLookedBelowInOrder.pop_front();
  }
  // A bounded number, a few hundred bytes each: when full, the one the walk will reach last
  // gives way.
  const std::size_t room = WarmingsPerRequest * fRequests.size();
  for (std::size_t i = 0; i < Names.size(); ++i) {
    // The tests come first, as the walk tests a directory before it enters the subdirectories.
    TWarming warming{Parent.Path + Names[i] + PathDelim, Parent.Rank, Parent.Order, Parent.Mode, i >= Tests,
                     Parent.Place};
    warming.Place.push_back(static_cast<std::uint32_t>(i));
    if (fWarmings.size() == room) {
      if (!(warming < *fWarmings.rbegin())) break;
      fWarmings.erase(std::prev(fWarmings.end()));
    }
    fWarmings.insert(std::move(warming));
  }
  if (fIdle > 0) fWork.notify_all();
}
