// The degradations as command-line options, one reading for melodex-micsim and for the
// benchmark's own conditions (melodex-bench --condition):
//   --snr DB  --noise room|pink  --babble DB  --reverb [RT60]  --room IR_FILE|hall:RT60
//   --speaker  --speed FACTOR  --pitch SEMITONES  --music-for SECONDS  --gain DB  --gsm
//   --no-band-limit
#pragma once

#include "MicSimulator.h"

#include <string>
#include <vector>

namespace melodex::micsim {

// Applies `args` to `settings`, left to right. A hall (hall:RT60) is made from settings.seed,
// so a caller that takes a seed sets it first. False with the option at fault in `error`: an
// option this does not know, a value missing or out of range, a room file that cannot be read.
bool parseDegradations(const std::vector<std::string>& args, MicSettings& settings, std::string& error);

} // namespace melodex::micsim
