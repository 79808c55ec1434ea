// Fuzzes the settings panel ctlStartProgram on the simulated platform: a session of
// requests and surface commands, one per line (see PanelFuzzer.h).

#include "PanelFuzzer.h"
#include "settings/ctlStartProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vesk::fuzz::RunPanelSession<vesk::ctlStartProgram>("fuzz_ctlStartProgram", data, size, 3);
}
