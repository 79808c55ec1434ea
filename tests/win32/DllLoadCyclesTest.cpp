// A host loading the DLL, making one request and freeing it again thousands
// of times in one process (as CoFreeUnusedLibraries between uses does): the
// process lives on and no thread-local storage index is lost on the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "DllTestSupport.h"

namespace {

using namespace vesk::test;

// Far past the 1,088 indices of a process; fewer in the 32-bit build, whose
// suite may run under emulation.
constexpr int kCycles = sizeof(void*) == 8 ? 3000 : 1200;

// The free indices: as many as TlsAlloc hands out, all given back.
std::size_t FreeTlsIndices() {
  std::vector<DWORD> taken;
  for (DWORD index = TlsAlloc(); index != TLS_OUT_OF_INDEXES; index = TlsAlloc()) taken.push_back(index);
  for (const DWORD index : taken) TlsFree(index);
  return taken.size();
}

void Cycle() {
  const HMODULE dll = LoadLibraryW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  vesk::com::IPlugInCom* const plugin = CreatePlugIn(dll);
  ASSERT_NE(plugin, nullptr);
  const auto [hr, reply] =
      Call(plugin, L"<request><plugin>PlugInInfo</plugin><method>GetPlugIns</method><params/></request>");
  plugin->Release();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(reply.rfind(L"<result><plugins><plugin>", 0), 0u);
  EXPECT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(dll, "DllCanUnloadNow")(), S_OK);
  EXPECT_TRUE(FreeLibrary(dll));
}

TEST(DllLoadCycles, LoadUseAndFreeManyTimes) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ASSERT_NO_FATAL_FAILURE(Cycle());
  const std::size_t first = FreeTlsIndices();
  for (int cycle = 2; cycle <= kCycles && !HasFailure(); ++cycle) {
    SCOPED_TRACE(cycle);
    Cycle();
  }
  EXPECT_EQ(FreeTlsIndices(), first);
  CoUninitialize();
}

}  // namespace
