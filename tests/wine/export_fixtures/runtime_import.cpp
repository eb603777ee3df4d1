// Linked against the compiler's runtime DLLs instead of their static copies.
#include <chrono>

extern "C" int __cdecl d_IsColor(void)
{
    return std::chrono::system_clock::now().time_since_epoch().count() == 0;
}
