#pragma once
// Directories that a piece of code may not read, and a way to run that code where the lock
// holds.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

enum class TLock {
  Everything,  // the directory can be neither listed nor entered
  Listing      // the directory can be entered and its entries reached by name, not listed
};

// Locks Directory against code run by RunLockedOut while the object lives.
class TLockedDirectory {
public:
  TLockedDirectory(const std::filesystem::path& directory, TLock lock);
  ~TLockedDirectory();
  TLockedDirectory(const TLockedDirectory&) = delete;
  TLockedDirectory& operator=(const TLockedDirectory&) = delete;

  // False when the platform refused the lock.
  bool Holds() const { return fHolds; }

private:
  std::filesystem::path fDirectory;
  bool fHolds = false;
};

// Runs Body where locks hold and returns what it returned. POSIX runs it in a child process
// that first gives up root's power to pass permission checks, so that the bits bind it as
// they bind the owner; Windows runs it here, as access control binds administrators too.
// Nothing when Body could not run, threw or took longer than a minute.
std::optional<std::string> RunLockedOut(const std::function<std::string()>& body);
