// render_library.h: a generated process library for timing renders with PDF.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Creates the library folder `root` with a copy of the assets folder `assets` and `count`
// process folders QL-BN-0001 ... each holding one document of some twenty-five printed pages
// (three sections of five steps: context, warning, image, actions, a table, a verification)
// that uses the example stylesheets. Returns the document numbers in order.
std::vector<std::string> generate_render_library(const std::string& root, std::size_t count,
                                                 const std::string& assets);
