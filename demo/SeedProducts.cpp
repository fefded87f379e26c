#include "demo/Seed.h"

namespace demo {

void SeedProducts(const SeedContext&) {}

}  // namespace demo
