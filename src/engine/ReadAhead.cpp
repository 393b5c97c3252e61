#include "engine/ReadAhead.h"

#include <algorithm>
#include <system_error>
#include <utility>

struct TReadAhead::TRequest {
  enum class TState : std::uint8_t { Free, Queued, Reading, Done };

  TState State = TState::Free;
  const TDirectory* Parent = nullptr;
  String Name;
  std::size_t Rank = 0;
  std::uint64_t Order = 0;
  // Filled by the reader; the walk reads them only once the state is Done.
  std::optional<TDirectory> Directory;
  TDirectoryListing Listing;
  bool Complete = false;
};

TReadAhead::TReadAhead(std::size_t Readers, std::size_t Window) : fMaxReaders(Readers) {
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

TReadAhead::TRequest* TReadAhead::Request(const TDirectory& Parent, const String& Name, std::size_t Rank) {
  TRequest* request = fFree.back();
  fFree.pop_back();
  request->Parent = &Parent;
  request->Name = Name;
  request->Rank = Rank;
  request->Order = fRequestsMade++;
  const std::lock_guard lock(fMutex);
  request->State = TRequest::TState::Queued;
  fQueue.push_back(request);
  if (fIdle > 0) {
    fWork.notify_one();
  } else if (fReaders.size() < fMaxReaders) {
    // Without a thread of its own the request is read by the walk when it gets there.
    try {
      fReaders.emplace_back([this] { Read(); });
    } catch (const std::system_error&) {
    }
  }
  return request;
}

void TReadAhead::Unqueue(TRequest* Request) { fQueue.erase(std::ranges::find(fQueue, Request)); }

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
  if (!begun) Unqueue(Request);
  fAwaited = Request;
  fDone.wait(lock, [&] { return Request->State != TRequest::TState::Reading; });
  fAwaited = nullptr;
  return begun;
}

void TReadAhead::Withdraw(TRequest* Request) {
  Settle(Request);
  Free(Request);
}

std::optional<TDirectory> TReadAhead::Take(TRequest* Request, TDirectoryListing& Listing, bool& Complete) {
  std::optional<TDirectory> directory;
  if (Settle(Request) && Request->Directory) {
    directory.emplace(std::move(*Request->Directory));
    Listing.Swap(Request->Listing);
    Complete = Request->Complete;
  }
  Free(Request);
  return directory;
}

void TReadAhead::Read() {
  std::unique_lock lock(fMutex);
  for (;;) {
    ++fIdle;
    fWork.wait(lock, [&] { return fStop || !fQueue.empty(); });
    --fIdle;
    if (fStop) return;
    // The request the walk will want first: the deepest level's, the earliest of them.
    const auto first = std::ranges::min_element(fQueue, [](const TRequest* a, const TRequest* b) {
      return a->Rank != b->Rank ? a->Rank > b->Rank : a->Order < b->Order;
    });
    TRequest* const request = *first;
    *first = fQueue.back();
    fQueue.pop_back();
    request->State = TRequest::TState::Reading;
    lock.unlock();
    try {
      TDirectory directory = request->Parent->OpenSubdirectory(request->Name, nullptr, TLastLink::Refuse);
      request->Complete = directory.ReadNoted(request->Listing);
      request->Directory.emplace(std::move(directory));
    } catch (...) {
      // Out of memory, say: the walk reads the directory itself and meets the failure there.
      request->Directory.reset();
    }
    lock.lock();
    request->State = TRequest::TState::Done;
    if (fAwaited == request) fDone.notify_one();
  }
}
