// A library that exports only some of the module's entry points, as a module built from older sources would.
extern "C" {
void IniProc(void) {
}
void CriaLancamento(void) {
}
}
