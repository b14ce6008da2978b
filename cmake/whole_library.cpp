// A shared library made of static layer libraries taken in whole (bco_core, bco_framework, the module) holds
// nothing of its own, but CMake wants a source for it: this one.
