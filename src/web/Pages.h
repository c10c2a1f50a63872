#pragma once
#include <string_view>

namespace qv::pages {

// The web panels' pages, compiled into the program from src/web/pages: each
// whole HTML file as UTF-16, ready for the browser to load. Nothing is read
// from disk or the network at run time.
std::u16string_view flyout();
std::u16string_view settings();

} // namespace qv::pages
