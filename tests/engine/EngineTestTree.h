#pragma once
// The fixture of the engine tests: a fresh tree of repositories and the events of walks over it.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <set>
#include <vector>

#include "engine/uTidemark.h"
#include "rtl/FileSystem.h"
#include "rtl/Path.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

struct TEventRecord {
  TLogEvent Event;
  String Value;
  auto operator<=>(const TEventRecord&) const = default;
};

inline void PrintTo(const TEventRecord& record, std::ostream* out) {
  *out << static_cast<int>(record.Event) << ":" << StringToUtf8Bytes(record.Value);
}

// What File holds (a link followed); empty when it cannot be read.
inline std::string Contents(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

// What a callback throws to test the walk's way out.
struct TCallbackFailure {};

class EngineTreeTest : public TempDirTest {
protected:
  // A pack's time against its index's; a tick is the finest step the platform stores.
  enum TPackTime { Equal, OneTick, Newer, Older };

  void SetUp() override {
    TempDirTest::SetUp();
    fEngine.SetOnLogEvent([this](TTidemark&, TLogEvent event, const String& value) {
      fEvents.push_back({event, value});
      if (fOnEvent) fOnEvent(fEvents.back());
    });
  }

  bool Run(const String& start, bool recursive = true) {
    fEvents.clear();
    return fEngine.Process(start, recursive);
  }
  bool Run(const fs::path& start = {}, bool recursive = true) { return Run(PathOf(start), recursive); }

  // A directory as events name it: full, with the platform's delimiters, ending in one.
  String Dir(const fs::path& relative) const {
    return ToString(relative.empty() ? Root() : (Root() / relative).make_preferred()) + PathDelim;
  }

  void MakeGitDir(const fs::path& gitDir) const {
    WriteFile(gitDir / "index");
    WriteFile(gitDir / "HEAD", "ref: refs/heads/main\n");
    MakeDir(gitDir / "objects" / "pack");
  }

  static fs::path Pack(const fs::path& gitDir, const fs::path& name, const char* extension = ".pack") {
    fs::path file = "pack-";
    (file += name) += extension;
    return (gitDir / "objects" / "pack" / file).make_preferred();
  }

  TFileTime Time(const fs::path& relative) const { return StoredTimes(Root() / relative)->LastWrite; }

  void AddPack(const fs::path& gitDir, const fs::path& name, TPackTime time = Equal) const {
    WriteFile(Pack(gitDir, name, ".idx"), "idx");
    WriteFile(Pack(gitDir, name), "pack");
    TFileTime packTime = Time(Pack(gitDir, name, ".idx"));
    if (time == OneTick) packTime.Low ^= 1u;
    if (time == Newer) packTime.High += 200;
    if (time == Older) packTime.High -= 200;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(Pack(gitDir, name)), packTime));
  }

  bool Aligned(const fs::path& gitDir, const fs::path& name) const {
    return Time(Pack(gitDir, name)) == Time(Pack(gitDir, name, ".idx"));
  }

  bool Link(const fs::path& at, const fs::path& target, TLinkTarget kind = TLinkTarget::Directory) const {
    return MakeLink(Root() / at, Root() / target, kind);
  }

  // Links can be made here (not under Wine); the probe is gone again afterwards.
  bool LinksPossible() const { return Link("probe", "") && RemoveLink(PathOf("probe")); }

  std::vector<TEventRecord> Only(TLogEvent event) const {
    std::vector<TEventRecord> found;
    std::ranges::copy_if(fEvents, std::back_inserter(found), [&](const TEventRecord& e) { return e.Event == event; });
    return found;
  }

  // The pack events, in no particular order.
  std::multiset<TEventRecord> PackEvents() const {
    std::multiset<TEventRecord> found;
    for (const TEventRecord& e : fEvents) {
      if (e.Event >= TLogEvent::evtPackFileTimeNotChanged) found.insert(e);
    }
    return found;
  }

  // Every start has its end, innermost first, but the start whose own delivery threw (event
  // Thrown, counted from 1), which opened nothing; no real directory starts again inside its own
  // pair, as only a loop could make it.
  void ExpectNestedPairs(std::size_t thrown = 0) const {
    std::vector<String> open;
    for (std::size_t i = 0; i < fEvents.size(); ++i) {
      const TEventRecord& e = fEvents[i];
      if (e.Event == TLogEvent::evtGitDirectoryStart && i + 1 != thrown) {
        for (const String& outer : open) {
          EXPECT_NE(outer, e.Value) << StringToUtf8Bytes(e.Value);
        }
        open.push_back(e.Value);
      } else if (e.Event == TLogEvent::evtGitDirectoryEnd) {
        ASSERT_FALSE(open.empty());
        EXPECT_EQ(e.Value, open.back());
        open.pop_back();
      }
    }
    EXPECT_TRUE(open.empty());
  }

  TTidemark fEngine;
  std::vector<TEventRecord> fEvents;
  // Called after each event is recorded: lets a test throw, or change the tree during the walk.
  std::function<void(const TEventRecord&)> fOnEvent;
};
