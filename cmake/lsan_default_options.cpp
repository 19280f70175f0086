// Linked into each test program of a sanitizer build: the leak checker reads our
// suppressions without any LSAN_OPTIONS, so a test run by hand or by CTest, as
// any user, is judged the same. LSAN_OPTIONS given at run time still add to it.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" QX_LSAN_SUPPRESSIONS;
}
