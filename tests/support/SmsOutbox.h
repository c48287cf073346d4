// The messages the phone's SMS service has sent: its outbox in the device root, one JSON object a
// line, each parsed as the object it must be.
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace melodex_test {

inline std::vector<nlohmann::json> SentMessages(const std::string& root) {
  std::vector<nlohmann::json> messages;
  std::ifstream in(root + "/sms-outbox.jsonl", std::ios::binary);
  for (std::string line; std::getline(in, line);) messages.push_back(nlohmann::json::parse(line));
  return messages;
}

}  // namespace melodex_test
