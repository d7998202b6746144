// Settings values that all carry one number, shared by the settings tests and the
// killed-save harness: a file that mixes two saves is told from a whole one.
#pragma once

#include <string>

#include "settings/StoredSettings.h"

namespace vexil::settings {

/// Values that all carry the number `generation`, so that a file holding a mixture of
/// two saves is told from a whole one: loaded == generationValues(n) for one n.
inline StoredSettings generationValues(int generation) {
  const std::string g = std::to_string(generation);
  StoredSettings v;
  v.ackProt = v.ipExt = v.resetType = v.resetTime = v.tsFormat = v.itType = v.dvPin =
      v.qvNetSize = v.tsSource = v.packetNumber = v.packetFormat = generation;
  v.ipBase = v.ipText = v.serial = v.type = v.userText = v.destinationPort = g;
  for (auto& row : v.rows) row = {generation % 2 == 1, g, g, g};
  for (auto* parts : {&v.ip, &v.netMask, &v.gatewayIp, &v.nco, &v.destinationIp})
    for (auto& part : *parts) part = g;
  v.removeNullpacket = v.removeTsp = generation % 2 == 1;
  return v;
}

}  // namespace vexil::settings
