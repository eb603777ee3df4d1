// The emulated loader: modules loaded by emu::LoadModule, their reference
// counts, and the code each one maps. A module's code is the executable part
// of the image (the shared object) its entry point lies in; an entry point
// in the program itself maps no code of its own, as the program is never
// unloaded. Unloading a module while anything of the system still points
// into its code is what crashes a host on Windows some time later, so the
// unload names each such thing, and every later call into that code is
// reported instead of made.
#include "platform/emul/module.h"

#include <link.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/module_state.h"
#include "platform/emul/user_state.h"

namespace {

// The executable segments of one loaded image, as one span of addresses.
struct CodeSpan {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    bool Holds(const void* code) const
    {
        auto address = reinterpret_cast<uintptr_t>(code);
        return address >= begin && address < end;
    }
    bool operator==(const CodeSpan& o) const { return begin == o.begin && end == o.end; }
};

struct Module {
    std::string path;
    emu::DllEntry entry = nullptr;
    CodeSpan code; // empty: the entry point lies in the program
    long references = 1;
    bool pinned = false;
};

struct Loader {
    std::map<HINSTANCE, Module> loaded;
    std::map<HINSTANCE, std::string> paths; // for GetModuleFileNameA
    std::vector<CodeSpan> unloaded;         // code of modules unloaded and not loaded again
    std::map<DWORD, const void*> threadRoutines;
    uintptr_t nextModule = 0x10000000;
};

Loader& L()
{
    static Loader* loader = new Loader; // never destroyed: threads may outlive main's statics
    return *loader;
}

thread_local bool returnReported = false;

struct SpanSearch {
    const void* code;
    CodeSpan span;
    bool inProgram;
};

// dl_iterate_phdr's callback: stops at the image whose executable segments
// hold the code looked for.
int FindSpan(dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<SpanSearch*>(data);
    CodeSpan span{UINTPTR_MAX, 0};
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0)
            continue;
        span.begin = std::min<uintptr_t>(span.begin, info->dlpi_addr + segment.p_vaddr);
        span.end = std::max<uintptr_t>(span.end, info->dlpi_addr + segment.p_vaddr + segment.p_memsz);
    }
    if (span.end == 0 || !span.Holds(search->code))
        return 0;
    search->span = span;
    // The program is the image listed without a name.
    search->inProgram = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
    return 1;
}

// The code span of the image that holds `entry`; empty for the program's
// own image.
CodeSpan ImageCodeOf(const void* entry)
{
    SpanSearch search{entry, {}, false};
    dl_iterate_phdr(FindSpan, &search);
    return search.inProgram ? CodeSpan{} : search.span;
}

// Lock held. The loaded module whose code holds `code`, or null.
HINSTANCE LoadedModuleOf(const void* code)
{
    for (const auto& entry : L().loaded)
        if (entry.second.code.Holds(code))
            return entry.first;
    return nullptr;
}

std::string Text(const void* handle) { return emu::user::HandleText(handle); }

// Lock held. Everything of the system that still points into `code`.
std::vector<std::string> Survivors(const CodeSpan& code)
{
    using namespace emu::user;
    std::vector<std::string> found;
    const State& s = S();
    for (const auto& entry : s.classes)
        if (code.Holds(reinterpret_cast<const void*>(entry.second.procedure)))
            found.push_back("the window class \"" + entry.second.name + "\"");
    for (const auto& entry : s.windows)
        if (code.Holds(reinterpret_cast<const void*>(entry.second.procedure)))
            found.push_back("the window " + Text(entry.first));
    for (const Timer& t : s.timers) {
        const void* procedure = reinterpret_cast<const void*>(t.procedure);
        if (procedure == nullptr) {
            auto w = s.windows.find(t.window);
            if (w != s.windows.end())
                procedure = reinterpret_cast<const void*>(w->second.procedure);
        }
        if (code.Holds(procedure))
            found.push_back("timer " + std::to_string(t.id) + " of the window " + Text(t.window));
    }
    for (const auto& entry : s.registrations) {
        auto w = s.windows.find(entry.second.window);
        if (w != s.windows.end() && code.Holds(reinterpret_cast<const void*>(w->second.procedure)))
            found.push_back("the device notification " + Text(entry.first) + " of the window " +
                            Text(entry.second.window));
    }
    for (const auto& entry : L().threadRoutines)
        if (code.Holds(entry.second))
            found.push_back("the thread " + std::to_string(entry.first));
    return found;
}

// Lock NOT held. The last reference is gone: detach, forget, report.
void Unload(HINSTANCE handle)
{
    Module module;
    {
        emu::core::Guard g(emu::core::Lock());
        module = L().loaded[handle];
    }
    module.entry(handle, DLL_PROCESS_DETACH, nullptr);
    std::vector<std::string> survivors;
    {
        emu::core::Guard g(emu::core::Lock());
        L().loaded.erase(handle);
        L().paths.erase(handle);
        if (module.code.end != 0) {
            L().unloaded.push_back(module.code);
            survivors = Survivors(module.code);
        }
    }
    for (const std::string& what : survivors)
        emu::core::ReportMisuse("the module " + module.path + " was unloaded while " + what +
                                ", whose code lies in it, remains");
}

} // namespace

namespace emu::core {

bool ModulePath(HINSTANCE module, std::string* path)
{
    auto it = L().paths.find(module);
    if (it == L().paths.end())
        return false;
    *path = it->second;
    return true;
}

bool CodeUnloaded(const void* code)
{
    for (const CodeSpan& span : L().unloaded)
        if (span.Holds(code))
            return true;
    return false;
}

bool RefuseCallIntoUnloadedCode(const void* code, const std::string& call)
{
    if (!CodeUnloaded(code))
        return false;
    ReportMisuse(call + " would jump into a module that has been unloaded");
    return true;
}

void ThreadRunsCode(DWORD thread, const void* routine)
{
    L().threadRoutines[thread] = routine;
}

void ThreadEndsCode(DWORD thread)
{
    L().threadRoutines.erase(thread);
}

void CheckReturnIntoUnloadedCode(const char* call)
{
    if (returnReported)
        return;
    DWORD thread = GetCurrentThreadId();
    bool gone;
    {
        Guard g(Lock());
        auto it = L().threadRoutines.find(thread);
        gone = it != L().threadRoutines.end() && CodeUnloaded(it->second);
    }
    if (!gone)
        return;
    returnReported = true;
    ReportMisuse(std::string(call) + " returns to the thread " + std::to_string(thread) +
                 ", whose code lay in a module that has been unloaded");
}

} // namespace emu::core

namespace emu {

HINSTANCE LoadModule(DllEntry entry, const std::string& path)
{
    HINSTANCE module;
    {
        core::Guard g(core::Lock());
        Loader& l = L();
        // A module already loaded gains a reference, as LoadLibraryA gives it;
        // its entry point is not called again.
        for (auto& loaded : l.loaded) {
            if (loaded.second.entry == entry) {
                if (!loaded.second.pinned)
                    ++loaded.second.references;
                return loaded.first;
            }
        }
        module = reinterpret_cast<HINSTANCE>(l.nextModule);
        l.nextModule += 0x10000;
        Module& m = l.loaded[module];
        m.path = path;
        m.entry = entry;
        m.code = ImageCodeOf(reinterpret_cast<const void*>(entry));
        l.paths[module] = path;
        l.unloaded.erase(std::remove(l.unloaded.begin(), l.unloaded.end(), m.code), l.unloaded.end());
    }
    if (entry(module, DLL_PROCESS_ATTACH, nullptr))
        return module;
    Unload(module);
    return nullptr;
}

BOOL FreeModule(HINSTANCE module)
{
    return FreeLibrary(module);
}

void SetModulePath(HINSTANCE module, const std::string& path)
{
    core::Guard g(core::Lock());
    L().paths[module] = path;
    auto it = L().loaded.find(module);
    if (it != L().loaded.end())
        it->second.path = path;
}

} // namespace emu

BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module)
{
    const DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    bool pin = (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0;
    bool keepCount = (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0;
    if (module != nullptr)
        *module = nullptr;
    if (module == nullptr || (flags & ~known) != 0 || (pin && keepCount)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
        emu::core::ReportMisuse("GetModuleHandleExA by name is not emulated");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    emu::core::Guard g(emu::core::Lock());
    HINSTANCE found = LoadedModuleOf(name);
    if (found == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    Module& m = L().loaded[found];
    if (pin)
        m.pinned = true;
    else if (!keepCount && !m.pinned)
        ++m.references;
    *module = found;
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    {
        emu::core::Guard g(emu::core::Lock());
        auto it = L().loaded.find(module);
        if (it == L().loaded.end()) {
            g.unlock();
            emu::core::ReportMisuse("FreeLibrary of " + Text(module) + ", which is not a loaded module");
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        if (it->second.pinned || --it->second.references > 0)
            return TRUE;
    }
    Unload(module);
    return TRUE;
}
