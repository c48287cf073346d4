// shell32's private header: what the emulated phone's browser was asked to open.
#pragma once

#include <string>
#include <vector>

namespace shell32 {

// Every URL passed to "\Windows\iexplore.exe" since start (UTF-8), in order; also appended one
// per line to DIR/browser.log.
std::vector<std::string> LaunchedUrls();
void ClearLaunchedUrlsForTests();

}  // namespace shell32
