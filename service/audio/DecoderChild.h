// The service's sound-file decodes run in a child process, melodex-decode: the body is handed
// over as a sealed in-memory file on its standard input, the samples come back on a pipe.
// The child limits its own address space and CPU time; the parent kills it when its wall-clock
// time is up. Whatever a hostile file makes the codec libraries leak or corrupt ends with it.
#pragma once

#include "UploadDecoder.h"

#include <string>
#include <string_view>

namespace melodex::audio {

// Parent side: decodes `body` in a new child running `decoderPath`.
DecodedUpload runDecoderChild(const std::string& decoderPath, std::string_view body, const DecodeLimits& limits,
                              double seconds);

// Child side (melodex-decode's main): decodes standard input, writes the result to standard
// output. Returns the process's exit status.
int serveDecoderChild(int argc, char** argv);

} // namespace melodex::audio
