#include "demo/Seed.h"

namespace demo {

void SeedLibrary(const SeedContext&) {}

}  // namespace demo
