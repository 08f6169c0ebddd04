#pragma once

#include <string>

namespace inkbinder {

enum class TitleCheck {
  kFine,
  kEmpty,
  kForbiddenCharacter,  // one of \ / : * ? " < > | or a control character
  kOutsideCodePage,     // a character the system ANSI code page cannot hold
  kNotAFileName,        // the book file would get another name, or none at all
};

// Whether `title` names exactly one book, <folder>/<title>.chm, under the
// name the compiler writes and we look for. The compiler and the file system
// would quietly change a name with a leading or trailing space, a trailing
// dot or a character the code page lacks, take a Windows device name for the
// device, or refuse a name or path that is too long.
TitleCheck CheckBookTitle(const std::string& folder, const std::string& title);

}  // namespace inkbinder
