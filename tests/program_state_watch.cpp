// Every portable test runs under the program-state watch (tests/ProgramStateWatch.h).
#include "tests/ProgramStateWatch.h"

namespace {

const bool installed = programstate::Install({programstate::TakeEngine});

}  // namespace
