#include "display/display_name.h"

namespace qz {

std::string printable_display_name(const std::string& name) {
  constexpr std::size_t kLongest = 64;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i == kLongest) return out + "...";
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(char(c));
    } else {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

}  // namespace qz
