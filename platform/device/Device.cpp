#include "device/Device.h"

namespace device {

bool FindProfile(const std::string& name, Profile* out) {
  // The screen profiles the emulated phone can have.
  static const Profile kProfiles[] = {
      {"qvga", 240, 320},
      {"square", 320, 320},
      {"landscape", 320, 240},
      {"qvga-square", 240, 240},
  };
  for (const Profile& p : kProfiles) {
    if (p.name == name) {
      *out = p;
      return true;
    }
  }
  return false;
}

Options& options() {
  static Options o;
  return o;
}

}  // namespace device
