#include "support/LockedOut.h"

#include <windows.h>

// After <windows.h>, which it needs.
#include <sddl.h>


namespace {

// Sets the access control list given in the system's descriptor language.
bool SetAccess(const std::filesystem::path& path, const wchar_t* descriptor) {
  PSECURITY_DESCRIPTOR security = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, &security, nullptr)) {
    return false;
  }
  const bool set = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, security);
  LocalFree(security);
  return set;
}

}  // namespace

TLockedDirectory::TLockedDirectory(const std::filesystem::path& directory, TLock lock) : fDirectory(directory) {
  // Denied to everyone, the owner too; the owner may still change the list, which the
  // destructor relies on.
  fHolds = SetAccess(directory, lock == TLock::Everything ? L"D:P(D;;FA;;;WD)" : L"D:P(D;;0x1;;;WD)(A;OICI;FA;;;WD)");
}

TLockedDirectory::~TLockedDirectory() {
  if (fHolds) SetAccess(fDirectory, L"D:P(A;OICI;FA;;;WD)");
}

std::optional<std::string> RunLockedOut(const std::function<std::string()>& body) {
  try {
    return body();
  } catch (...) {
    return std::nullopt;
  }
}
