#include "instructions/PageCaptions.h"

namespace vexil {

std::string resetTimeCaption(int position) {
  return "Reset Time: " + std::to_string(position) + " ms";
}

std::string qvNetSizeCaption(int position) {
  return "QV-Net Data Size is " + std::to_string(position) + " bytes";
}

}  // namespace vexil
