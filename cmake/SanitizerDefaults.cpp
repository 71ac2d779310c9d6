// Built into every sanitized program, so the options hold however it is
// started (by ctest, by a test, by hand), without environment variables.
extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1";
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// Qt's D-Bus connection on a real X server keeps a libdbus buffer for the
// life of the process; Qt's Wayland platform leaves its proxies to the end,
// and Mesa's EGL, which it starts for a window, its driver's tables.
const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libwayland-client.so\nleak:libEGL_mesa.so\n";
}

}  // extern "C"
