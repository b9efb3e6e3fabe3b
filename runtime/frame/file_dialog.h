// The file dialog's filter text, as the dialog program is given it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace corvane {

// "DESC|PATTERNS|DESC|PATTERNS...": the pairs as the dialog shows them. The text
// keeps at most 1022 bytes (the list and its double end fit 1024); the list ends
// at an empty description or after an empty pattern.
std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter);

// "*.bmp;*.BMP" -> "*.[bB][mM][pP] *.[bB][mM][pP]": ";" separates, letters match in
// either case, "*.*" and an empty pattern match everything ("*").
std::string DialogPatterns(const std::string& patterns);

} // namespace corvane
