#include "channels/serial/serial_config.h"

#include <array>

#include "module/profile_keys.h"

namespace kavlink {
namespace {

using S = SerialConfig;
using profile::numberKey;

// "UseChar" has always been written under "Flow"; it is read from "Other" first so that
// a file that keeps it there loads too, and from "Flow" otherwise.
const std::array<profile::Key<S>, 20> kKeys{{
    profile::textKey<&S::port, S>("General", "Com Port", "COM1"),
    numberKey<int32_t, &S::baudRate, S>("General", "Baud Rate", 9600),
    numberKey<int32_t, &S::parityBits, S>("General", "Parity Bits", 0),
    numberKey<int32_t, &S::dataBits, S>("General", "Data Bits", 8),
    numberKey<int32_t, &S::stopBits, S>("General", "Stop Bits", 0),
    numberKey<int16_t, &S::rtsControl, S>("Flow", "RTSControl", 0),
    numberKey<int16_t, &S::dtrControl, S>("Flow", "DTRControl", 1),
    numberKey<int32_t, &S::dsrSensitivity, S>("Flow", "DsrSensitivity", 0),
    numberKey<int32_t, &S::txContinueOnXoff, S>("Flow", "TXContinueOnXoff", 0),
    numberKey<int32_t, &S::outxCtsFlow, S>("Flow", "outCTSFlow", 0),
    numberKey<int32_t, &S::outxDsrFlow, S>("Flow", "outDSRFlow", 0),
    numberKey<int32_t, &S::xonXoffIn, S>("Flow", "XonXoffIn", 0),
    numberKey<int32_t, &S::xonXoffOut, S>("Flow", "XonXoffOut", 0),
    numberKey<int8_t, &S::xoffChar, S>("Flow", "XoffChar", 19),
    numberKey<int8_t, &S::xonChar, S>("Flow", "XonChar", 17),
    numberKey<int32_t, &S::useErrChar, S>("Flow", "UseChar", 0, "Other"),
    numberKey<int16_t, &S::discardNull, S>("Other", "DiscardNULL", 0),
    numberKey<int8_t, &S::errChar, S>("Other", "ErrChar", 0),
    numberKey<int8_t, &S::eofChar, S>("Other", "EofChar", 0),
    numberKey<int8_t, &S::eventChar, S>("Other", "EventChar", 0),
}};

}  // namespace

bool saveSerialConfig(const std::string& file, const SerialConfig& config) {
  return profile::saveKeys<S>(file, config, kKeys);
}

void loadSerialConfig(const std::string& file, SerialConfig& config) { profile::loadKeys<S>(file, config, kKeys); }

}  // namespace kavlink
