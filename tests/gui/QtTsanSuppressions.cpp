// Linked into the test programs that drive the forms. Under the thread sanitizer: Qt draws large
// fills on a thread pool of its own, synchronised inside the uninstrumented Qt libraries where
// the sanitizer cannot see it. What those libraries do themselves is left out of the reports;
// every access made by our own code is still checked. The threads of that pool run GLib's event
// loop, whose allocator hands memory from one thread to another in the same unseen way.

extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
