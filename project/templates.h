#pragma once

#include <string>

namespace inkbinder {

// The fixed texts of the three generated files, by id (1 to 35; 17, 19, 21 and
// 27 are unused). UTF-8; template 34 carries its own CR LF. Each text is
// made once: the writers ask for several per page.
const std::string& LoadTemplate(int id);

}  // namespace inkbinder
