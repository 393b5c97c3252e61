#include "rtl/Path.h"

String IncludeTrailingPathDelimiter(const String& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

String ChangeFileExt(const String& fileName, const String& extension) {
  const std::size_t dot = fileName.find_last_of(u'.');
  if (dot == String::npos) return fileName + extension;
  const std::size_t delimiter = fileName.find_last_of(NameDelimiters);
  if (delimiter != String::npos && delimiter > dot) return fileName + extension;
  return fileName.substr(0, dot) + extension;
}

String ExtractFileName(const String& path) {
  const std::size_t delimiter = path.find_last_of(NameDelimiters);
  return delimiter == String::npos ? path : path.substr(delimiter + 1);
}
