// Fuzzes the settings panel ctlEndProgram on the simulated platform: a session of
// requests and surface commands, one per line (see PanelFuzzer.h).

#include "PanelFuzzer.h"
#include "settings/ctlEndProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vesk::fuzz::RunPanelSession<vesk::ctlEndProgram>("fuzz_ctlEndProgram", data, size, 1);
}
