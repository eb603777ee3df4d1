// The contract test program: `contract_tests [filter]` runs the tests that
// the filter selects (see contract::Selected), all of them without one.
#include "contract/harness.h"

int main(int argc, char** argv)
{
    return contract::RunAll(argc > 1 ? argv[1] : nullptr);
}
