// A host loading the DLL, making one request and freeing it again, thousands
// of times in one process (as CoFreeUnusedLibraries between uses does): the
// process lives on and no thread-local storage index is lost on the way.
// Usage: vesk_dll_load_cycles_e2e [cycles] (gtest flags first).
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DllTestSupport.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

using vesk::test::DllPath;
using vesk::test::Export;
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

// Far past the 1,088 indices a process has; fewer on 32 bits, whose
// address space a leaking DLL would use up first.
long g_cycles = sizeof(void*) == 8 ? 3000 : 1200;

// The free indices: as many as TlsAlloc hands out, all given back.
std::size_t FreeTlsIndices() {
  std::vector<DWORD> taken;
  for (DWORD index = TlsAlloc(); index != TLS_OUT_OF_INDEXES; index = TlsAlloc()) taken.push_back(index);
  for (const DWORD index : taken) TlsFree(index);
  return taken.size();
}

// Load, ask for the catalogue through the class object, release, free.
void Cycle(const std::wstring& path) {
  const HMODULE dll = LoadLibraryW(path.c_str());
  ASSERT_NE(dll, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(Export<GetClassObjectFn>(dll, "DllGetClassObject")(vesk::com::kCLSID_PlugIn, IID_IClassFactory,
                                                                 reinterpret_cast<void**>(&factory)),
            S_OK);
  vesk::com::IPlugInCom* plugin = nullptr;
  const HRESULT created =
      factory->CreateInstance(nullptr, vesk::com::kIID_IPlugIn, reinterpret_cast<void**>(&plugin));
  factory->Release();
  ASSERT_EQ(created, S_OK);
  BSTR args = SysAllocString(L"<request><plugin>PlugInInfo</plugin><method>GetPlugIns</method><params/></request>");
  BSTR reply = nullptr;
  const HRESULT hr = plugin->MethodCall(args, &reply);
  const std::wstring text = reply != nullptr ? std::wstring(reply, SysStringLen(reply)) : L"";
  SysFreeString(args);
  SysFreeString(reply);
  plugin->Release();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(text.rfind(L"<result><plugins><plugin>", 0), 0u);
  EXPECT_EQ(Export<CanUnloadFn>(dll, "DllCanUnloadNow")(), S_OK);
  EXPECT_TRUE(FreeLibrary(dll));
}

TEST(DllLoadCycles, LoadUseAndFreeManyTimes) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const std::wstring path = DllPath();
  ASSERT_NO_FATAL_FAILURE(Cycle(path));
  const std::size_t first = FreeTlsIndices();
  for (long cycle = 2; cycle <= g_cycles && !HasFailure(); ++cycle) {
    SCOPED_TRACE(cycle);
    Cycle(path);
  }
  const std::size_t last = FreeTlsIndices();
  std::printf("%ld cycles; free TLS indices after the first: %zu, after the last: %zu\n", g_cycles, first, last);
  EXPECT_EQ(last, first);
  CoUninitialize();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) g_cycles = std::strtol(argv[1], nullptr, 10);
  return RUN_ALL_TESTS();
}
