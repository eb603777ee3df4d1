// The Windows-only test program:
//   wine_tests [--driver PATH] [filter]   runs the tests (filter: contract::Selected)
//   wine_tests --child ROLE ARGS...       a child process started by a test
#include <cstring>

#include "contract/harness.h"
#include "wine/wine_program.h"

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return wine_tests::RunChild(argc - 2, argv + 2);
    int next = 1;
    if (argc > next + 1 && std::strcmp(argv[next], "--driver") == 0) {
        wine_tests::SetDriverPath(argv[next + 1]);
        next += 2;
    }
    return contract::RunAll(argc > next ? argv[next] : nullptr);
}
