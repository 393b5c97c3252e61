#include <windows.h>
// <windows.h> maps this name to GetVolumePathNameW, which would clash with the field of
// that name in the unit's header.
#undef GetVolumePathName

#include <memory>

#include "compat/uCompatibility.h"
#include "compat/uCompatibility_platform.h"
#include "rtl/FileSystem_win32.h"

namespace {

const wchar_t* W(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Closes the handle when it goes; only ever built from a valid handle.
using THandleOwner = std::unique_ptr<void, decltype(&CloseHandle)>;

HMODULE gKernel32 = nullptr;

TFileTime ToFileTime(const FILETIME& time) { return TFileTime{time.dwHighDateTime, time.dwLowDateTime}; }

// Looks the export up by name; null without a lookup when kernel32 did not load.
template <class TEntryPoint>
void Resolve(TEntryPoint& entryPoint, const char* name) {
  const FARPROC address = gKernel32 != nullptr ? GetProcAddress(gKernel32, name) : nullptr;
  // Through the generic function type, which converts to any other without a warning.
  entryPoint = reinterpret_cast<TEntryPoint>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime, TFileTime& LastAccessTime) {
  CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
  // No access to data, and no backup semantics: a directory fails here and its times come
  // from its directory entry below.
  const HANDLE handle = CreateFileW(W(ExtendedPath(FileName)), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const THandleOwner owner(handle, &CloseHandle);
    FILETIME creation, lastAccess, lastWrite;
    if (GetFileTime(handle, &creation, &lastAccess, &lastWrite)) {
      CreationTime = ToFileTime(creation);
      LastWriteTime = ToFileTime(lastWrite);
      LastAccessTime = ToFileTime(lastAccess);
      return true;
    }
  }
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(W(ExtendedPath(FileName)), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  CreationTime = ToFileTime(entry.ftCreationTime);
  LastWriteTime = ToFileTime(entry.ftLastWriteTime);
  LastAccessTime = ToFileTime(entry.ftLastAccessTime);
  return true;
}

void LoadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) {
  gKernel32 = LoadLibraryW(L"kernel32.dll");
  Resolve(EntryPoints.GetFileInformationByHandleEx, "GetFileInformationByHandleEx");
  Resolve(EntryPoints.GetVolumePathNameA, "GetVolumePathNameA");
  Resolve(EntryPoints.GetVolumePathNameW, "GetVolumePathNameW");
  EntryPoints.GetVolumePathName = EntryPoints.GetVolumePathNameW;
  Resolve(EntryPoints.IsWow64Process, "IsWow64Process");
  Resolve(EntryPoints.Wow64DisableWow64FsRedirection, "Wow64DisableWow64FsRedirection");
  Resolve(EntryPoints.Wow64RevertWow64FsRedirection, "Wow64RevertWow64FsRedirection");
}

void UnloadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) {
  if (gKernel32 != nullptr) FreeLibrary(gKernel32);
  gKernel32 = nullptr;
  EntryPoints = {};
}
