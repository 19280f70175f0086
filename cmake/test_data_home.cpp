// Linked into every test program: whatever a test or a program it starts keeps
// in the user's data folder (restore points) lands in the build tree, never in
// the home of whoever runs the tests.
#include <cstdlib>

namespace {
const bool kDataHomeSet = [] { return setenv("XDG_DATA_HOME", QX_TEST_DATA_HOME, 1) == 0; }();
}  // namespace
