// Code of the bundles laid out by the bundle tests. The counter shows whether unloading really
// dropped the code: a fresh load starts again from zero.

namespace {
int calls = 0;
}

extern "C" __attribute__((visibility("default"))) int BundleTestCount();

int BundleTestCount() { return ++calls; }
