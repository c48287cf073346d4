#include "OlafRunner.h"

#include "MicSimulator.h"

namespace melodex::bench {

OlafRunner::OlafRunner(std::string binary) : binary_(std::move(binary)) {}

bool OlafRunner::index(const std::vector<std::string>&, std::string& error) {
    error = "Olaf comparison not implemented";
    return false;
}

int OlafRunner::query(const std::vector<float>&, double& milliseconds) {
    milliseconds = 0.0;
    return -1;
}

} // namespace melodex::bench
