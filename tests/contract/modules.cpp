// References to a module taken from an address of its code: what the driver
// holds while its camera object lives, so that a host's FreeLibrary cannot
// unmap code that the system still calls.
#include "contract/harness.h"

#if !defined(_WIN32)
#include "contract/module/contract_module.h"
#endif

namespace {

struct TestModule {
    HMODULE module;
    const void* code; // an address inside the module's code
};

TestModule LoadTestModule()
{
#if defined(_WIN32)
    HMODULE module = LoadLibraryA("contract_module.dll");
    typedef void*(*AddressCall)(void);
    FARPROC found = module != nullptr ? GetProcAddress(module, "ContractModuleAddress") : nullptr;
    auto address = reinterpret_cast<AddressCall>(reinterpret_cast<void (*)()>(found));
    return {module, address != nullptr ? address() : nullptr};
#else
    return {emu::LoadModule(ContractModuleEntry, "C:\\r6odi\\contract_module.dll"), ContractModuleAddress()};
#endif
}

// The module holding `code`, without a reference; null when none does.
HMODULE ModuleOf(const void* code)
{
    HMODULE module = reinterpret_cast<HMODULE>(1);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(code), &module)) {
        CHECK(module == nullptr);
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        return nullptr;
    }
    return module;
}

} // namespace

CONTRACT_TEST(Modules, AReferenceFromAnAddressKeepsTheModuleLoaded)
{
    TestModule m = LoadTestModule();
    REQUIRE(m.module != nullptr && m.code != nullptr);
    CHECK(ModuleOf(m.code) == m.module);
    HMODULE held = nullptr;
    CHECK(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCSTR>(m.code), &held));
    CHECK(held == m.module);
    // The loader's reference goes; the one taken from the address holds it.
    CHECK(FreeLibrary(m.module));
    CHECK(ModuleOf(m.code) == m.module);
    CHECK(FreeLibrary(held));
    CHECK(ModuleOf(m.code) == nullptr);
}

CONTRACT_TEST(Modules, RequestsThatAreRefused)
{
    int onTheStack = 0;
    CHECK(ModuleOf(&onTheStack) == nullptr);
    TestModule m = LoadTestModule();
    REQUIRE(m.module != nullptr);
    CHECK(!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCSTR>(m.code), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HMODULE module = nullptr;
    CHECK(!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(m.code), &module));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CHECK(FreeLibrary(m.module));
    CHECK(ModuleOf(m.code) == nullptr);
}
