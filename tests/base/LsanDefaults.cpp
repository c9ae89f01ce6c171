// Leak-checker defaults built into the widget test programs, so that listing their tests (which
// runs without the test environment) does not fail on the screen objects Qt's offscreen platform
// keeps until exit. They name Qt's frames only, as the shared suppression file does.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_options();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:QOffscreenScreen\n"
           "leak:QOffscreenIntegration\n"
           "leak:QPlatformScreen\n"
           "leak:QScreen\n"
           "leak:libqoffscreen.so\n"
           "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
