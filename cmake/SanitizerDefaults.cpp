// Built into every sanitized program, so the options hold however it is
// started (by ctest, by a test, by hand), without environment variables.
extern "C" {

const char* __asan_default_options() {
#ifdef LG_WHOLE_STACKS
    return "detect_leaks=1:fast_unwind_on_malloc=0";
#else
    return "detect_leaks=1";
#endif
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// What libraries leave at exit, each named by the frame that allocates it,
// so that a leak of ours still fails: Qt 6.8's probe of the desktop portal
// (a D-Bus call whose watcher waits for a reply the program does not stay
// for), the platform items Qt makes for a tray menu's actions, the proxies
// Qt's Wayland platform keeps to the end, and ALSA's plugins opened to play
// a sound.
const char* __lsan_default_suppressions() {
    return "leak:QGenericUnixServices::QGenericUnixServices\n"
           "leak:QtWaylandClient::QWaylandDisplay::\n"
           "leak:QMenu::actionEvent\n"
           "leak:snd_pcm_open\n";
}

}  // extern "C"
