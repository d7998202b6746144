#include "messaging/AnswerReader.h"

namespace vexil {

UserText AnswerReader::userText() const {
  UserText t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = u8(wire::kUserTextOffset + i);
  return t;
}

}  // namespace vexil
