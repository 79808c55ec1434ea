// Registration among others: a host's IPlugIn key, a registration that fails
// half way, and the other width's DLL registered under the same root.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "DllTestSupport.h"
#include "RegistryTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace vesk::test;

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kIPlugIn = kClasses + L"Interface\\{F49BCB8B-22F5-4FE0-9C2A-C60EC7169C60}";
const std::wstring kPlugInClsid = L"{8277CCD6-415A-45C2-9761-B5750C7170CC}";
const std::wstring kPlugInClass = kClasses + L"CLSID\\" + kPlugInClsid;
const std::wstring kLastClass = kClasses + L"CLSID\\{8FA052DC-15AE-4EEF-B298-DFCAF31F7B6C}";
const std::wstring kTypeLib = kClasses + L"TypeLib\\{3B4D03EE-585E-4B21-9977-8EA24349175A}";
const std::wstring kHelpFolder = kTypeLib + L"\\1.0\\HELPDIR";
const std::wstring kPlatforms = kTypeLib + L"\\1.0\\0\\";
const std::wstring kOwnPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";
const std::wstring kOtherPlatform = sizeof(void*) == 8 ? L"win32" : L"win64";
// Every key the library owns when no one else registered them: the classes,
// their ProgIDs, the type library, the classes' default interfaces.
const std::wstring kOwnedKeys[] = {
    kPlugInClass,
    kClasses + L"CLSID\\{10E15511-61C7-4236-ADC0-0170F70A3ECD}",
    kLastClass,
    kClasses + L"VeskProgramManager.PlugIn",
    kClasses + L"VeskProgramManager.ctlStartProgram",
    kClasses + L"VeskProgramManager.ctlEndProgram",
    kTypeLib,
    kClasses + L"Interface\\{C1E060AF-8A6D-416F-9078-9D6E47F7B9B2}",
    kClasses + L"Interface\\{01219124-E358-4F57-848B-0BF615F45965}",
    kClasses + L"Interface\\{F423D45F-0990-472E-8044-73EF32AA8919}",
};

struct Scope {
  const char* name;
  HKEY root;
};
const Scope kScopes[] = {{"user", HKEY_CURRENT_USER}, {"machine", HKEY_LOCAL_MACHINE}};

std::string Narrow(const std::wstring& text) { return fs::path(text).string(); }

// Calls DllInstall with `command_line` in this process, as regsvr32 /i does.
HRESULT Install(bool install, const wchar_t* command_line) {
  const HMODULE dll = LoadLibraryW(DllPath().c_str());
  if (dll == nullptr) return E_FAIL;
  const HRESULT hr = Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(dll, "DllInstall")(install, command_line);
  FreeLibrary(dll);
  return hr;
}

// Registers (or unregisters) the DLL for the user or the machine, as regsvr32 does.
HRESULT Registration(HKEY root, bool install) {
  if (root == HKEY_CURRENT_USER) return Install(install, L"user");
  const HMODULE dll = LoadLibraryW(DllPath().c_str());
  if (dll == nullptr) return E_FAIL;
  const HRESULT hr = Export<HRESULT(STDAPICALLTYPE*)()>(dll, install ? "DllRegisterServer" : "DllUnregisterServer")();
  FreeLibrary(dll);
  return hr;
}

TEST(ComRegistration, DllInstallTakesUserOrMachineInAnyCaseAndNothingElse) {
  const std::pair<const wchar_t*, HKEY> rows[] = {
      {L"USER", HKEY_CURRENT_USER}, {L"machine", HKEY_LOCAL_MACHINE}, {L"MACHINE", HKEY_LOCAL_MACHINE},
      {L"", HKEY_LOCAL_MACHINE},    {nullptr, HKEY_LOCAL_MACHINE},    {L"usr", nullptr},
      {L"user ", nullptr}};
  for (const auto& [command_line, root] : rows) {
    SCOPED_TRACE(command_line != nullptr ? Narrow(command_line) : "null");
    if (root == nullptr) {
      // Refused, registering or not, with the registry untouched.
      EXPECT_EQ(Install(true, command_line), E_INVALIDARG);
      for (const Scope& scope : kScopes) EXPECT_FALSE(KeyIn(scope.root, kPlugInClass)) << scope.name;
      ASSERT_EQ(Install(true, L"user"), S_OK);
      EXPECT_EQ(Install(false, command_line), E_INVALIDARG);
      EXPECT_TRUE(KeyIn(HKEY_CURRENT_USER, kPlugInClass));
      ASSERT_EQ(Install(false, L"user"), S_OK);
      continue;
    }
    ASSERT_EQ(Install(true, command_line), S_OK);
    EXPECT_TRUE(KeyIn(root, kPlugInClass));
    EXPECT_FALSE(KeyIn(root == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kPlugInClass));
    ASSERT_EQ(Install(false, command_line), S_OK);
    EXPECT_FALSE(KeyIn(root, kPlugInClass));
  }
}

// IPlugIn as its host registers it, naming the host's type library.
void WriteHostsIPlugIn(HKEY root) {
  WriteIn(root, kIPlugIn, nullptr, L"IPlugIn");
  WriteIn(root, kIPlugIn + L"\\ProxyStubClsid32", nullptr, L"{00020424-0000-0000-C000-000000000046}");
  WriteIn(root, kIPlugIn + L"\\TypeLib", nullptr, L"{26AC30ED-2363-46AE-9DFA-963EC1709718}");
  WriteIn(root, kIPlugIn + L"\\TypeLib", L"Version", L"1.0");
}

TEST(ComRegistration, AHostsIPlugInSurvivesRegistrationByteForByte) {
  // The host registered for the user or the machine; the DLL for the user
  // or the machine. A per-user IPlugIn key would shadow the machine's in
  // the merged classes, so none is written over the host's.
  struct Row {
    const char* name;
    HKEY host, dll;
  };
  const Row rows[] = {{"user, user", HKEY_CURRENT_USER, HKEY_CURRENT_USER},
                      {"machine, machine", HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE},
                      {"host for the machine, DLL for the user", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteHostsIPlugIn(row.host);
    const Snapshot host = TakeSnapshot(row.host, kIPlugIn);
    ASSERT_EQ(Registration(row.dll, true), S_OK);
    EXPECT_EQ(TakeSnapshot(row.host, kIPlugIn), host);
    if (row.dll != row.host) {
      EXPECT_FALSE(KeyIn(row.dll, kIPlugIn));
    }
    for (const std::wstring& key : kOwnedKeys) EXPECT_TRUE(KeyIn(row.dll, key)) << Narrow(key);
    ASSERT_EQ(Registration(row.dll, false), S_OK);
    EXPECT_EQ(TakeSnapshot(row.host, kIPlugIn), host);
    for (const std::wstring& key : kOwnedKeys) EXPECT_FALSE(KeyIn(row.dll, key)) << Narrow(key);
    DeleteIn(row.host, kIPlugIn);
  }
}

TEST(ComRegistration, AFailedRegistrationUndoesOnlyItsOwnWrites) {
  for (const Scope& scope : kScopes) {
    SCOPED_TRACE(scope.name);
    const HKEY root = scope.root;
    // The other width's class in its view, which the undo must not touch;
    // the last class's key is there already, volatile and with a value of
    // its own: registration writes everything else, then fails at its first
    // subkey.
    WriteHostsIPlugIn(root);
    ASSERT_EQ(WriteIn(root, kPlugInClass + L"\\InprocServer32", nullptr, L"C:\\other width\\x.dll", kOtherView),
              ERROR_SUCCESS);
    const bool views_apart = !KeyIn(root, kPlugInClass, kOwnView);
    ASSERT_EQ(WriteIn(root, kLastClass, nullptr, L"before", kOwnView, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    const Snapshot host = TakeSnapshot(root, kIPlugIn);
    const Snapshot blocked = TakeSnapshot(root, kLastClass, kOwnView);
    const Snapshot other_class = TakeSnapshot(root, kPlugInClass, kOtherView);
    EXPECT_EQ(Registration(root, true), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_EQ(TakeSnapshot(root, kIPlugIn), host);
    EXPECT_EQ(TakeSnapshot(root, kLastClass, kOwnView), blocked);
    EXPECT_EQ(TakeSnapshot(root, kPlugInClass, kOtherView), other_class);
    for (const std::wstring& key : kOwnedKeys) {
      if (key != kLastClass && (views_apart || key != kPlugInClass)) {
        EXPECT_FALSE(KeyIn(root, key, kOwnView)) << Narrow(key);
      }
    }
    DeleteIn(root, kIPlugIn);
    DeleteIn(root, kLastClass, kOwnView);
    DeleteIn(root, kPlugInClass, kOtherView);
  }
}

TEST(ComRegistration, SharedKeysStayWhileTheOtherWidthIsRegistered) {
  const std::wstring other_dll = L"C:\\other width\\VeskProgramManager.dll";
  for (const Scope& scope : kScopes) {
    SCOPED_TRACE(scope.name);
    // The other width's registration as its DLL leaves it: its class and
    // ProgID in its own view, its entry and help folder in the type library.
    WriteIn(scope.root, kPlugInClass + L"\\InprocServer32", nullptr, other_dll, kOtherView);
    WriteIn(scope.root, kClasses + L"VeskProgramManager.PlugIn\\CLSID", nullptr, kPlugInClsid, kOtherView);
    WriteIn(scope.root, kPlatforms + kOtherPlatform, nullptr, other_dll);
    WriteIn(scope.root, kHelpFolder, nullptr, L"C:\\other width\\");
    // Where one CLSID key serves both widths (Wine's per-user classes), only
    // one width's class can be registered at a time.
    const bool views_apart = !KeyIn(scope.root, kPlugInClass);
    const Snapshot other_class = TakeSnapshot(scope.root, kPlugInClass, kOtherView);
    const Snapshot other_entry = TakeSnapshot(scope.root, kPlatforms + kOtherPlatform);
    const Snapshot help = TakeSnapshot(scope.root, kHelpFolder);

    ASSERT_EQ(Registration(scope.root, true), S_OK);
    EXPECT_EQ(TakeSnapshot(scope.root, kHelpFolder), help);
    ASSERT_EQ(Registration(scope.root, false), S_OK);
    // This width's own keys go; the shared ones stay for the other width.
    EXPECT_FALSE(KeyIn(scope.root, kPlatforms + kOwnPlatform));
    EXPECT_EQ(TakeSnapshot(scope.root, kPlatforms + kOtherPlatform), other_entry);
    if (views_apart) {
      EXPECT_FALSE(KeyIn(scope.root, kPlugInClass));
      EXPECT_EQ(TakeSnapshot(scope.root, kPlugInClass, kOtherView), other_class);
    }
    for (const std::wstring& key : kOwnedKeys) {
      if (key.find(L"\\CLSID\\") == std::wstring::npos) {
        EXPECT_TRUE(KeyIn(scope.root, key)) << Narrow(key);
      }
    }
    EXPECT_TRUE(KeyIn(scope.root, kClasses + L"VeskProgramManager.PlugIn", kOtherView));

    // Registered again; the other width goes (its own keys only, since this
    // width still refers to the shared ones); then this width: nothing of
    // either is left in either view.
    ASSERT_EQ(Registration(scope.root, true), S_OK);
    DeleteIn(scope.root, kPlatforms + kOtherPlatform);
    if (views_apart) DeleteIn(scope.root, kPlugInClass, kOtherView);
    ASSERT_EQ(Registration(scope.root, false), S_OK);
    for (const std::wstring& key : kOwnedKeys) {
      EXPECT_FALSE(KeyIn(scope.root, key)) << Narrow(key);
      EXPECT_FALSE(KeyIn(scope.root, key, kOtherView)) << Narrow(key) << " (other view)";
    }
  }
}

// Runs `program` with `arguments`; its exit code, or -1 when it did not start
// or did not end within a minute.
int RunProgram(const fs::path& program, const std::wstring& arguments) {
  std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

struct Width {
  fs::path client, dll;
  std::wstring platform;
};

// Runs the width's client: "call", or `verb` ("register", "unregister") for `scope` ("machine", "user").
int RunClient(const Width& width, const wchar_t* verb, const wchar_t* scope = nullptr) {
  if (scope == nullptr) return RunProgram(width.client, verb);
  return RunProgram(width.client, std::wstring(verb) + L" " + scope + L" \"" + width.dll.wstring() + L"\"");
}

// A fresh copy of the DLL in `folder`.
fs::path CopyOfDll(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path copy = folder / L"VeskProgramManager.dll";
  fs::copy_file(DllPath(), copy);
  return copy;
}

TEST(ComRegistration, UnregistrationKnowsTheRegisteredFileByIdentity) {
  const HRESULT kRegisteredForAnotherFile = HRESULT_FROM_WIN32(ERROR_ALREADY_REGISTERED);
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const fs::path tests = fs::path(exe).parent_path();
  // Each registration in a process of its own, so that the DLL is loaded by
  // exactly the path given.
  const fs::path client = tests / L"vesk_com_client.exe";
  const fs::path long_dll = CopyOfDll(tests / L"Vesk Programme Folder");
  wchar_t short_text[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(long_dll.c_str(), short_text, MAX_PATH), 0u);
  const fs::path short_dll = short_text;
  ASSERT_NE(short_dll.wstring(), long_dll.wstring());
  const fs::path another_dll = CopyOfDll(tests / L"another copy");
  const fs::path moved_dll = another_dll.wstring() + L".moved";
  for (const Scope& scope : kScopes) {
    SCOPED_TRACE(scope.name);
    const std::wstring where(scope.name, scope.name + std::strlen(scope.name));
    // Registered by the long path, unregistered by the short one: the same file.
    ASSERT_EQ(RunClient({client, long_dll, {}}, L"register", where.c_str()), 0);
    EXPECT_EQ(RunClient({client, short_dll, {}}, L"unregister", where.c_str()), 0);
    for (const std::wstring& key : kOwnedKeys) EXPECT_FALSE(KeyIn(scope.root, key)) << Narrow(key);
    RunClient({client, long_dll, {}}, L"unregister", where.c_str());
    // Registered for another file, there or gone: unregistering this DLL
    // fails and removes nothing.
    for (const bool gone : {false, true}) {
      SCOPED_TRACE(gone ? "the other file is gone" : "the other file is there");
      ASSERT_EQ(RunClient({client, another_dll, {}}, L"register", where.c_str()), 0);
      if (gone) fs::rename(another_dll, moved_dll);
      std::vector<Snapshot> before;
      for (const std::wstring& key : kOwnedKeys) before.push_back(TakeSnapshot(scope.root, key));
      EXPECT_EQ(Registration(scope.root, false), kRegisteredForAnotherFile);
      for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(TakeSnapshot(scope.root, kOwnedKeys[i]), before[i]) << Narrow(kOwnedKeys[i]);
      }
      if (gone) fs::rename(moved_dll, another_dll);
      EXPECT_EQ(RunClient({client, another_dll, {}}, L"unregister", where.c_str()), 0);
      for (const std::wstring& key : kOwnedKeys) EXPECT_FALSE(KeyIn(scope.root, key)) << Narrow(key);
    }
  }
}

TEST(ComRegistration, BothWidthsSideBySide) {
  const wchar_t* other_build = _wgetenv(L"VESK_OTHER_WIDTH_BUILD");
  if (other_build == nullptr || *other_build == L'\0') GTEST_SKIP() << "VESK_OTHER_WIDTH_BUILD is not set";
  const fs::path other = fs::path(other_build).make_preferred();
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const Width widths[] = {
      {fs::path(exe).parent_path() / L"vesk_com_client.exe", DllPath(), kOwnPlatform},
      {other / L"tests" / L"vesk_com_client.exe", other / L"VeskProgramManager.dll", kOtherPlatform},
  };
  if (!fs::exists(widths[1].client) || !fs::exists(widths[1].dll)) {
    GTEST_SKIP() << "the other width's build is absent: " << other.string();
  }
  if (RunProgram(widths[1].client, L"probe") != 0) {
    GTEST_SKIP() << "the other width's programs do not run here (no 32-bit Wine?): " << widths[1].client.string();
  }
  for (const bool own_goes_first : {true, false}) {
    SCOPED_TRACE(own_goes_first ? "this width unregistered first" : "the other width unregistered first");
    const Width& gone = widths[own_goes_first ? 0 : 1];
    const Width& kept = widths[own_goes_first ? 1 : 0];
    for (const wchar_t* scope : {L"machine", L"user"}) {
      ASSERT_EQ(RunClient(gone, L"register", scope), 0);
      ASSERT_EQ(RunClient(kept, L"register", scope), 0);
    }
    EXPECT_EQ(RunClient(gone, L"call"), 0);
    EXPECT_EQ(RunClient(kept, L"call"), 0);
    for (const wchar_t* scope : {L"machine", L"user"}) ASSERT_EQ(RunClient(gone, L"unregister", scope), 0);
    EXPECT_EQ(RunClient(kept, L"call"), 0);
    EXPECT_NE(RunClient(gone, L"call"), 0);
    for (const Scope& root : kScopes) {
      EXPECT_TRUE(KeyIn(root.root, kPlatforms + kept.platform)) << root.name;
      EXPECT_FALSE(KeyIn(root.root, kPlatforms + gone.platform)) << root.name;
    }
    for (const wchar_t* scope : {L"machine", L"user"}) ASSERT_EQ(RunClient(kept, L"unregister", scope), 0);
    for (const Scope& root : kScopes) {
      for (const std::wstring& key : kOwnedKeys) {
        EXPECT_FALSE(KeyIn(root.root, key)) << root.name << " " << Narrow(key);
        EXPECT_FALSE(KeyIn(root.root, key, kOtherView)) << root.name << " " << Narrow(key) << " (other view)";
      }
    }
  }
}

}  // namespace
