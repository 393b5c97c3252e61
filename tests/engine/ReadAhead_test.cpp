// The read-ahead as the walk sees it: a listing read ahead counts only while it still holds.

#include "engine/ReadAhead.h"

#include <chrono>
#include <thread>

#include "engine/EngineTestTree.h"

using enum TLogEvent;

using ReadAhead = EngineTreeTest;

TEST_F(ReadAhead, ADirectoryThatChangesAfterItWasReadAheadIsWalkedAsItIsWhenEntered) {
  MakeDir("t/a/old");
  MakeDir("t/b/old");
  String changed;
  fOnEvent = [&](const TEventRecord& e) {
    if (e.Event != evtDirectoryVisited || !changed.empty() || (e.Value != Dir("t/a") && e.Value != Dir("t/b"))) return;
    // Time for a reader to read the other one ahead; the change comes after that read.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const fs::path other = e.Value == Dir("t/a") ? "t/b" : "t/a";
    fs::remove(Root() / other / "old");
    MakeDir(other / "new");
    changed = Dir(other);
  };
  EXPECT_TRUE(Run("t"));
  const std::vector<TEventRecord> visited = Only(evtDirectoryVisited);
  EXPECT_EQ(std::ranges::count(visited, TEventRecord{evtDirectoryVisited, changed + u"new" + PathDelim}), 1);
  EXPECT_EQ(std::ranges::count(visited, TEventRecord{evtDirectoryVisited, changed + u"old" + PathDelim}), 0);
}
