#include "rtl/Path.h"

const Char PathDelim = u'\\';
const std::u16string_view NameDelimiters = u"\\:";
const std::u16string_view AllFilesMask = u"*.*";
